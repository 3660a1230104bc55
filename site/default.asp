<%@ Language=JScript %>
<!-- #include file="inc/util.inc" -->
<%
var tituloPagina = "Entrar";
if (usuarioLogado()) Response.Redirect("agenda.asp");
var rot = rotulos();
var mensagem = "";
%>
<!-- #include file="inc/topo.inc" -->
<section>
<h2>Entrar na agenda</h2>
<%
if (metodoPost()) {
    if (!postValido()) {
        mensagem = "O formulário expirou. Tente de novo.";
    } else {
        var g = Server.CreateObject("Orvan_Geral.Geral");
        var estacao = "WEB " + Request.ServerVariables("REMOTE_ADDR");
        var resultado = g.Login(campo("usuario"), campo("senha"), estacao);
        if (resultado instanceof Array) {
            Session("login") = resultado;
            Session.NewKey();
            Response.Redirect("agenda.asp");
        }
        mensagem = resultado;
    }
}
if (mensagem) { %><p class="aviso" id="mensagem"><%= h(mensagem) %></p><% } %>
<form method="post" action="default.asp" id="entrar">
  <%= campoToken() %>
  <p><label for="usuario"><%= h(rot["sLogin"] || "Usuário") %></label> <input id="usuario" name="usuario" autocomplete="username" value="<%= h(campo("usuario")) %>"></p>
  <p><label for="senha"><%= h(rot["Senha"] || "Senha") %></label> <input id="senha" name="senha" type="password" autocomplete="current-password"></p>
  <p><button type="submit"><%= h(rot["Entrar"] || "Entrar") %></button></p>
</form>
</section>
<!-- #include file="inc/rodape.inc" -->
