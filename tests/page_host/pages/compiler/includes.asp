<%@ Language=JScript %><!-- #include file="inc/header.inc" -->
<!-- #INCLUDE VIRTUAL="/compiler/inc/footer.inc" -->
<!--#include file='INC\Casing.Inc'-->
<% Response.Write(header() + "|" + footer() + "|" + casing()); %>
