<%
Response.Write("a");
throw "plain text";
%>
