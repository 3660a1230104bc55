<%@ Language=JScript %><%
String.prototype.shout = function () { return this.toUpperCase() + "!"; };
Array.prototype.push = function () { return -1; };
Math.PI2 = 6.28;
Response.Write("x".shout());
%>
