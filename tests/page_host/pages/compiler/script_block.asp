<%@ Language=JScript %><script runat="server" language="JScript">
function twice(x) { return x * 2; }
</script>
<p><%= twice(21) %></p>
<SCRIPT type="text/javascript">client(1 < 2)</SCRIPT>
<script RunAt=Server>
missing();
</script>
