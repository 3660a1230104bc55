<%
Set p = Server.CreateObject("Test.Probe")
n = 41
p.Bump n
Response.Write "bump=" & n & ";"
p.Fill out
Response.Write "fill=" & out & ";"
k = 41
p.Bump (k)
Response.Write "paren=" & k & ";"
Call p.Bump(k)
Response.Write "call=" & k & ";"
m = 1
On Error Resume Next
p.FailAfterWrite m
Response.Write "failed=" & Err.Number & "," & Err.Description & "," & Err.Source & ",written=" & m & ";"
On Error GoTo 0
Response.Write "date=" & p.DateText(p.MakeDate(2026, 12, 8, 9, 30, 0)) & ";"
Response.Write "echo=" & TypeName(p.Echo(Null)) & "," & TypeName(p.Echo(Empty)) & ";"
%>
