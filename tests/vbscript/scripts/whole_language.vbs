Option Explicit
' The whole language in one script: every statement, the operators and every library function.
' Each section writes lines through Out.Line; whole_language.expected holds what VBScript writes.
' Host.UseRegional switches the regional settings (the script starts under en-US).
Rem Rem starts a comment too
Const APP_NAME = "Whole", MAX_ITEMS = 3
Public gPublic
Private gPrivate
Dim a, b, i, j, k, s, v, x, y, arr, d, re, m, mm, o, p, q, t, n, fr, dt
gPublic = "pub" : gPrivate = "priv"

Out.Line "== literals"
Out.Line "say ""hi"""
Out.Line &HFF & " " & &O17 & " " & &HFFFF & " " & TypeName(&HFFFF) & " " & &H10000 & " " & TypeName(&H10000)
Out.Line #1/15/2009# & " | " & #1/15/2009 13:45:10# & " | " & TypeName(#1/15/2009#)
Out.Line 1.5E3 & " " & TypeName(1.5) & " " & TypeName(32767) & " " & TypeName(32768) & " " & TypeName(2147483648)
s = "con" & _
    "tinued"
Out.Line s : Out.Line APP_NAME & MAX_ITEMS & gPublic & gPrivate ' two statements on a line
Out.Line True & " " & False & " [" & Empty & "]"
Out.Line Null

Out.Line "== operators"
Out.Line 7 \ 2 & " " & -7 \ 2 & " " & 7 Mod 3 & " " & 2 ^ 10 & " " & 7 / 2 & " " & -2 ^ 2
Out.Line "3" + 4 & " " & "3" & 4 & " " & ("3" + "4")
Out.Line (12 And 10) & " " & (12 Or 3) & " " & (5 Xor 3) & " " & (Not 0) & " " & (True Eqv False) & " " & (False Imp True)
Out.Line IsNull(Null + 1) & " " & ("a" & Null & "b") & " " & (Null And False) & " " & IsNull(Null Or False)
Out.Line ("abc" < "abd") & " " & (Empty = 0) & " " & (Empty = "") & " " & (1 = 1.0) & " " & (2 <> 3) & " " & (3 >= 3)
Out.Line 1 + 2 * 3 - 4 / 2 & " " & (1 + 2) * 3 & " " & 10 Mod 4 * 2

Out.Line "== arrays"
Dim fixed(2, 3)
fixed(2, 3) = "corner"
fixed(0, 0) = "origin"
Out.Line UBound(fixed) & " " & UBound(fixed, 1) & " " & UBound(fixed, 2) & " " & LBound(fixed, 2) & " " & fixed(2, 3)
Dim dyn()
ReDim dyn(1, 2)
dyn(1, 2) = 12
ReDim Preserve dyn(1, 4)
Out.Line UBound(dyn, 2) & " " & dyn(1, 2) & " " & IsEmpty(dyn(1, 4))
ReDim dyn(3)
Out.Line UBound(dyn) & " " & IsEmpty(dyn(0))
dyn(3) = "kept"
ReDim Preserve dyn(5)
Out.Line UBound(dyn) & " " & dyn(3)
Erase fixed
Out.Line UBound(fixed, 2) & " [" & fixed(2, 3) & "]" & IsEmpty(fixed(0, 0))
Erase dyn
ReDim dyn(2)
dyn(2) = "again"
Out.Line "erased dynamic: " & UBound(dyn) & " " & dyn(2)
arr = Array(10, 20, 30)
arr(1) = 21
Out.Line Join(arr, ",") & " " & IsArray(arr) & " " & VarType(arr) & " " & TypeName(arr)
v = Array(Array(1, 2), Array(3, 4))
Out.Line v(1)(0)

Out.Line "== procedures"
Sub AddOne(ByRef num)
    num = num + 1
End Sub
Sub AddOneByVal(ByVal num)
    num = num + 1
End Sub
Sub AddOneDefault(num)
    num = num + 1
End Sub
Function Twice(x)
    Twice = x * 2
End Function
Function Early(flag)
    Early = "start"
    If flag Then Exit Function
    Early = "end"
End Function
Sub EarlySub(ByRef r)
    r = "a"
    Exit Sub
    r = "b"
End Sub
k = 1
AddOne k
Out.Line k
AddOneByVal k
Out.Line k
AddOneDefault k
Out.Line k
AddOne (k)
Out.Line k
Call AddOne(k)
Out.Line k
Out.Line Twice(21) & " " & Early(True) & " " & Early(False)
EarlySub s
Out.Line s

Out.Line "== classes"
Class Tracker
    Public Name
    Private Sub Class_Initialize()
        Name = "unnamed"
        Out.Line "initialize"
    End Sub
    Private Sub Class_Terminate()
        Out.Line "terminate " & Name
    End Sub
End Class

Class Point
    Private mX, mY
    Public Label
    Public Property Get X()
        X = mX
    End Property
    Public Property Let X(value)
        If value < 0 Then Exit Property
        mX = value
    End Property
    Public Property Get Y
        Y = mY
    End Property
    Public Property Let Y(value)
        mY = value
    End Property
    Public Default Function Describe()
        Describe = Label & "(" & mX & "," & mY & ")"
    End Function
    Public Function Self()
        Set Self = Me
    End Function
    Public Function Moved(dx)
        Dim r
        Set r = New Point
        r.Label = Me.Label & "'"
        r.X = mX + dx
        r.Y = mY
        Set Moved = r
    End Function
    Private Function Hidden()
        Hidden = "hidden"
    End Function
End Class

Class Holder
    Private mItem
    Public Property Set Item(obj)
        Set mItem = obj
    End Property
    Public Property Get Item()
        Set Item = mItem
    End Property
End Class

Sub LocalInstance()
    Dim tr
    Set tr = New Tracker
    tr.Name = "local"
    Out.Line "in procedure"
End Sub

Set p = New Point
p.Label = "p"
p.X = 1
p.Y = 2
p.X = -5
Out.Line p.X & " " & p.Y & " " & p.Describe & " " & ("" & p) & " " & TypeName(p) & " " & IsObject(p)
Out.Line (p.Self Is p) & " " & p.Moved(10).Describe
With p
    .X = 5
    .Y = 6
    Out.Line .Describe()
End With
Set q = New Holder
Set q.Item = p
Out.Line (q.Item Is p) & " " & q.Item.X
Set q.Item = Nothing
On Error Resume Next
Out.Line p.Hidden()
Out.Line "private member: " & Err.Number
Err.Clear
On Error GoTo 0
Set a = New Tracker
a.Name = "first"
Set b = New Tracker
b.Name = "second"
Set o = a
Set a = Nothing
Out.Line "first still held"
Set o = Nothing
Set b = Nothing
LocalInstance
Out.Line "after procedure"

Out.Line "== conditions"
For Each v In Array(-1, 0, 7, 100)
    If v < 0 Then
        s = "negative"
    ElseIf v = 0 Then
        s = "zero"
    ElseIf v < 10 Then
        s = "small"
    Else
        s = "large"
    End If
    Out.Line v & " " & s
Next
If k > 2 Then Out.Line "single big" Else Out.Line "single small"
If k < 2 Then Out.Line "not written"
For Each v In Array(1, 5, "x", 10, 3)
    Select Case v
        Case 1, 2, 3
            Out.Line v & " low"
        Case 5: Out.Line v & " five"
        Case "x"
            Out.Line v & " letter"
        Case Else
            Out.Line v & " other"
    End Select
Next

Out.Line "== loops"
s = ""
For i = 10 To 1 Step -3
    s = s & i & " "
Next
Out.Line s & "| after " & i
s = ""
For i = 1 To 3
    s = s & i
Next
Out.Line s & " after " & i
For i = 1 To 0
    Out.Line "never"
Next
s = ""
For i = 0 To 1 Step 0.25
    s = s & i & ";"
Next
Out.Line s
s = ""
For i = 1 To 10
    If i = 4 Then Exit For
    s = s & i
Next
Out.Line s
s = ""
For Each v In Array("a", "b", "c")
    s = s & v
Next
Out.Line s
i = 0
Do While i < 3
    i = i + 1
Loop
Out.Line "while " & i
Do Until i = 0
    i = i - 1
Loop
Out.Line "until " & i
Do
    i = i + 2
Loop While i < 5
Out.Line "loop while " & i
Do
    i = i - 4
Loop Until i < 0
Out.Line "loop until " & i
Do
    i = i + 1
    If i = 10 Then Exit Do
Loop
Out.Line "exit do " & i
While i > 7
    i = i - 1
Wend
Out.Line "wend " & i
s = ""
For i = 1 To 2
    For j = 1 To 2
        s = s & i & j & " "
    Next
Next
Out.Line s

Out.Line "== errors"
Sub FailsInside()
    On Error GoTo 0
    x = 1 / 0
    Out.Line "not reached"
End Sub
Sub RaisesCustom()
    Err.Raise vbObjectError + 513, "Whole.Custom", "custom failure"
End Sub
On Error Resume Next
x = 1 / 0
Out.Line Err.Number & " " & Err.Description
Err.Clear
Out.Line Err.Number & " [" & Err.Description & "]"
x = CInt("abc")
Out.Line Err.Number & " " & Err.Description
Err.Clear
FailsInside
Out.Line "caller resumes " & Err.Number
Err.Clear
RaisesCustom
Out.Line Err.Number & " " & Err.Source & " " & Err.Description
Err.Clear
Err.Raise 5
Out.Line Err.Number & " " & Err.Description
Err.Clear
Err.Raise 9
Out.Line Err.Number & " " & Err.Description
Err.Clear
x = arr(10)
Out.Line Err.Number & " " & Err.Description
Err.Clear
Set o = Nothing
x = o.Anything
Out.Line Err.Number & " " & Err.Description
Err.Clear
x = y.Anything
Out.Line Err.Number & " " & Err.Description
Err.Clear
x = Sqr(-1)
Out.Line Err.Number & " " & Err.Description
Err.Clear
x = CInt(40000)
Out.Line Err.Number & " " & Err.Description
Err.Clear
On Error GoTo 0
Out.Line "handler off " & Err.Number

Out.Line "== dynamic code"
Out.Line Eval("1 + 2 * 3") & " " & Eval("Twice(5)")
Execute "k = 40 + 2"
Out.Line k & " " & Eval("k = 42")
ExecuteGlobal "Function Made(num) : Made = num * 3 : End Function"
Out.Line Made(5)
Execute "Sub ByExecute() : Out.Line ""from Execute"" : End Sub"
ByExecute
Set fr = GetRef("Twice")
Out.Line fr(4)

Out.Line "== special values"
Set o = Nothing
Out.Line (o Is Nothing) & " " & TypeName(o) & " " & IsObject(o) & " " & VarType(o)
Out.Line IsEmpty(Empty) & " " & IsEmpty(y) & " " & IsNull(Null) & " " & TypeName(Null) & " " & TypeName(Empty)
Out.Line VarType(Empty) & " " & VarType(Null) & " " & VarType(True) & " " & TypeName(False) & " " & CInt(True)

Out.Line "== strings"
Out.Line Len("hello") & " " & IsNull(Len(Null)) & " " & Len(12345) & " " & Len("")
Out.Line Left("hello", 2) & " " & Right("hello", 3) & " " & Mid("hello", 2, 3) & " " & Mid("hello", 4) & " [" & Left("hi", 10) & "]"
Out.Line InStr("hello", "l") & " " & InStr(4, "hello", "l") & " " & InStr(1, "HELLO", "l", 1) & " " & InStr("hello", "z") & " " & InStr("abc", "")
Out.Line InStrRev("hello", "l") & " " & InStrRev("a-b-c", "-", 3) & " " & InStrRev("abc", "z")
Out.Line LCase("MiXeD") & " " & UCase("MiXeD") & " [" & LTrim("  x  ") & "][" & RTrim("  x  ") & "][" & Trim("  x  ") & "]"
Out.Line Replace("a-b-c", "-", "+") & " " & Replace("aXbxc", "x", "_", 1, -1, 1) & " " & Replace("abcabc", "b", "", 3) & " " & Replace("aaa", "a", "b", 1, 2)
arr = Split("a,b,c", ",")
Out.Line UBound(arr) & " " & arr(2) & " " & Join(Split("a b c"), "-") & " " & UBound(Split("a,b,c", ",", 2)) & " " & Split("a,b,c", ",", 2)(1)
Out.Line Join(Array(1, 2, 3)) & " " & UBound(Split("")) & " " & Join(Split("aXbxc", "x", -1, 1), ",")
Out.Line Join(Filter(Array("apple", "banana", "cherry"), "an"), ",") & " " & Join(Filter(Array("apple", "banana", "cherry"), "an", False), ",") & " " & Join(Filter(Array("Apple", "b"), "a", True, 1), ",")
Out.Line StrComp("a", "b") & " " & StrComp("b", "a") & " " & StrComp("A", "a") & " " & StrComp("A", "a", 1) & " " & StrComp("a", "a")
Out.Line StrReverse("abc") & " " & String(3, "x") & " " & String(3, 65) & " [" & Space(3) & "]"
Out.Line Chr(65) & " " & ChrW(8364) & " " & Asc("A") & " " & Asc("abc") & " " & AscW(ChrW(8364)) & " " & Asc(ChrW(8364))
Out.Line Hex(255) & " " & Hex(-1) & " " & Hex(65536) & " " & Oct(8) & " " & Oct(-1) & " " & Hex(10.5)
Out.Line Escape("a b&c/d@e*f_g+h-i.j") & " " & Escape(ChrW(252) & ChrW(8364)) & " " & Unescape("%41%u20AC%7e")

Out.Line "== formatting"
Out.Line FormatNumber(1234.5) & " " & FormatNumber(1234567.891, 1) & " " & FormatNumber(0.5, 2, 0) & " " & FormatNumber(-1234.5, 2, -1, -1) & " " & FormatNumber(1234.4, 0, -1, 0, 0)
Out.Line FormatCurrency(1234.5) & " " & FormatCurrency(-1234.5) & " " & FormatCurrency(1234.567, 0)
Out.Line FormatPercent(0.125) & " " & FormatPercent(0.125, 1) & " " & FormatPercent(12, 0)
dt = #1/5/2009 7:03:09 PM#
Out.Line FormatDateTime(dt) & " | " & FormatDateTime(dt, vbLongDate) & " | " & FormatDateTime(dt, vbShortDate) & " | " & FormatDateTime(dt, vbLongTime) & " | " & FormatDateTime(dt, vbShortTime)

Out.Line "== conversions"
Out.Line CBool("True") & " " & CBool(0) & " " & CBool(-3) & " " & CBool("false") & " " & TypeName(CBool(1))
Out.Line CByte(254.5) & " " & CByte(1.5) & " " & TypeName(CByte(1))
Out.Line CCur(1.23456) & " " & TypeName(CCur(1)) & " " & CCur("2.5") * 2
Out.Line CDate("1/15/2009") & " " & TypeName(CDate("1/15/2009")) & " " & CDate(39828)
Out.Line CDbl("1.5") + 1 & " " & TypeName(CDbl(1))
Out.Line CInt(2.5) & " " & CInt(3.5) & " " & CInt(-2.5) & " " & CInt("12") & " " & TypeName(CInt(1))
Out.Line CLng(2.5) & " " & CLng("100000") & " " & TypeName(CLng(1))
Out.Line CSng(1.5) & " " & TypeName(CSng(1))
Out.Line CStr(1.5) & " " & CStr(True) & " " & TypeName(CStr(1)) & " " & CStr(0.1 + 0.2) & " " & CStr(1E+20) & " " & CStr(1 / 3)
On Error Resume Next
x = CByte(256)
Out.Line "CByte(256) " & Err.Number
Err.Clear
x = CBool("yes")
Out.Line "CBool(yes) " & Err.Number
Err.Clear
On Error GoTo 0

Out.Line "== math"
Out.Line Int(2.7) & " " & Int(-2.5) & " " & Fix(-2.5) & " " & Fix(2.7) & " " & Int(-2)
Out.Line Round(2.5) & " " & Round(3.5) & " " & Round(-2.5) & " " & Round(0.125, 2) & " " & Round(0.375, 2) & " " & Round(1.2345)
Out.Line Abs(-3) & " " & Abs(2.5) & " " & Sgn(-2) & " " & Sgn(0) & " " & Sgn(7.5) & " " & IsNull(Abs(Null))
Out.Line Sqr(16) & " " & Exp(0) & " " & Log(1) & " " & Sin(0) & " " & Cos(0) & " " & Tan(0) & " " & Atn(0)
Out.Line 4 * Atn(1) & " " & Exp(1) & " " & Log(10) & " " & Sqr(2)
x = Rnd
Out.Line TypeName(x) & " " & (x >= 0 And x < 1) & " " & (Rnd(0) = x)
Randomize
y = Rnd
Out.Line (y >= 0 And y < 1)
x = Rnd(-1)
Randomize 10
x = Rnd
y = Rnd(-1)
Randomize 10
y = Rnd
Out.Line "repeats " & (x = y)
Out.Line (Rnd(-1) = Rnd(-1)) & " " & (Rnd(-2) = Rnd(-2))

Out.Line "== dates"
Out.Line TypeName(Now) & " " & TypeName(Date) & " " & TypeName(Time) & " " & TypeName(Timer)
Out.Line (Int(Date) = Date) & " " & (Time < 1) & " " & (Timer >= 0 And Timer < 86400) & " " & (Now >= Date)
dt = #1/5/2009 7:03:09 AM#
Out.Line Year(dt) & " " & Month(dt) & " " & Day(dt) & " " & Hour(dt) & " " & Minute(dt) & " " & Second(dt) & " " & Weekday(dt) & " " & Weekday(dt, vbMonday)
Out.Line WeekdayName(2) & " " & WeekdayName(Weekday(dt), True) & " " & WeekdayName(1, False, vbMonday) & " " & MonthName(1) & " " & MonthName(12, True)
Out.Line DateAdd("m", 1, #1/31/2009#) & " " & DateAdd("d", -1, #1/1/2009#) & " " & DateAdd("h", 25, dt) & " " & DateAdd("yyyy", 1, #2/29/2008#) & " " & DateAdd("ww", 1, #1/5/2009#)
Out.Line DateDiff("d", #1/1/2009#, #3/1/2009#) & " " & DateDiff("m", #1/31/2009#, #2/1/2009#) & " " & DateDiff("yyyy", #12/31/2008#, #1/1/2009#) & " " & DateDiff("h", #1/5/2009#, dt) & " " & DateDiff("d", #3/1/2009#, #1/1/2009#)
Out.Line DatePart("q", #5/1/2009#) & " " & DatePart("y", #2/1/2009#) & " " & DatePart("ww", #1/4/2009#) & " " & DatePart("w", dt) & " " & DatePart("yyyy", dt) & " " & DatePart("n", dt)
Out.Line DateSerial(2009, 13, 1) & " " & DateSerial(2009, 3, 0) & " " & DateSerial(2009, 1, 5) & " " & TypeName(DateSerial(2009, 1, 1))
Out.Line DateValue("1/5/2009 7:03:09 AM") & " " & TimeSerial(7, 3, 9) & " " & TimeSerial(0, 90, 0) & " " & TimeValue("7:03 PM") & " " & TimeValue("19:03:09")
Out.Line IsDate("1/5/2009") & " " & IsDate("abc") & " " & IsDate(dt) & " " & IsDate("13/13/2009")

Out.Line "== inspection"
Out.Line IsArray(Array()) & " " & IsArray("a") & " " & UBound(Array()) & " " & IsEmpty(Empty) & " " & IsEmpty("")
Out.Line IsNumeric("12.5") & " " & IsNumeric("abc") & " " & IsNumeric(12) & " " & IsNumeric(" 7 ") & " " & IsNumeric(Null)
Out.Line VarType(1) & " " & VarType(70000) & " " & VarType(1.5) & " " & VarType("s") & " " & VarType(dt) & " " & VarType(CCur(1)) & " " & VarType(CByte(1)) & " " & VarType(CSng(1)) & " " & VarType(Array())
Out.Line TypeName(1) & " " & TypeName(70000) & " " & TypeName(1.5) & " " & TypeName("s") & " " & TypeName(dt) & " " & TypeName(CCur(1)) & " " & TypeName(CByte(1)) & " " & TypeName(CSng(1)) & " " & TypeName(Array())
Out.Line LBound(Array(1)) & " " & UBound(Array(1, 2, 3))
Out.Line ScriptEngine & " " & (ScriptEngineMajorVersion >= 5) & " " & IsNumeric(ScriptEngineMinorVersion) & " " & IsNumeric(ScriptEngineBuildVersion)

Out.Line "== dictionary"
Set d = CreateObject("Scripting.Dictionary")
d.CompareMode = vbTextCompare
d.Add "a", 1
d.Add "B", 2
d("c") = 3
Out.Line d.Count & " " & d.Exists("b") & " " & d.Exists("z") & " " & d.Item("A") & " " & d("C") & " " & d.CompareMode & " " & TypeName(d)
d.Key("c") = "d"
d.Item("a") = 10
Out.Line Join(d.Keys, ",") & " " & Join(d.Items, ",")
d.Remove "a"
s = ""
For Each k In d
    s = s & k & "=" & d(k) & ";"
Next
Out.Line s
On Error Resume Next
d.Add "b", 9
Out.Line "duplicate key " & Err.Number
Err.Clear
d.Remove "nothere"
Out.Line "missing key " & Err.Number
Err.Clear
d.CompareMode = vbBinaryCompare
Out.Line "compare mode with items " & Err.Number
Err.Clear
On Error GoTo 0
x = d("new")
Out.Line d.Count & " " & d.Exists("new") & " " & IsEmpty(x)
d.RemoveAll
Out.Line d.Count & " " & UBound(d.Keys)
Set d = CreateObject("Scripting.Dictionary")
d.Add "a", 1
d.Add "A", 2
Set d("obj") = p
Out.Line d.Count & " " & d.CompareMode & " " & d("obj").X
Set d = Nothing

Out.Line "== regexp"
Set re = New RegExp
re.Pattern = "(\w+)@(\w+)\.com"
re.IgnoreCase = True
re.Global = True
Out.Line re.Test("mail ANA@Site.com now") & " " & re.Test("no address") & " " & re.Pattern
Set mm = re.Execute("ana@site.com, bob@web.com")
Out.Line mm.Count
For Each m In mm
    Out.Line m.Value & " at " & m.FirstIndex & " len " & m.Length & " user " & m.SubMatches(0) & " host " & m.SubMatches(1) & " of " & m.SubMatches.Count
Next
Out.Line mm(1).Value & " " & mm.Item(0).SubMatches.Item(1)
Out.Line re.Replace("ana@site.com and bob@web.com", "$2:$1")
re.Global = False
re.Pattern = "\d"
Out.Line re.Replace("a1b2", "x") & " " & re.Execute("a1b2").Count & " " & re.Global & " " & re.IgnoreCase
re.IgnoreCase = False
re.Pattern = "^b"
re.Multiline = True
Out.Line re.Test("a" & vbLf & "b") & " " & re.Multiline
re.Multiline = False
Out.Line re.Test("a" & vbLf & "b") & " " & re.Test("B")
Set re = CreateObject("VBScript.RegExp")
re.Pattern = "o"
re.Global = True
Out.Line re.Replace("foo boo", "0")

Out.Line "== locale and color"
Out.Line GetLocale() & " " & SetLocale("pt-br") & " " & GetLocale() & " " & CStr(2.5) & " " & FormatDateTime(DateSerial(2009, 1, 15), vbShortDate)
Out.Line SetLocale(1033) & " " & CStr(2.5) & " " & RGB(255, 128, 0) & " " & RGB(1, 300, 2)
Dim noDims()
On Error Resume Next
probe = UBound(noDims)
Out.Line Err.Number & " " & IsArray(noDims)
On Error GoTo 0
ReDim noDims(1)
noDims(1) = "one"
Out.Line UBound(noDims) & " " & noDims(1)
Erase noDims
On Error Resume Next
probe = noDims(0)
Out.Line Err.Number
On Error GoTo 0

Out.Line "== pt-BR"
Host.UseRegional "pt-BR"
Out.Line FormatNumber(1234.5) & " " & CStr(1.5) & " " & CDbl("1,5") * 2 & " " & FormatCurrency(1234.5) & " " & FormatPercent(0.125)
Out.Line CStr(#1/15/2009#) & " " & #1/15/2009 13:45:10# & " " & FormatDateTime(#1/5/2009#, vbLongDate)
Out.Line WeekdayName(1) & " " & MonthName(3) & " " & IsDate("31/12/2009") & " " & Month(CDate("5/1/2009"))
Host.UseRegional "en-US"
Out.Line CStr(1.5) & " " & Month(CDate("5/1/2009"))
Out.Line "== end"
