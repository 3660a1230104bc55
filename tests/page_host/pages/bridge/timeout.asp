<%@ Language=JScript %><%
Server.ScriptTimeout = 1;
Response.Write("looping;");
try {
    var n = 0; while (true) { n++; }
} catch (e) {
    Response.Write("caught;");
}
Response.Write("after;");
%>
