<%@ Language=VBScript %>
<!-- #include file="inc/util.inc" -->
<%
tituloPagina = "Dicas do dia"
eu = exigirLogin()
Set pauta = Server.CreateObject("Orvan_Geral.Pauta")
%>
<!-- #include file="inc/topo.inc" -->
<%
If postValido() Then
    ' An order that is not a whole number is refused by the component's own check; an empty one is 0.
    ordem = Trim(campo("ordem"))
    If ordem = "" Then ordem = 0
    On Error Resume Next
    resultado = pauta.Dicas_Incluir(ordem, campo("texto"))
    If Err.Number <> 0 Then resultado = Err.Number & " - " & Err.Description
    On Error GoTo 0
    If resultado = "0" Then Response.Redirect "dicas.asp?incluida=1"
    %><p class="aviso"><%= h(resultado) %></p><%
End If
%>
<% If Request.QueryString("incluida") = "1" Then %><p class="ok">Dica incluída.</p><% End If %>
<section>
<h2>Dicas do dia</h2>
<ol id="dicas">
<%
Set c = pauta.Comum
If c.Executar("SELECT ordem, Texto FROM DICADODIA ORDER BY ordem, oid") = "0" Then
    Set rs = c.rs
    Do While Not rs.EOF %><li><%= h(rs("Texto")) %> <small>(ordem <%= h(rs("ordem")) %>)</small></li>
<%      rs.MoveNext
    Loop
End If %>
</ol>
<form method="post" action="dicas.asp" id="form-dica">
  <%= campoToken() %>
  <label for="texto">Nova dica</label> <input id="texto" name="texto" size="60"><br>
  <label for="ordem">Ordem</label> <input id="ordem" name="ordem" size="4" value="10"><br>
  <button type="submit">Incluir dica</button>
</form>
</section>
<!-- #include file="inc/rodape.inc" -->
