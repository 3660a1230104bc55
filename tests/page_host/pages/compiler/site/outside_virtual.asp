<%@ Language=JScript %><p>site</p>

<!-- #include virtual="/../secret.inc" -->
