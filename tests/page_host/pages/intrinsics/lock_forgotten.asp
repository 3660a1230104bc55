<%@ Language=JScript %><%
Application.Lock();
Application("x") = 1;
%>
