<%@ Language=JScript %><%
Response.Write([typeof kept, typeof implicitGlobal, typeof helper, typeof viaThis, typeof holder,
                new ByRef(5).value].join(","));
%>
