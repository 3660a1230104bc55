<%@ Language=JScript %><%
var p = Server.CreateObject("Test.Probe");
try {
    p.Fail(-2147217900, "Sintaxe incorreta perto de 'WHERE'");
} catch (e) {
    Response.Write(e.number + "|" + e.description + "|" + e.message + "|" + (e instanceof Error) + "|" + e.source + ";");
}
try { p.NoSuchMember(); } catch (e) { Response.Write(e.number + ";"); }
try { p.NoSuchProperty = 1; } catch (e) { Response.Write(e.number + ";"); }
try { Server.CreateObject("No.Such.Class"); } catch (e) { Response.Write(e.number + ";"); }
try { p.Bump("not a number"); } catch (e) { Response.Write(e.number + ";"); }
try { p.Echo({}); } catch (e) { Response.Write(e.number + ";"); }
try { null.x; } catch (e) { Response.Write(e.number + "|" + (e.description === e.message) + ";"); }
%>
