<%@ Language=JScript %><%
var a = [];
a.push(1);
Response.Write([typeof "".shout, a.length, typeof Math.PI2, new ByRef(3).value, Object.isFrozen(JSON)].join(","));
%>
