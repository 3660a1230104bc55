<%@ Language=JScript %><%
var p = Server.CreateObject("Test.Probe");
Response.Write((p.Child === p.Child) + ";" + (p.Self() === p) + ";" + (p.Child.Self() === p.Child) + ";" + (p.Child !== p) + ";");
var q = Server.CreateObject("Test.Probe");
p.Other = q;
Response.Write((p.Other === q) + ";");
p.Other = null;
Response.Write((p.Other === null) + ";");
Response.Write((typeof p) + ";" + (typeof Server.CreateObject("Test.Bag")) + ";");
%>
