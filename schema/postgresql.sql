-- The identifier counter and its procedure for PostgreSQL: a sequence never hands out a number twice,
-- whatever the connections, transactions or processes.
CREATE SEQUENCE oid_seq START WITH 100000;
CREATE FUNCTION atualoid(OUT novooid integer) AS $$ SELECT nextval('oid_seq')::integer $$ LANGUAGE sql;

-- The log-in looks for a station's open sessions (TERMINO still empty); they are few beside the closed
-- ones a station piles up over the years, and these indexes hold only them, so that a log-in costs the
-- same whatever the history holds.
CREATE INDEX sessaodeuso_abertas ON sessaodeuso (SITUACAO) WHERE TERMINO IS NULL;
CREATE INDEX sessaoaplicativo_abertas ON sessaoaplicativo (ESTACAO, rAplicativo) WHERE TERMINO IS NULL;
