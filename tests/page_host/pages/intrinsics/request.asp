<%@ Language=JScript %><%
function show(label, v) { Response.Write(label + "=" + (v === undefined ? "undefined" : v) + ";"); }
show("x", Request("x"));
show("y", Request("y"));
show("z", Request("z"));
show("server", Request("SERVER_NAME"));
show("none", Request("none"));
show("qx", Request.QueryString("X"));
show("qnone", Request.QueryString("none"));
show("multi", Request.QueryString("m"));
show("count", Request.QueryString.Count);
show("key1", Request.QueryString.Key(1));
show("raw", Request.QueryString());
show("byIndex", Request.QueryString(1));
show("fy", Request.Form("y"));
show("cz", Request.Cookies("z"));
show("method", Request.ServerVariables("REQUEST_METHOD"));
show("script", Request.ServerVariables("SCRIPT_NAME"));
%>
