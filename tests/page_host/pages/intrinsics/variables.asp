<%@ Language=JScript %><%
var names = ["SERVER_NAME", "CONTENT_LENGTH", "HTTP_X", "HTTP_COOKIE", "PATH_TRANSLATED", "APPL_PHYSICAL_PATH",
             "REQUEST_METHOD", "SCRIPT_NAME"];
for (var i = 0; i < names.length; i++) Response.Write(names[i] + "=" + Request.ServerVariables(names[i]) + ";");
Response.Write("again=" + Request("HTTP_X") + ";count=" + Request.ServerVariables.Count);
%>
