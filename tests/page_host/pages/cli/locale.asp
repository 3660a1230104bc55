<%@ Language=JScript %><% Response.Write(1.5); Response.Write(" "); Response.Write(Request.Form("campo")); Response.Write(" " + Request.ServerVariables("REQUEST_METHOD")); %>
