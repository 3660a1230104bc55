<%@ Language=JScript %>
<!-- #include file="inc/util.inc" -->
<%
var tituloPagina = "Agenda";
var eu = exigirLogin();
var pauta = Server.CreateObject("Orvan_Geral.Pauta");
var c = pauta.Comum;
%>
<!-- #include file="inc/topo.inc" -->
<%
// A new task from a template: the component copies the template's rows and returns the new task's oid.
if (postValido() && campo("acao") == "criar") {
    var nova = pauta.Criar_Nova_Tarefa(campo("modelo"), eu[3]);
    if (typeof nova == "number") Response.Redirect("tarefa.asp?oid=" + nova + "&criada=1");
    %><p class="aviso">Não foi possível criar a tarefa: <%= h(nova) %></p><%
}

// The tip of the day: the tips in their order, one per day of the year.
var dica = "";
if (c.Executar2("SELECT Texto FROM DICADODIA ORDER BY ordem, oid") == "0") {
    var dicas = [];
    for (var rs2 = c.rs2; !rs2.EOF; rs2.MoveNext()) dicas.push(String(rs2("Texto")));
    var hoje = new Date(), inicioAno = new Date(hoje.getFullYear(), 0, 1);
    if (dicas.length) dica = dicas[Math.floor((hoje - inicioAno) / 86400000) % dicas.length];
}
var geral = Server.CreateObject("Orvan_Geral.Geral");
var suporte = geral.fObterValorParametro("email_suporte");
%>
<section>
  <h2>Olá, <%= h(eu[1]) %></h2>
  <% if (dica) { %><p class="dica" id="dica">Dica do dia: <%= h(dica) %></p><% } %>
  <% if (suporte) { %><p>Suporte: <a href="mailto:<%= h(suporte) %>"><%= h(suporte) %></a></p><% } %>
  <p>Sessão de uso nº <%= h(eu[8]) %>, desde <%= h(eu[10]) %>.</p>
</section>

<section>
<h2>Nova tarefa a partir de um modelo</h2>
<form method="post" action="agenda.asp" id="nova-tarefa">
  <%= campoToken() %><input type="hidden" name="acao" value="criar">
  <label for="modelo">Modelo</label>
  <select id="modelo" name="modelo">
<%
if (c.Executar3("SELECT OID, NOME FROM TAREFA_V WHERE NOME LIKE 'Modelo:%' ORDER BY NOME") == "0") {
    for (var m = c.rs3; !m.EOF; m.MoveNext()) {
%>    <option value="<%= h(m("OID")) %>"><%= h(m("NOME")) %></option>
<%  }
} %>
  </select>
  <button type="submit">Criar tarefa</button>
</form>
</section>

<section>
<h2>Tarefas</h2>
<table id="tarefas">
<tr><th>Nº</th><th>Tarefa</th><th>Situação</th><th>Início previsto</th><th>Fim previsto</th></tr>
<%
var sql = "SELECT t.OID, t.NOME, t.RSTATUS, p.INICIO, p.TERMINO FROM TAREFA_V t " +
          "LEFT JOIN PRAZO p ON p.RTAREFA = t.OID AND p.RTIPO = 1007 ORDER BY t.OID DESC";
if (c.Executar(sql, 3, 1, 3, 200) == "0") {
    for (var rs = c.rs; !rs.EOF; rs.MoveNext()) {
%><tr>
  <td><%= h(rs("OID")) %></td>
  <td><a href="tarefa.asp?oid=<%= h(rs("OID")) %>"><%= h(rs("NOME")) %></a></td>
  <td><%= h(nomeStatus(rs("RSTATUS").Value)) %></td>
  <td><%= h(rs("INICIO").Value) %></td>
  <td><%= h(rs("TERMINO").Value) %></td>
</tr>
<%  }
} %>
</table>
</section>
<!-- #include file="inc/rodape.inc" -->
