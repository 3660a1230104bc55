<%@ Language=JScript %><p>x</p>
<%
var a = ;
%>
