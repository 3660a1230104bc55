<%@ Language=JScript %><%
Response.ContentType = "text/plain";
Response.Status = "404 Not Found";
Response.AddHeader("X-Test", "1");
Response.Cookies("sessao") = "abc";
Response.Cookies("sessao").Path = "/agenda";
Response.Write("discarded");
Response.Clear();
Response.Write("kept;" + Response.Cookies("sessao") + ";" + Response.Status);
%>
