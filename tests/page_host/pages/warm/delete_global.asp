<%@ Language=JScript %><% delete ByRef; Response.Write(typeof ByRef); %>
