<%@ Language=JScript %>
<!-- #include file="inc/adojavas.inc" -->
<%
var t = Application("tabela");
var cn = Server.CreateObject("ADODB.Connection");
cn.Open(Application("conexao"));
var rs = Server.CreateObject("ADODB.Recordset");
rs.Open("SELECT oid, nome FROM " + t + " ORDER BY oid", cn, adOpenStatic, adLockReadOnly, adCmdText);
rs.PageSize = 2;
rs.AbsolutePage = rs.PageCount;
Response.Write("last=" + rs.AbsolutePage + ":" + rs("nome") + ";");
rs.Close();
var level = cn.BeginTrans();
cn.Execute("DELETE FROM " + t);
cn.RollbackTrans();
rs = cn.Execute("SELECT COUNT(*) FROM " + t);
Response.Write("level=" + level + ";after=" + rs(0) + ";");
%>
