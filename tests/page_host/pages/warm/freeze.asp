<%@ Language=JScript %><% Object.freeze(JSON); Response.Write(String(Object.isFrozen(JSON))); %>
