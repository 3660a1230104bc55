<%@ Language=PerlScript %>
<% print "x" %>
