#!/usr/bin/python3
"""A straightforward Python port of Criar_Nova_Tarefa(5001, user): the same data statements as the
component sends (see the statement trace), on one open connection, through Debian's python3 modules
(sqlite3; psycopg2 from python3-psycopg2, which `scripts/install-deps.sh --bench` installs).

    bench/criar_nova_tarefa.py sqlite FILE [SECONDS]
    bench/criar_nova_tarefa.py postgresql 'host=... port=... dbname=... user=... options=-csearch_path=S' [SECONDS]

FILE / the schema must hold the reference schema and the demo data (call_bench --prepare makes them).
Prints the mean time of one call in microseconds, as "python/<engine> <us> us/call <calls> calls".
"""
import sys
import time


def run(cur, sql, params=()):
    cur.execute(sql, params)
    if cur.description is None:
        return []
    names = [d[0].lower() for d in cur.description]
    return [dict(zip(names, row)) for row in cur.fetchall()]


def field(rows, column):
    return rows[0].get(column.lower()) if rows else None


def criar_nova_tarefa(cur, postgres, user, mark):
    def sql(text):
        return text.replace("?", mark)

    def new_oid():
        if postgres:
            rows = run(cur, "SELECT * FROM atualoid()")
        else:
            rows = run(cur, "UPDATE oidcounter SET valor = valor + 1 WHERE id = 1 RETURNING valor AS novooid")
        return field(rows, "novooid")

    def write(text, params):
        run(cur, sql(text), params)

    now = "2026-01-01 12:00:00"
    source = run(cur, "SELECT * FROM TAREFA_V WHERE     OID = 5001")
    job = field(source, "RJOB")
    task = new_oid()
    write("INSERT INTO Item (RESCOPO, CID, EXCLUIDO, CRIADOPOR, ATUALIZADOPOR, CRIADOEM, ATUALIZADOEM, NOME, OID) "
          "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)",
          (7, 62, 0, user, user, now, now, field(source, "NOME"), task))
    write("INSERT INTO tarefa (RJOB, RPRIORIDADE, RSTATUS, RTIPODEMATERIAL, RPECA, ESPECIFICACAO, DESCRICAO, OID) "
          "VALUES (?, ?, ?, ?, ?, ?, ?, ?)",
          (job, field(source, "RPRIORIDADE"), 1258, field(source, "RTIPODEMATERIAL"), field(source, "RPECA"),
           field(source, "ESPECIFICACAO"), field(source, "DESCRICAO"), task))
    classes = run(cur, "SELECT * FROM CLASSIFICACAO WHERE     RITEM = 5001")
    write("INSERT INTO CLASSIFICACAO (RITEM, RCATEGORIA, OID) VALUES (?, ?, ?)",
          (task, field(classes, "RCATEGORIA"), new_oid()))
    parts = run(cur, "SELECT * FROM SUBTAREFA WHERE     RITEM = 5001  AND     RGRUPO = %s" % job)
    write("INSERT INTO SUBTAREFA (RGRUPO, RITEM, ORDEM, OID) VALUES (?, ?, ?, ?)",
          (job, task, field(parts, "ORDEM"), new_oid()))
    periods = run(cur, "SELECT * FROM PRAZO WHERE     RTIPO = 1007 AND     RTAREFA = 5001")
    write("INSERT INTO PRAZO (RUSUARIO, RTIPO, RTAREFA, CRIADOEM, OBSERVACAO, DURACAO, TERMINO, INICIO, OID) "
          "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)",
          (user, field(periods, "RTIPO"), task, now, field(periods, "OBSERVACAO"), field(periods, "DURACAO"),
           field(periods, "TERMINO"), field(periods, "INICIO"), new_oid()))
    department = run(cur, "SELECT * FROM RESPONSABILIDADE WHERE     RPAPEL = 1105 AND     RITEM = 5001")
    write("INSERT INTO Responsabilidade (RITEM, RPAPEL, RRESPONSAVEL, OID) VALUES (?, ?, ?, ?)",
          (task, 1105, field(department, "RRESPONSAVEL"), new_oid()))
    for piece in run(cur, "SELECT * FROM PECAAUTORIZADA WHERE     RAUTORIZACAO = 5001"):
        write("INSERT INTO PECAAUTORIZADA (RTIPODEINSERCAO, RMEIO, RAUTORIZACAO, RPECA, RTIPODEMATERIAL, "
              "IDENTIFICADOR, DIMENSAO1, DIMENSAO2, OID) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)",
              (piece.get("rtipodeinsercao"), piece.get("rmeio"), task, piece.get("rpeca"),
               piece.get("rtipodematerial"), piece.get("identificador"), piece.get("dimensao1"),
               piece.get("dimensao2"), new_oid()))
    for person in run(cur, "SELECT * FROM RESPONSABILIDADE WHERE     RPAPEL = 1078 AND     RITEM = 5001"):
        write("INSERT INTO Responsabilidade (RITEM, RPAPEL, RRESPONSAVEL, OID) VALUES (?, ?, ?, ?)",
              (task, 1078, person.get("rresponsavel"), new_oid()))


def main():
    engine, target = sys.argv[1], sys.argv[2]
    seconds = float(sys.argv[3]) if len(sys.argv) > 3 else 3.0
    postgres = engine == "postgresql"
    if postgres:
        import psycopg2
        conn = psycopg2.connect(target)
        conn.autocommit = True  # each statement its own transaction, as the component runs them
        mark = "%s"
    else:
        import sqlite3
        conn = sqlite3.connect(target, timeout=30, isolation_level=None)  # autocommit, as the component
        conn.execute("PRAGMA journal_mode=WAL")
        conn.execute("PRAGMA synchronous=FULL")
        mark = "?"
    cur = conn.cursor()
    criar_nova_tarefa(cur, postgres, 3001, mark)  # warm-up
    calls = 0
    start = time.perf_counter()
    while time.perf_counter() - start < seconds:
        criar_nova_tarefa(cur, postgres, 3001, mark)
        calls += 1
    elapsed = time.perf_counter() - start
    print("python/%s %.1f us/call %d calls" % (engine, elapsed / calls * 1e6, calls))
    conn.close()


if __name__ == "__main__":
    main()
