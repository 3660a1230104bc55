<!-- #include virtual="/inc/site.inc" -->
