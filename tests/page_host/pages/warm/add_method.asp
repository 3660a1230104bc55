<%@ Language=JScript %><% String.prototype.shout = function () { return this.toUpperCase() + "!"; }; Response.Write("x".shout()); %>
