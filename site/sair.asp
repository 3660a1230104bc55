<%@ Language=JScript %>
<%
// The one JScript page of the site, beside the VBScript ones: it shares their session (the login record
// that a VBScript page stored is an array here, the form token a text).
// Logging out closes the usage session the login opened, then ends the web session.
var registro = Session("login");
var token = Session("token");
var enviado = Request.Form("token");
if (registro instanceof Array && Request.ServerVariables("REQUEST_METHOD") == "POST" && token &&
    String(enviado || "") == token) {
    var g = Server.CreateObject("Orvan_Geral.Geral");
    g.Finalizar_Sessao_Uso(registro[8]);
    Session("login") = null;
    Session.Abandon();
}
Response.Redirect("default.asp");
%>
