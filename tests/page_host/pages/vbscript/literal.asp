<p class="q">"quoted" 'single' <%= "x" %>	tab
second line</p><% Response.Write "!" %>
