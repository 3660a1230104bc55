<%@ Language=JScript %><%
var kept = "secret";
implicitGlobal = 42;
function helper() { return 1; }
this.viaThis = 7;
ByRef = null;
var probe = Server.CreateObject("Test.Probe");
holder = { probe: probe, self: null };
holder.self = holder;
Response.Write("left");
Response = null;
%>