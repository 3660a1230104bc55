<%@ Language=JScript %><%
var x = 1;
notDefined(x);
%>
