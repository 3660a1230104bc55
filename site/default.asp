<%@ Language=VBScript %>
<!-- #include file="inc/util.inc" -->
<%
tituloPagina = "Entrar"
If IsArray(usuarioLogado()) Then Response.Redirect "agenda.asp"
Set rot = rotulos()
mensagem = ""
%>
<!-- #include file="inc/topo.inc" -->
<section>
<h2>Entrar na agenda</h2>
<%
If metodoPost() Then
    If Not postValido() Then
        mensagem = "O formulário expirou. Tente de novo."
    Else
        Set g = Server.CreateObject("Orvan_Geral.Geral")
        estacao = "WEB " & Request.ServerVariables("REMOTE_ADDR")
        resultado = g.Login(campo("usuario"), campo("senha"), estacao)
        If IsArray(resultado) Then
            Session("login") = resultado
            Response.Redirect "agenda.asp"
        End If
        mensagem = resultado
    End If
End If
If mensagem <> "" Then %><p class="aviso" id="mensagem"><%= h(mensagem) %></p><% End If %>
<form method="post" action="default.asp" id="entrar">
  <%= campoToken() %>
  <p><label for="usuario"><%= h(rotulo(rot, "sLogin", "Usuário")) %></label> <input id="usuario" name="usuario" autocomplete="username" value="<%= h(campo("usuario")) %>"></p>
  <p><label for="senha"><%= h(rotulo(rot, "Senha", "Senha")) %></label> <input id="senha" name="senha" type="password" autocomplete="current-password"></p>
  <p><button type="submit"><%= h(rotulo(rot, "Entrar", "Entrar")) %></button></p>
</form>
</section>
<!-- #include file="inc/rodape.inc" -->
