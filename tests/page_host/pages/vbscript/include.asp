<!-- #include file="inc/twice.inc" -->
<p><%= Twice(21) %></p>
<% If Twice(1) = 2 Then %>yes<% Else %>no<% End If %>
