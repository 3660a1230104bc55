<%@ Language=VBScript %>
<!-- #include file="inc/util.inc" -->
<%
tituloPagina = "Agenda"
eu = exigirLogin()
Set pauta = Server.CreateObject("Orvan_Geral.Pauta")
Set c = pauta.Comum
%>
<!-- #include file="inc/topo.inc" -->
<%
' A new task from a template: the component copies the template's rows and returns the new task's oid.
If postValido() And campo("acao") = "criar" Then
    nova = pauta.Criar_Nova_Tarefa(campo("modelo"), eu(3))
    If Not falhou(nova) And VarType(nova) <> vbString Then Response.Redirect "tarefa.asp?oid=" & nova & "&criada=1"
    %><p class="aviso">Não foi possível criar a tarefa: <%= h(nova) %></p><%
End If

' The tip of the day: the tips in their order, one per day of the year.
dica = ""
If c.Executar2("SELECT Texto FROM DICADODIA ORDER BY ordem, oid") = "0" Then
    Set dicas = CreateObject("Scripting.Dictionary")
    Set rs2 = c.rs2
    Do While Not rs2.EOF
        dicas.Add dicas.Count, CStr(rs2("Texto"))
        rs2.MoveNext
    Loop
    If dicas.Count > 0 Then dica = dicas(DateDiff("d", DateSerial(Year(Date), 1, 1), Date) Mod dicas.Count)
End If
Set geral = Server.CreateObject("Orvan_Geral.Geral")
suporte = geral.fObterValorParametro("email_suporte")
%>
<section>
  <h2>Olá, <%= h(eu(1)) %></h2>
  <% If dica <> "" Then %><p class="dica" id="dica">Dica do dia: <%= h(dica) %></p><% End If %>
  <% If h(suporte) <> "" Then %><p>Suporte: <a href="mailto:<%= h(suporte) %>"><%= h(suporte) %></a></p><% End If %>
  <p>Sessão de uso nº <%= h(eu(8)) %>, desde <%= h(eu(10)) %>.</p>
</section>

<section>
<h2>Nova tarefa a partir de um modelo</h2>
<form method="post" action="agenda.asp" id="nova-tarefa">
  <%= campoToken() %><input type="hidden" name="acao" value="criar">
  <label for="modelo">Modelo</label>
  <select id="modelo" name="modelo">
<%
If c.Executar3("SELECT OID, NOME FROM TAREFA_V WHERE NOME LIKE 'Modelo:%' ORDER BY NOME") = "0" Then
    Set m = c.rs3
    Do While Not m.EOF
%>    <option value="<%= h(m("OID")) %>"><%= h(m("NOME")) %></option>
<%      m.MoveNext
    Loop
End If %>
  </select>
  <button type="submit">Criar tarefa</button>
</form>
</section>

<section>
<h2>Tarefas</h2>
<table id="tarefas">
<tr><th>Nº</th><th>Tarefa</th><th>Situação</th><th>Início previsto</th><th>Fim previsto</th></tr>
<%
sql = "SELECT t.OID, t.NOME, t.RSTATUS, p.INICIO, p.TERMINO FROM TAREFA_V t " & _
      "LEFT JOIN PRAZO p ON p.RTAREFA = t.OID AND p.RTIPO = 1007 ORDER BY t.OID DESC"
If c.Executar(sql, 3, 1, 3, 200) = "0" Then
    Set rs = c.rs
    Do While Not rs.EOF
%><tr>
  <td><%= h(rs("OID")) %></td>
  <td><a href="tarefa.asp?oid=<%= h(rs("OID")) %>"><%= h(rs("NOME")) %></a></td>
  <td><%= h(nomeStatus(rs("RSTATUS").Value)) %></td>
  <td><%= h(rs("INICIO")) %></td>
  <td><%= h(rs("TERMINO")) %></td>
</tr>
<%      rs.MoveNext
    Loop
End If %>
</table>
</section>
<!-- #include file="inc/rodape.inc" -->
