done<% Response.End(); %> never
