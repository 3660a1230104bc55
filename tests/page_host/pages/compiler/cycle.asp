<%@ Language=JScript %><p>cycle</p>
<!-- #include file="inc/cycle_a.inc" -->
