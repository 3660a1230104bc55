<%@ Language=JScript %><%
Response.Write("one;");
try {
    Response.End();
} catch (e) {
}
var x = 0;
while (true) {
    x++;
}
%>
