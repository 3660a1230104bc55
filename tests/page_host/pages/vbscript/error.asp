<p>before</p>
<%
x = 1
y = x / 0
%>
after
