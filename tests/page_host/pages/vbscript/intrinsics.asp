<%
Session("login") = "ana"
Response.Write Session("login") & ";"
For Each k In Request.QueryString
    Response.Write k & "=" & Request.QueryString(k) & ";"
Next
Response.Write Request("b") & ";" & Request.QueryString.Count & ";"
Response.Cookies("c") = "v"
Application("hits") = Application("hits") + 1
Response.Write Application("hits") & ";"
Response.Write Server.HTMLEncode("<a>") & ";"
%>
