-- The agenda application's tables, as the component names them. Written once for both engines: the
-- words DATETIME and TEXT are read by each as its own date-time and text types (init-db adapts the
-- few spellings that differ). Every table has its key on OID; every column beyond the key is nullable
-- or defaulted.

-- Parameters: a category (by internal name), its definitions, and the values per item.
CREATE TABLE categoria (oid INTEGER PRIMARY KEY, nomeinterno VARCHAR(60) NOT NULL, nome VARCHAR(120));
CREATE UNIQUE INDEX categoria_nomeinterno ON categoria (nomeinterno);
CREATE TABLE dadoadicional (oid INTEGER PRIMARY KEY, rtipo INTEGER, nome VARCHAR(120));
CREATE INDEX dadoadicional_rtipo ON dadoadicional (rtipo);
CREATE TABLE aditivo (oid INTEGER PRIMARY KEY, rdefinicao INTEGER, ritem INTEGER, svalor VARCHAR(4000), DTvalor DATETIME);
CREATE INDEX aditivo_definicao_item ON aditivo (rdefinicao, ritem);

-- Field labels per application.
CREATE TABLE rotulo (oid INTEGER PRIMARY KEY, raplicativo INTEGER, controle VARCHAR(120), valor VARCHAR(400));
CREATE INDEX rotulo_raplicativo ON rotulo (raplicativo);

-- People: employees, users, the communication rows that link them, and their groupings.
CREATE TABLE funcionario (OID INTEGER PRIMARY KEY, NOME VARCHAR(120));
CREATE TABLE usuario (OID INTEGER PRIMARY KEY, NOME VARCHAR(60), SENHA VARCHAR(200));
CREATE INDEX usuario_nome ON usuario (NOME);
CREATE TABLE comunicacao (oid INTEGER PRIMARY KEY, ritem INTEGER, rendereco INTEGER, rtipo INTEGER);
CREATE INDEX comunicacao_ritem ON comunicacao (ritem);
CREATE INDEX comunicacao_rendereco ON comunicacao (rendereco);
CREATE TABLE agrupamento (OID INTEGER PRIMARY KEY, RITEM INTEGER, NITEM VARCHAR(120), RPAPEL INTEGER,
                          NPAPEL VARCHAR(120), RGRUPO INTEGER, NGRUPO VARCHAR(120));
CREATE INDEX agrupamento_ritem ON agrupamento (RITEM);
CREATE VIEW usuario_v AS SELECT OID, NOME, SENHA FROM usuario;
CREATE VIEW funcionario_r AS SELECT OID, NOME FROM funcionario;
CREATE VIEW agrupamento_v AS SELECT OID, RITEM, NITEM, RPAPEL, NPAPEL, RGRUPO, NGRUPO FROM agrupamento;

-- Usage sessions and application sessions.
CREATE TABLE sessaodeuso (OID INTEGER PRIMARY KEY, INICIO DATETIME, TERMINO DATETIME, SITUACAO SMALLINT);
CREATE INDEX sessaodeuso_aberta ON sessaodeuso (SITUACAO, TERMINO);
CREATE TABLE sessaoaplicativo (OID INTEGER PRIMARY KEY, RSESSAODEUSO INTEGER, rAplicativo INTEGER, RUSUARIO INTEGER,
                               ESTACAO VARCHAR(120), EXECUTAVEL VARCHAR(120), INICIO DATETIME, TERMINO DATETIME);
CREATE INDEX sessaoaplicativo_estacao ON sessaoaplicativo (ESTACAO, rAplicativo);
CREATE INDEX sessaoaplicativo_sessaodeuso ON sessaoaplicativo (RSESSAODEUSO);

-- Tasks: an Item row and a tarefa row share the task's OID; TAREFA_V shows them as one row.
CREATE TABLE Item (OID INTEGER PRIMARY KEY, RESCOPO INTEGER, CID INTEGER, EXCLUIDO SMALLINT DEFAULT 0,
                   CRIADOPOR INTEGER, ATUALIZADOPOR INTEGER, CRIADOEM DATETIME, ATUALIZADOEM DATETIME,
                   NOME VARCHAR(200));
CREATE TABLE tarefa (OID INTEGER PRIMARY KEY, RJOB INTEGER, RPRIORIDADE INTEGER, RSTATUS INTEGER,
                     RTIPODEMATERIAL INTEGER, RPECA INTEGER, ESPECIFICACAO VARCHAR(4000), DESCRICAO VARCHAR(4000));
CREATE VIEW TAREFA_V AS
    SELECT i.OID, i.NOME, i.RESCOPO, i.CID, i.EXCLUIDO, i.CRIADOPOR, i.ATUALIZADOPOR, i.CRIADOEM, i.ATUALIZADOEM,
           t.RJOB, t.RPRIORIDADE, t.RSTATUS, t.RTIPODEMATERIAL, t.RPECA, t.ESPECIFICACAO, t.DESCRICAO
      FROM Item i JOIN tarefa t ON t.OID = i.OID;
CREATE TABLE CLASSIFICACAO (OID INTEGER PRIMARY KEY, RITEM INTEGER, RCATEGORIA INTEGER);
CREATE INDEX classificacao_ritem ON CLASSIFICACAO (RITEM);
CREATE TABLE SUBTAREFA (OID INTEGER PRIMARY KEY, RITEM INTEGER, RGRUPO INTEGER, ORDEM INTEGER);
CREATE INDEX subtarefa_ritem_rgrupo ON SUBTAREFA (RITEM, RGRUPO);
CREATE TABLE PRAZO (OID INTEGER PRIMARY KEY, RTIPO INTEGER, RTAREFA INTEGER, RUSUARIO INTEGER, CRIADOEM DATETIME,
                    OBSERVACAO VARCHAR(4000), DURACAO INTEGER, TERMINO DATETIME, INICIO DATETIME);
CREATE INDEX prazo_rtarefa_rtipo ON PRAZO (RTAREFA, RTIPO);
CREATE TABLE RESPONSABILIDADE (OID INTEGER PRIMARY KEY, RPAPEL INTEGER, RITEM INTEGER, RRESPONSAVEL INTEGER);
CREATE INDEX responsabilidade_ritem_rpapel ON RESPONSABILIDADE (RITEM, RPAPEL);
CREATE TABLE PECAAUTORIZADA (OID INTEGER PRIMARY KEY, RAUTORIZACAO INTEGER, RTIPODEINSERCAO INTEGER, RMEIO INTEGER,
                             RPECA INTEGER, RTIPODEMATERIAL INTEGER, IDENTIFICADOR VARCHAR(120), DIMENSAO1 DOUBLE PRECISION,
                             DIMENSAO2 DOUBLE PRECISION);
CREATE INDEX pecaautorizada_rautorizacao ON PECAAUTORIZADA (RAUTORIZACAO);

-- Timesheet entries and tips of the day.
CREATE TABLE FOLHADEHORARIO (oid INTEGER PRIMARY KEY, RITEM INTEGER, RPESSOA INTEGER, RDEPARTAMENTO INTEGER,
                             RFUNCIONARIO INTEGER, Data DATETIME, HORASTRABALHADAS DOUBLE PRECISION,
                             FECHADO SMALLINT DEFAULT 0, Observacao VARCHAR(4000), INICIO DATETIME, TERMINO DATETIME,
                             EXTRA INTEGER, RTAREFA INTEGER);
CREATE INDEX folhadehorario_rpessoa ON FOLHADEHORARIO (RPESSOA);
CREATE TABLE DICADODIA (oid INTEGER PRIMARY KEY, Texto VARCHAR(4000), ordem SMALLINT);
