<%@ Language=JScript %>
<%
var p = Server.CreateObject("Test.Probe");
var n = new ByRef(41);
p.Bump(n);
Response.Write("bump=" + n.value + ";");
var out = new ByRef();
p.Fill(out);
Response.Write("fill=" + out.value + ";");
var m = ByRef(1);
try {
    p.FailAfterWrite(m);
} catch (e) {
    Response.Write("failed=" + e.number + ",written=" + m.value + ";");
}
var plain = 41;
p.Bump(plain);
Response.Write("plain=" + plain + ";");
%>
