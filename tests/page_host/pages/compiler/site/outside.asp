<%@ Language=JScript %><p>site</p>
<!-- #include file="../secret.inc" -->
