-- The identifier counter and its procedure for the Transact-SQL server: a sequence never hands out a
-- number twice, and the procedure gives the next one in its output parameter, as Gerar_Oid calls it
-- through ODBC ({call atualoid(?)}). A procedure is sent whole: it ends at the line holding only "/".
-- Written against the server's documentation (CREATE SEQUENCE, NEXT VALUE FOR, CREATE PROCEDURE);
-- not yet run against a live server.
CREATE SEQUENCE oid_seq AS INT START WITH 100000 INCREMENT BY 1;
CREATE PROCEDURE atualoid @novooid INT OUTPUT AS
BEGIN
    SET NOCOUNT ON;
    SET @novooid = NEXT VALUE FOR oid_seq;
END
/

-- The log-in looks for a station's open sessions (TERMINO still empty); they are few beside the closed
-- ones a station piles up over the years, and these indexes hold only them, so that a log-in costs the
-- same whatever the history holds.
CREATE INDEX sessaodeuso_abertas ON sessaodeuso (SITUACAO) WHERE TERMINO IS NULL;
CREATE INDEX sessaoaplicativo_abertas ON sessaoaplicativo (ESTACAO, rAplicativo) WHERE TERMINO IS NULL;
