<%@ Language=JScript %><%
Application("Contador") = 1;
Application("contador") += 1;
Application.Lock();
Application("Texto") = "olá";
Application.Unlock();
Response.Write(Application("CONTADOR") + ";" + Application("texto") + ";" + Application.Contents.Count + ";" +
               Application.Contents.Key(2) + ";" + Application("dataconn_CommandTimeout") + ";");
var p = Server.CreateObject("Test.Probe");
Response.Write(p.AppValue("contador") + ";");
try {
    Application("obj") = p;
} catch (e) {
    Response.Write("refused:" + e.number + ":" + (e.description.indexOf("Application cannot hold an object") >= 0) + ";");
}
try {
    Session("obj") = [1, p];
} catch (e) {
    Response.Write("refused:" + e.number + ";");
}
Session("User") = "ana";
Response.Write(Session("user") + ";" + Session.SessionID + ";" + Session.Timeout + ";");
Session.Timeout = 5;
Session.Contents("Extra") = [1, "dois"];
Session.Abandon();
%>
