<%@ Language=JScript %>
<%
var c = Server.CreateObject("Orvan_Geral.Comum");
c.conex.Execute("create table pessoa (oid integer primary key, nome text)");
c.conex.Execute("insert into pessoa values (1, 'Ana')");
var r = c.Executar("select nome from pessoa where oid = 1", 0, 1, 2, 0);
Response.Write("r=" + r + ";nome=" + c.rs("NOME") + ";");
var p = Server.CreateObject("Orvan_Geral.Pauta");
var own = p.Comum;
p.Comum = c;
Response.Write((p.Comum === c) + ";" + (own !== c) + ";");
c.conex2 = null;
Response.Write((c.conex2 === null) + ";");
var falha = c.Executar("select * from nada", 0, 1, 2, 0);
Response.Write("falha=" + falha);
%>
