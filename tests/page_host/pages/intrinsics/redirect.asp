<%@ Language=JScript %><%
Response.Write("before");
Response.Redirect("login.asp?volta=1&x=2");
Response.Write("after");
%>
