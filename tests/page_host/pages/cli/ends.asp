<%@ Language=JScript %>done<% Response.End(); %> never
