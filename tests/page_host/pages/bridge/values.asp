<%@ Language=JScript %><%
var p = Server.CreateObject("Test.Probe");
function out(label, v) { Response.Write(label + "=" + v + ";"); }
out("long", p.TypeOf(1));
out("minLong", p.TypeOf(-2147483648));
out("big", p.TypeOf(2147483648));
out("fraction", p.TypeOf(1.5));
out("text", p.TypeOf("x"));
out("bool", p.TypeOf(true));
out("null", p.TypeOf(null));
out("undefined", p.TypeOf(undefined));
out("date", p.TypeOf(new Date()));
out("array", p.TypeOf([1, 2]));
out("object", p.TypeOf(p));
out("bigEcho", p.Echo(3000000000) === 3000000000);
out("nullEcho", p.Echo(null) === null);
out("emptyEcho", p.Echo(undefined) === undefined);
var a = p.Echo([1, "dois", [3.5, null], true]);
out("arrayEcho", (a instanceof Array) + "," + a.length + "," + a[1] + "," + a[2][0] + "," + (a[2][1] === null) + "," + a[3]);
var d = new Date(2024, 0, 31, 13, 45, 10);
out("dateText", p.DateText(d));
out("dateEcho", p.Echo(d).getTime() === d.getTime());
var old = new Date(1899, 11, 29, 6, 0, 0);
out("oldDate", p.DateText(old) + "," + (p.Echo(old).getTime() === old.getTime()));
var m = p.MakeDate(1999, 12, 31, 23, 59, 58);
out("madeDate", (m instanceof Date) + "," + m.getFullYear() + "-" + (m.getMonth() + 1) + "-" + m.getDate() + " " +
    m.getHours() + ":" + m.getMinutes() + ":" + m.getSeconds());
out("unicode", p.Echo("ação \u00e9 😀") === "ação é 😀");
out("surrogates", p.Echo("😀").length);
%>
