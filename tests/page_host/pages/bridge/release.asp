<%@ Language=JScript %><%
var p = Server.CreateObject("Test.Probe");
var before = p.Live();
var q = Server.CreateObject("Test.Probe");
var during = p.Live();
q = null;
CollectGarbage();
Response.Write((during - before) + ";" + (during - p.Live()) + ";");
var kept = Server.CreateObject("Test.Probe");
%>
