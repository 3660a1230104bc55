<%@ Language=JScript %><!-- #include virtual="/inc/site.inc" -->
