<%@ Language=JScript %><%= Server.HTMLEncode("<a href=\"x\">&'é</a>") %>|<%= Server.URLEncode("a b&c/ção-_.~") %>|<%= Server.HTMLEncode(null) %>|<%= Server.HTMLEncode(12) %>
