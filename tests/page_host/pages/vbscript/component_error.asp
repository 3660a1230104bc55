<%
Set p = Server.CreateObject("Test.Probe")
p.Fail 3021, "no current row"
%>
