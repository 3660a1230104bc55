<%@ Language=JScript %><p>start</p>
<!-- #include file="inc/fails.inc" -->
<% failing(); %>
