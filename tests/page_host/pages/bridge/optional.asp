<%@ Language=JScript %><%
var p = Server.CreateObject("Test.Probe");
Response.Write(p.Optional("a") + ";");
Response.Write(p.Optional("a", "b") + ";");
Response.Write(p.Optional("a", null, 3) + ";");
try { p.Optional(); } catch (e) { Response.Write("missing=" + e.number + ";"); }
try { p.Optional(1, 2, 3, 4); } catch (e) { Response.Write("extra=" + e.number + ";"); }
%>
