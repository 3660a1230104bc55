<%@ LANGUAGE="JSCRIPT" %>
<% var a = [1, 2, 3]; Response.Write(a.join("+")); %>
