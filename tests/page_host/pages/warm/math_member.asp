<%@ Language=JScript %><% Math.PI2 = 6.28; Response.Write(String(Math.PI2)); %>
