<%@ Language=JScript %><%
var p = Server.CreateObject("Test.Probe");
Response.Write(Server.HTMLEncode("<b>") + " " + Request.ServerVariables("SCRIPT_NAME") + " " + p.Echo(3));
%>