<%@ Language=JScript %><%
// Changes that land on the host object's proxy target rather than on the object.
Object.defineProperty(Response, "extra", {value: 7, enumerable: true});
Object.defineProperty(Request, "more", {value: 8});
Object.freeze(Server);
Response.Write(Object.isFrozen(Server) + "," + Object.getOwnPropertyDescriptor(Response, "extra").value);
%>
