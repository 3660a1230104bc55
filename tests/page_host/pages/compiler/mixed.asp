<%@ Language="JScript" %>
<html>
<% var n = 2 %>
<p><%= n * 21 %></p>
<% for (var i = 0; i < n; i++) { %><i><%= i %></i><% } %>
<!-- an ordinary comment -->
<%= "\"quoted\" \\ back" %>
</html>
