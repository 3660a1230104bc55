<%@ Language=JScript %><%
var p = Server.CreateObject("Test.Probe");
Response.Write("start;");
try {
    p.EndResponse();
} catch (e) {
    Response.Write("caught;");
} finally {
    Response.Write("finally;");
}
Response.Write("after;");
%>
tail
