<%@ Language=JScript %><% var leftover = 1; for (;;) {} %>
