-- The identifier counter and its procedure for the embedded engine. atualoid is one statement, so two
-- connections can never read the same value: the UPDATE takes the write lock and RETURNING hands back
-- the value it wrote.
CREATE TABLE oidcounter (id INTEGER PRIMARY KEY CHECK (id = 1), valor INTEGER NOT NULL);
INSERT INTO oidcounter (id, valor) VALUES (1, 99999);
CREATE TABLE IF NOT EXISTS sys_procedures (name TEXT PRIMARY KEY COLLATE NOCASE, body TEXT NOT NULL);
INSERT INTO sys_procedures (name, body) VALUES ('atualoid', 'UPDATE oidcounter SET valor = valor + 1 WHERE id = 1 RETURNING valor AS novooid');

-- The log-in looks for a station's open sessions (TERMINO still empty); they are few beside the closed
-- ones a station piles up over the years, and these indexes hold only them, so that a log-in costs the
-- same whatever the history holds.
CREATE INDEX sessaodeuso_abertas ON sessaodeuso (SITUACAO) WHERE TERMINO IS NULL;
CREATE INDEX sessaoaplicativo_abertas ON sessaoaplicativo (ESTACAO, rAplicativo) WHERE TERMINO IS NULL;
