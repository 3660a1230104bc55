<%@ Language=JScript %>
<p>before</p>
<%
var p = Server.CreateObject("Test.Probe");
Response.Write("written;");
p.Fail(3021, "Nenhum registro atual");
Response.Write("not reached");
%>
