<%@ Language=VBScript %>
<% Response.Write "x" %>
