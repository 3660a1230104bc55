<%
On Error Resume Next
Response.Write "a"
Response.End
Response.Write "b"
%>c
