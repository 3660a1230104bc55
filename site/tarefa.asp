<%@ Language=VBScript %>
<!-- #include file="inc/util.inc" -->
<%
tituloPagina = "Tarefa"
eu = exigirLogin()
' The task's number goes into statements: only a plain number is taken.
oidTexto = Trim(Request.QueryString("oid"))
If Not IsNumeric(oidTexto) Or Len(oidTexto) > 9 Or InStr(oidTexto, ",") + InStr(oidTexto, ".") > 0 Then Response.Redirect "agenda.asp"
oid = CLng(oidTexto)
Set pauta = Server.CreateObject("Orvan_Geral.Pauta")
Set c = pauta.Comum
%>
<!-- #include file="inc/topo.inc" -->
<%
' The changes this page makes, each through its component method; after a success the page is asked
' for again (so that a reload never repeats a change), after a failure the component's own error report
' is already in the page.
aviso = ""
If postValido() Then
    acao = campo("acao")
    resultado = Empty
    Select Case acao
        Case "andamento"
            resultado = pauta.Tarefa_Atualiza(oid, eu(3), campo("inicio"), campo("termino"), campo("observacao"))
        Case "redirecionar"
            ' The checked users arrive as one text, "2001, 2002": the list the component takes.
            resultado = pauta.Tarefa_Redirecionar(oid, campo("usuarios"))
        Case "dados"
            resultado = pauta.Atualiza_Dados_Tarefa(oid, campo("especificacao"), campo("departamento"), _
                                                    campo("inicioPrevisto"), campo("fimPrevisto"))
            If IsEmpty(resultado) Then resultado = "0"
        Case "horas"
            resultado = pauta.Cadastrar_Horas(7, oid, eu(3), eu(4), eu(0), campo("data"), numero(campo("horas")), _
                                              campo("inicio"), campo("termino"), campo("observacao"), _
                                              escolha(campo("extra") <> "", 1, 0), oid)
        Case "excluirHoras"
            resultado = pauta.Excluir_Horas(campo("entrada"))
    End Select
    If resultado & "" = "0" Then Response.Redirect "tarefa.asp?oid=" & oid & "&feito=" & acao
    aviso = resultado
ElseIf metodoPost() Then
    aviso = "O formulário expirou. Tente de novo."
End If

c.Executar "SELECT t.OID, t.NOME, t.RSTATUS, t.ESPECIFICACAO, t.DESCRICAO FROM TAREFA_V t WHERE t.OID = " & oid
Set tarefa = c.rs
If tarefa.EOF Then %><p class="aviso">Tarefa <%= h(oid) %> não encontrada.</p><!-- #include file="inc/rodape.inc" --><%
    Response.End
End If
Set nomesFeito = CreateObject("Scripting.Dictionary")
nomesFeito.Add "andamento", "Andamento registrado."
nomesFeito.Add "redirecionar", "Tarefa redirecionada."
nomesFeito.Add "dados", "Dados da tarefa atualizados."
nomesFeito.Add "horas", "Horas lançadas."
nomesFeito.Add "excluirHoras", "Lançamento excluído."
feito = Request.QueryString("feito") & ""
%>
<% If Request.QueryString("criada") = "1" Then %><p class="ok" id="criada">Tarefa criada a partir do modelo.</p><% End If %>
<% If nomesFeito.Exists(feito) Then %><p class="ok" id="feito"><%= h(nomesFeito(feito)) %></p><% End If %>
<% If aviso & "" <> "" Then %><p class="aviso" id="aviso"><%= h(aviso) %></p><% End If %>
<section>
  <h2 id="titulo">Tarefa <%= h(oid) %>: <%= h(tarefa("NOME")) %></h2>
  <p>Situação: <strong id="situacao"><%= h(nomeStatus(tarefa("RSTATUS").Value)) %></strong></p>
  <p>Especificação: <%= h(tarefa("ESPECIFICACAO")) %></p>
<%
especificacao = tarefa("ESPECIFICACAO").Value
c.Executar2 "SELECT p.INICIO, p.TERMINO FROM PRAZO p WHERE p.RTIPO = 1007 AND p.RTAREFA = " & oid
Set previsto = c.rs2
inicioPrevisto = Null : fimPrevisto = Null
If Not previsto.EOF Then
    inicioPrevisto = previsto("INICIO").Value
    fimPrevisto = previsto("TERMINO").Value
End If
c.Executar3 "SELECT r.RRESPONSAVEL, a.NGRUPO FROM RESPONSABILIDADE r LEFT JOIN agrupamento_v a ON a.RGRUPO = r.RRESPONSAVEL " & _
            "WHERE r.RPAPEL = 1105 AND r.RITEM = " & oid
departamento = Null : nomeDepartamento = ""
If Not c.rs3.EOF Then
    departamento = c.rs3("RRESPONSAVEL").Value
    nomeDepartamento = c.rs3("NGRUPO").Value
End If
%>
  <p>Previsto: <%= h(inicioPrevisto) %> a <%= h(fimPrevisto) %> · Departamento: <%= h(nomeDepartamento) %></p>
</section>

<section>
<h2>Andamento</h2>
<table>
<tr><th>Registro</th><th>Início</th><th>Fim</th><th>Observação</th><th>Por</th></tr>
<%
c.Executar "SELECT p.RTIPO, p.INICIO, p.TERMINO, p.OBSERVACAO, u.NOME FROM PRAZO p LEFT JOIN usuario_v u ON u.OID = p.RUSUARIO " & _
           "WHERE p.RTAREFA = " & oid & " AND p.RTIPO IN (1009, 2463) ORDER BY p.OID DESC"
Set a = c.rs
Do While Not a.EOF
%><tr><td><%= escolha(a("RTIPO").Value = 1009, "Atual", "Anterior") %></td><td><%= h(a("INICIO")) %></td><td><%= h(a("TERMINO")) %></td>
<td><%= h(a("OBSERVACAO")) %></td><td><%= h(a("NOME")) %></td></tr>
<%  a.MoveNext
Loop %>
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
c.Executar "SELECT u.OID, u.NOME, (SELECT COUNT(*) FROM RESPONSABILIDADE r WHERE r.RPAPEL = 1078 AND r.RITEM = " & oid & _
           " AND r.RRESPONSAVEL = u.OID) AS DIRECIONADA FROM usuario_v u ORDER BY u.NOME"
Set u = c.rs
Do While Not u.EOF
%>  <label><input type="checkbox" name="usuarios" value="<%= h(u("OID")) %>"<%= escolha(u("DIRECIONADA").Value > 0, " checked", "") %>> <%= h(u("NOME")) %></label>
<%  u.MoveNext
Loop %>
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
c.Executar "SELECT DISTINCT RGRUPO, NGRUPO FROM agrupamento_v ORDER BY NGRUPO"
Set d = c.rs
Do While Not d.EOF
%>    <option value="<%= h(d("RGRUPO")) %>"<%= escolha(d("RGRUPO").Value = departamento, " selected", "") %>><%= h(d("NGRUPO")) %></option>
<%  d.MoveNext
Loop %>
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
c.Executar "SELECT oid, Data, INICIO, TERMINO, HORASTRABALHADAS, Observacao FROM FOLHADEHORARIO WHERE RTAREFA = " & oid & " ORDER BY Data, INICIO"
Set f = c.rs
Do While Not f.EOF
%><tr><%
    ' Every column but the entry's own number, in the order of the statement.
    For Each coluna In f.Fields
        If LCase(coluna.Name) <> "oid" Then Response.Write "<td>" & h(coluna.Value) & "</td>"
    Next %>
<td><form method="post" action="tarefa.asp?oid=<%= h(oid) %>"><%= campoToken() %><input type="hidden" name="acao" value="excluirHoras">
<input type="hidden" name="entrada" value="<%= h(f("oid")) %>"><button type="submit">Excluir</button></form></td></tr>
<%  f.MoveNext
Loop %>
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
