<%@ Language=JScript %><%
Object.defineProperty(this, "stuck", { value: "from the last page", configurable: false });
Response.Write("stuck");
%>
