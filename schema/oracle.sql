-- The identifier counter and its procedure for the Oracle server: a sequence never hands out a number
-- twice, and the procedure gives the next one in its OUT parameter, as Gerar_Oid calls it through ODBC
-- ({call atualoid(?)}). The PL/SQL block is sent whole, its own ';' included: it ends at the line
-- holding only "/". Written against the server's documentation (CREATE SEQUENCE, CREATE PROCEDURE,
-- sequence.NEXTVAL); not yet run against a live server.
CREATE SEQUENCE oid_seq START WITH 100000 INCREMENT BY 1 NOCACHE;
CREATE PROCEDURE atualoid (novooid OUT INTEGER) AS
BEGIN
    SELECT oid_seq.NEXTVAL INTO novooid FROM DUAL;
END;
/
