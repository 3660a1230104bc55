<%@ Language=JScript %><%
Response.Write("a");
throw "plain text";
%>
