<p>x</p>
<script runat="server" language="JScript">
function f() { return 1; }
</script>
