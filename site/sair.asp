<%@ Language=JScript %>
<!-- #include file="inc/util.inc" -->
<%
// Logging out closes the usage session the login opened, then ends the web session.
var registro = usuarioLogado();
if (registro && postValido()) {
    var g = Server.CreateObject("Orvan_Geral.Geral");
    g.Finalizar_Sessao_Uso(registro[8]);
    Session("login") = null;
    Session.Abandon();
}
Response.Redirect("default.asp");
%>
