<%
Application.Lock();
Application("x") = 1;
%>
