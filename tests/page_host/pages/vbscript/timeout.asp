<%
Server.ScriptTimeout = 1
Do While True
    n = n + 1
Loop
%>
