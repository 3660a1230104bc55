<%@ Language=JScript %>
Olá <%= Request.QueryString("nome") %>, <%= Application("dataconn_ConnectionTimeout") %>/<%= typeof Application("dataconn_ConnectionTimeout") %>/<%= Application("extra") %>/<%= Application("dataconn_ConnectionString") %>
