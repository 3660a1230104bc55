-- The identifier counter and its procedure for PostgreSQL: a sequence never hands out a number twice,
-- whatever the connections, transactions or processes.
CREATE SEQUENCE oid_seq START WITH 100000;
CREATE FUNCTION atualoid(OUT novooid integer) AS $$ SELECT nextval('oid_seq')::integer $$ LANGUAGE sql;
