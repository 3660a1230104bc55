<%@ Language=JScript %><% Response.Write(typeof stuck); %>
