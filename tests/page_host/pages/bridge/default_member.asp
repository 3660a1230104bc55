<%@ Language=JScript %><%
var bag = Server.CreateObject("Test.Bag");
bag("k") = "v1";
bag("n") = 5;
bag("n") += 2;
bag.Item("m") = "via Item";
Response.Write(bag("k") + ";" + bag("n") + ";" + bag.Count + ";" + bag.Item("m") + ";");
var cell = Server.CreateObject("Test.Cell");
Response.Write("cell=" + cell + ";");
Response.Write((cell == 5) + ";" + (cell * 2) + ";" + String(cell) + ";");
Response.Write(cell);
Response.Write(";");
cell.Value = "texto";
Response.Write(cell + ";" + (cell == "texto") + ";");
try { bag.length; } catch (e) { Response.Write("length=" + e.number + ";"); }
try { bag.name; } catch (e) { Response.Write("name=" + e.number + ";"); }
%>
