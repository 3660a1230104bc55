<%@ Language=JScript %><%
var n = (typeof n === "undefined") ? 1 : n + 1;
Response.Write("run " + n);
%>
