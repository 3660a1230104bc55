<%@ Language=JScript %><% Response.Write(typeof leftover); %>
