<%@ Language=JScript %><%
var p = Server.CreateObject("Test.Probe");
var q = Server.CreateObject("Test.Probe");
p.Target = q;
Response.Write(p.LastPut + ";" + (p.Target === q) + ";");
p.Target = 5;
Response.Write(p.LastPut + ";" + p.Target + ";");
p.Target = null;
Response.Write(p.LastPut + ";" + (p.Target === null) + ";");
p.Target = "x";
Response.Write(p.LastPut + ";");
%>
