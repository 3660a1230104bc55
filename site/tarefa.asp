<%@ Language=JScript %>
<!-- #include file="inc/util.inc" -->
<%
var tituloPagina = "Tarefa";
var eu = exigirLogin();
var oid = parseInt(Request.QueryString("oid"), 10);
if (isNaN(oid)) Response.Redirect("agenda.asp");
var pauta = Server.CreateObject("Orvan_Geral.Pauta");
var c = pauta.Comum;
%>
<!-- #include file="inc/topo.inc" -->
<%
// The changes this page makes, each through its component method; after a success the page is asked
// for again (so that a reload never repeats a change), after a failure the component's own error
// report is already in the page.
var aviso = "";
if (postValido()) {
    var acao = campo("acao"), resultado;
    if (acao == "andamento") {
        resultado = pauta.Tarefa_Atualiza(oid, eu[3], campo("inicio"), campo("termino"), campo("observacao"));
    } else if (acao == "redirecionar") {
        // The checked users arrive as one text, "2001, 2002": the list the component takes.
        resultado = pauta.Tarefa_Redirecionar(oid, campo("usuarios"));
    } else if (acao == "dados") {
        resultado = pauta.Atualiza_Dados_Tarefa(oid, campo("especificacao"), campo("departamento"),
                                                campo("inicioPrevisto"), campo("fimPrevisto"));
        if (resultado === undefined) resultado = "0";
    } else if (acao == "horas") {
        resultado = pauta.Cadastrar_Horas(7, oid, eu[3], eu[4], eu[0], campo("data"), parseFloat(campo("horas").replace(",", ".")) || 0,
                                          campo("inicio"), campo("termino"), campo("observacao"), campo("extra") ? 1 : 0, oid);
    } else if (acao == "excluirHoras") {
        resultado = pauta.Excluir_Horas(campo("entrada"));
    }
    if (resultado == "0") Response.Redirect("tarefa.asp?oid=" + oid + "&feito=" + acao);
    aviso = resultado;
} else if (metodoPost()) {
    aviso = "O formulário expirou. Tente de novo.";
}

c.Executar("SELECT t.OID, t.NOME, t.RSTATUS, t.ESPECIFICACAO, t.DESCRICAO FROM TAREFA_V t WHERE t.OID = " + oid);
var tarefa = c.rs;
if (tarefa.EOF) { %><p class="aviso">Tarefa <%= h(oid) %> não encontrada.</p><!-- #include file="inc/rodape.inc" --><% Response.End(); }
var nomesFeito = { andamento: "Andamento registrado.", redirecionar: "Tarefa redirecionada.", dados: "Dados da tarefa atualizados.",
                   horas: "Horas lançadas.", excluirHoras: "Lançamento excluído." };
var feito = Request.QueryString("feito");
%>
<% if (Request.QueryString("criada") == "1") { %><p class="ok" id="criada">Tarefa criada a partir do modelo.</p><% } %>
<% if (feito && nomesFeito[feito]) { %><p class="ok" id="feito"><%= h(nomesFeito[feito]) %></p><% } %>
<% if (aviso) { %><p class="aviso" id="aviso"><%= h(aviso) %></p><% } %>
<section>
  <h2 id="titulo">Tarefa <%= h(oid) %>: <%= h(tarefa("NOME")) %></h2>
  <p>Situação: <strong id="situacao"><%= h(nomeStatus(tarefa("RSTATUS").Value)) %></strong></p>
  <p>Especificação: <%= h(tarefa("ESPECIFICACAO").Value) %></p>
<%
var especificacao = tarefa("ESPECIFICACAO").Value;
c.Executar2("SELECT p.INICIO, p.TERMINO FROM PRAZO p WHERE p.RTIPO = 1007 AND p.RTAREFA = " + oid);
var previsto = c.rs2;
var inicioPrevisto = previsto.EOF ? null : previsto("INICIO").Value, fimPrevisto = previsto.EOF ? null : previsto("TERMINO").Value;
c.Executar3("SELECT r.RRESPONSAVEL, a.NGRUPO FROM RESPONSABILIDADE r LEFT JOIN agrupamento_v a ON a.RGRUPO = r.RRESPONSAVEL " +
            "WHERE r.RPAPEL = 1105 AND r.RITEM = " + oid);
var departamento = c.rs3.EOF ? null : c.rs3("RRESPONSAVEL").Value;
var nomeDepartamento = c.rs3.EOF ? "" : c.rs3("NGRUPO").Value;
%>
  <p>Previsto: <%= h(inicioPrevisto) %> a <%= h(fimPrevisto) %> · Departamento: <%= h(nomeDepartamento) %></p>
</section>

<section>
<h2>Andamento</h2>
<table>
<tr><th>Registro</th><th>Início</th><th>Fim</th><th>Observação</th><th>Por</th></tr>
<%
c.Executar("SELECT p.RTIPO, p.INICIO, p.TERMINO, p.OBSERVACAO, u.NOME FROM PRAZO p LEFT JOIN usuario_v u ON u.OID = p.RUSUARIO " +
           "WHERE p.RTAREFA = " + oid + " AND p.RTIPO IN (1009, 2463) ORDER BY p.OID DESC");
for (var a = c.rs; !a.EOF; a.MoveNext()) {
%><tr><td><%= a("RTIPO").Value == 1009 ? "Atual" : "Anterior" %></td><td><%= h(a("INICIO").Value) %></td><td><%= h(a("TERMINO").Value) %></td>
<td><%= h(a("OBSERVACAO").Value) %></td><td><%= h(a("NOME").Value) %></td></tr>
<% } %>
</table>
<form method="post" action="tarefa.asp?oid=<%= h(oid) %>" id="form-andamento">
  <%= campoToken() %><input type="hidden" name="acao" value="andamento">
  <label for="inicio">Início (dd/mm/aaaa hh:mm)</label> <input id="inicio" name="inicio"><br>
  <label for="termino">Fim</label> <input id="termino" name="termino"><br>
  <label for="observacao">Observação</label> <input id="observacao" name="observacao" size="50"><br>
  <button type="submit">Registrar andamento</button>
</form>
</section>

<section>
<h2>Direcionada a</h2>
<form method="post" action="tarefa.asp?oid=<%= h(oid) %>" id="form-redirecionar">
  <%= campoToken() %><input type="hidden" name="acao" value="redirecionar">
<%
c.Executar("SELECT u.OID, u.NOME, (SELECT COUNT(*) FROM RESPONSABILIDADE r WHERE r.RPAPEL = 1078 AND r.RITEM = " + oid +
           " AND r.RRESPONSAVEL = u.OID) AS DIRECIONADA FROM usuario_v u ORDER BY u.NOME");
for (var u = c.rs; !u.EOF; u.MoveNext()) {
%>  <label><input type="checkbox" name="usuarios" value="<%= h(u("OID")) %>"<%= u("DIRECIONADA").Value > 0 ? " checked" : "" %>> <%= h(u("NOME")) %></label>
<% } %>
  <br><button type="submit">Redirecionar</button>
</form>
</section>

<section>
<h2>Dados da tarefa</h2>
<form method="post" action="tarefa.asp?oid=<%= h(oid) %>" id="form-dados">
  <%= campoToken() %><input type="hidden" name="acao" value="dados">
  <label for="especificacao">Especificação</label> <textarea id="especificacao" name="especificacao" rows="2" cols="50"><%= h(especificacao) %></textarea><br>
  <label for="departamento">Departamento</label> <select id="departamento" name="departamento">
<%
c.Executar("SELECT DISTINCT RGRUPO, NGRUPO FROM agrupamento_v ORDER BY NGRUPO");
for (var d = c.rs; !d.EOF; d.MoveNext()) {
%>    <option value="<%= h(d("RGRUPO")) %>"<%= d("RGRUPO").Value == departamento ? " selected" : "" %>><%= h(d("NGRUPO")) %></option>
<% } %>
  </select><br>
  <label for="inicioPrevisto">Início previsto</label> <input id="inicioPrevisto" name="inicioPrevisto" value="<%= h(inicioPrevisto) %>"><br>
  <label for="fimPrevisto">Fim previsto</label> <input id="fimPrevisto" name="fimPrevisto" value="<%= h(fimPrevisto) %>"><br>
  <button type="submit">Salvar dados</button>
</form>
</section>

<section>
<h2>Horas trabalhadas</h2>
<table id="horas">
<tr><th>Data</th><th>Início</th><th>Fim</th><th>Horas</th><th>Observação</th><th></th></tr>
<%
c.Executar("SELECT oid, Data, INICIO, TERMINO, HORASTRABALHADAS, Observacao FROM FOLHADEHORARIO WHERE RTAREFA = " + oid + " ORDER BY Data, INICIO");
for (var f = c.rs; !f.EOF; f.MoveNext()) {
%><tr><td><%= h(f("Data").Value) %></td><td><%= h(f("INICIO").Value) %></td><td><%= h(f("TERMINO").Value) %></td>
<td><%= h(f("HORASTRABALHADAS").Value) %></td><td><%= h(f("Observacao").Value) %></td>
<td><form method="post" action="tarefa.asp?oid=<%= h(oid) %>"><%= campoToken() %><input type="hidden" name="acao" value="excluirHoras">
<input type="hidden" name="entrada" value="<%= h(f("oid")) %>"><button type="submit">Excluir</button></form></td></tr>
<% } %>
</table>
<form method="post" action="tarefa.asp?oid=<%= h(oid) %>" id="form-horas">
  <%= campoToken() %><input type="hidden" name="acao" value="horas">
  <label for="data">Data (dd/mm/aaaa)</label> <input id="data" name="data"><br>
  <label for="hinicio">Início (hh:mm)</label> <input id="hinicio" name="inicio"> <label for="htermino">Fim</label> <input id="htermino" name="termino"><br>
  <label for="qtd">Horas</label> <input id="qtd" name="horas" size="5"> <label><input type="checkbox" name="extra" value="1"> hora extra</label><br>
  <label for="hobs">Observação</label> <input id="hobs" name="observacao" size="50"><br>
  <button type="submit">Lançar horas</button>
</form>
</section>
<!-- #include file="inc/rodape.inc" -->
