<%@ Language=JScript %><p>x</p>

<% var x = 1;
