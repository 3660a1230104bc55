<p>x</p>
<%
var a = ;
%>
