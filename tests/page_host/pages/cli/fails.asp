<%@ Language=JScript %><p>partial</p>
<%
var p = Server.CreateObject("Test.Probe");
p.Fail(-2147217900, "Erro de sintaxe");
%>
