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

-- The log-in looks for a station's open sessions (TERMINO still empty); a key that ends with TERMINO
-- finds them without reading the closed ones a station piles up over the years.
CREATE INDEX sessaoaplicativo_abertas ON sessaoaplicativo (ESTACAO, rAplicativo, TERMINO);
