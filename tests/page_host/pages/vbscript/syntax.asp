<p>never</p>
<%
x = 1
y = (x +
%>
