<%@ Language=JScript %><% Array.prototype.push = function () { return -1; }; Response.Write([].push(1)); %>
