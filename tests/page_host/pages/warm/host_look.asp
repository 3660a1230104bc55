<%@ Language=JScript %><%
Response.Write([Object.isExtensible(Server), Object.isFrozen(Server),
                typeof Object.getOwnPropertyDescriptor(Response, "extra"),
                typeof Object.getOwnPropertyDescriptor(Request, "more"),
                Server.HTMLEncode("<i>"), Request.ServerVariables("SCRIPT_NAME")].join(","));
%>
