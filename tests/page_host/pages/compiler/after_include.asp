<%@ Language=JScript %><!-- #include file="inc/header.inc" --><% var first = header(); %>
<%
var ok = header();
missing();
%>
