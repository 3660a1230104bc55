<%@ Language=VBScript %>
<!-- #include file="inc/adovbs.inc" -->
<%
Dim cn, rs, t, page, arr, r, n, level, affected
t = Application("tabela")
Set cn = Server.CreateObject("ADODB.Connection")
cn.Open Application("conexao")
Set rs = Server.CreateObject("ADODB.Recordset")
rs.Open "SELECT oid, nome FROM " & t & " ORDER BY oid", cn, adOpenStatic, adLockReadOnly, adCmdText
rs.PageSize = 2
Response.Write "count=" & rs.RecordCount & ";pages=" & rs.PageCount & ";"
For page = 1 To rs.PageCount
    rs.AbsolutePage = page
    Response.Write "p" & rs.AbsolutePage & ":"
    n = 0
    Do While Not rs.EOF And n < rs.PageSize
        Response.Write rs("nome") & ","
        rs.MoveNext
        n = n + 1
    Loop
    Response.Write ";"
Next
rs.MoveFirst
arr = rs.GetRows()
Response.Write "fields=" & (UBound(arr, 1) + 1) & ";rows=" & (UBound(arr, 2) + 1) & ";"
For r = 0 To UBound(arr, 2)
    Response.Write arr(0, r) & "=" & arr(1, r) & ","
Next
Response.Write ";eof=" & rs.EOF & ";"
rs.Close

level = cn.BeginTrans
cn.Execute "INSERT INTO " & t & " (oid, nome) VALUES (6, 'Fabio')", affected, adCmdText + adExecuteNoRecords
Response.Write "level=" & level & ";affected=" & affected & ";"
cn.Execute "INSERT INTO " & t & " (oid, nome) VALUES (7, 'Gil')"
Set rs = cn.Execute("SELECT COUNT(*) FROM " & t)
Response.Write "inside=" & rs(0) & ";"
rs.Close
cn.RollbackTrans
Set rs = cn.Execute("SELECT COUNT(*) FROM " & t)
Response.Write "after=" & rs(0) & ";"
rs.Close
cn.Close
%>
