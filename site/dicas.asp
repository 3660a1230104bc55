<%@ Language=JScript %>
<!-- #include file="inc/util.inc" -->
<%
var tituloPagina = "Dicas do dia";
var eu = exigirLogin();
var pauta = Server.CreateObject("Orvan_Geral.Pauta");
%>
<!-- #include file="inc/topo.inc" -->
<%
if (postValido()) {
    var resultado = pauta.Dicas_Incluir(parseInt(campo("ordem"), 10) || 0, campo("texto"));
    if (resultado == "0") Response.Redirect("dicas.asp?incluida=1");
    %><p class="aviso"><%= h(resultado) %></p><%
}
%>
<% if (Request.QueryString("incluida") == "1") { %><p class="ok">Dica incluída.</p><% } %>
<section>
<h2>Dicas do dia</h2>
<ol id="dicas">
<%
var c = pauta.Comum;
if (c.Executar("SELECT ordem, Texto FROM DICADODIA ORDER BY ordem, oid") == "0")
    for (var rs = c.rs; !rs.EOF; rs.MoveNext()) { %><li><%= h(rs("Texto")) %> <small>(ordem <%= h(rs("ordem")) %>)</small></li>
<% } %>
</ol>
<form method="post" action="dicas.asp" id="form-dica">
  <%= campoToken() %>
  <label for="texto">Nova dica</label> <input id="texto" name="texto" size="60"><br>
  <label for="ordem">Ordem</label> <input id="ordem" name="ordem" size="4" value="10"><br>
  <button type="submit">Incluir dica</button>
</form>
</section>
<!-- #include file="inc/rodape.inc" -->
