<%@ Language=JScript %><p>x</p>
<!-- #include file="inc/nothing_here.inc" -->
