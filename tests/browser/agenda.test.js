// The demo agenda (VBScript pages, one JScript page) in a real browser: Debian's Chromium, headless,
// driven by playwright-core. A user logs in, creates a task from a template, records its start, books
// hours, redirects the task to two users, changes its data, records its end, adds a tip of the day and
// logs out; the database is then checked directly. Needs ORVAN_BASE_URL (the running site) and either ORVAN_DB (its SQLite
// file) or ORVAN_PG (its PostgreSQL database, as JSON: host, port, user, database, schema); keeps a screenshot in
// ORVAN_SCREENSHOT_DIR.
'use strict';
const test = require('node:test');
const assert = require('node:assert');
const { execFileSync } = require('node:child_process');
const path = require('node:path');
const { chromium } = require('playwright-core');

const base = process.env.ORVAN_BASE_URL;
const db = process.env.ORVAN_DB;
const pg = process.env.ORVAN_PG ? JSON.parse(process.env.ORVAN_PG) : null;
const shots = process.env.ORVAN_SCREENSHOT_DIR || '.';

// The rows of a query, one per line, columns joined by '|'; the same SQL on both engines.
function sql(query) {
  if (pg) {
    return execFileSync('psql', ['-h', pg.host, '-p', String(pg.port), '-U', pg.user, '-d', pg.database, '-At',
                                 '-v', 'ON_ERROR_STOP=1', '-c', query],
                        { encoding: 'utf8', env: { ...process.env, PGOPTIONS: `-c search_path=${pg.schema}` } }).trim();
  }
  return execFileSync('sqlite3', ['-batch', '-noheader', db, query], { encoding: 'utf8' }).trim();
}

test('a day of work in the agenda', async () => {
  assert.ok(base, 'ORVAN_BASE_URL is not set');
  assert.ok(db || pg, 'neither ORVAN_DB nor ORVAN_PG is set');
  const browser = await chromium.launch({
    executablePath: '/usr/bin/chromium',
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
  try {
    const page = await browser.newPage({ locale: 'pt-BR' });
    const sessionsBefore = Number(sql('SELECT COUNT(*) FROM sessaoaplicativo'));

    await page.goto(base + '/');
    assert.match(await page.title(), /Entrar/);
    await page.fill('#usuario', 'ana');
    await page.fill('#senha', 'errada');
    await page.click('#entrar button[type=submit]');
    assert.strictEqual((await page.textContent('#mensagem')).trim(), 'Usuário ou senha inválidos!');

    await page.fill('#usuario', 'ana');
    await page.fill('#senha', 'ana123');
    await Promise.all([page.waitForURL(/agenda\.asp/), page.click('#entrar button[type=submit]')]);
    assert.match(await page.textContent('h2'), /Olá, Ana Souza/);
    assert.match(await page.textContent('#dica'), /Dica do dia/);
    assert.strictEqual(Number(sql('SELECT COUNT(*) FROM sessaoaplicativo WHERE TERMINO IS NULL')), sessionsBefore + 1);

    // A new task from the cover-story template.
    await page.selectOption('#modelo', { label: 'Modelo: reportagem de capa' });
    await Promise.all([page.waitForURL(/tarefa\.asp\?oid=\d+/), page.click('#nova-tarefa button')]);
    const oid = Number(new URL(page.url()).searchParams.get('oid'));
    assert.ok(oid >= 100000, `the new task has an identifier from the counter (${oid})`);
    assert.match(await page.textContent('#criada'), /criada/);
    assert.match(await page.textContent('#titulo'), /Modelo: reportagem de capa/);

    // Its start.
    await page.fill('#inicio', '08/12/2026 09:00');
    await page.fill('#observacao', 'Começando a apuração');
    await Promise.all([page.waitForURL(/feito=andamento/), page.click('#form-andamento button')]);
    assert.strictEqual((await page.textContent('#situacao')).trim(), 'Iniciada');

    // Hours worked on it.
    await page.fill('#data', '08/12/2026');
    await page.fill('#hinicio', '09:00');
    await page.fill('#htermino', '12:30');
    await page.fill('#qtd', '3,5');
    await page.fill('#hobs', 'Entrevistas');
    await Promise.all([page.waitForURL(/feito=horas/), page.click('#form-horas button')]);
    assert.match(await page.textContent('#horas'), /Entrevistas/);
    await page.screenshot({ path: path.join(shots, 'agenda-tarefa.png'), fullPage: true });

    // Directed to two users only: the checked boxes travel as one list, "2002, 2003".
    await page.$$eval('#form-redirecionar input[name=usuarios]', (boxes) => {
      for (const b of boxes) b.checked = b.value === '2002' || b.value === '2003';
    });
    await Promise.all([page.waitForURL(/feito=redirecionar/), page.click('#form-redirecionar button')]);
    assert.strictEqual(await page.$eval('#form-redirecionar input[value="2003"]', (b) => b.checked), true);

    // Its data: a specification with an apostrophe, another department, a planned start.
    await page.fill('#especificacao', "Capa de 'domingo'");
    await page.selectOption('#departamento', '3002');
    await page.fill('#inicioPrevisto', '10/12/2026');
    await Promise.all([page.waitForURL(/feito=dados/), page.click('#form-dados button')]);
    assert.match(await page.textContent('#feito'), /Dados da tarefa atualizados/);

    // Its end.
    await page.fill('#inicio', '08/12/2026 09:00');
    await page.fill('#termino', '08/12/2026 18:00');
    await Promise.all([page.waitForURL(/feito=andamento/), page.click('#form-andamento button')]);
    assert.strictEqual((await page.textContent('#situacao')).trim(), 'Concluída');

    // A tip of the day.
    await page.goto(base + '/dicas.asp');
    await page.fill('#texto', 'Revise a pauta antes das 10h');
    await page.fill('#ordem', '3');
    await Promise.all([page.waitForURL(/incluida=1/), page.click('#form-dica button')]);
    assert.match(await page.textContent('#dicas'), /Revise a pauta antes das 10h/);

    await Promise.all([page.waitForURL(/default\.asp/), page.click('#sair')]);
    assert.match(await page.title(), /Entrar/);

    // What the component wrote.
    assert.strictEqual(sql(`SELECT NOME FROM TAREFA_V WHERE OID = ${oid}`), 'Modelo: reportagem de capa');
    assert.strictEqual(sql(`SELECT RSTATUS FROM tarefa WHERE OID = ${oid}`), '1264');
    assert.strictEqual(sql(`SELECT ESPECIFICACAO FROM tarefa WHERE OID = ${oid}`), "Capa de 'domingo'");
    assert.strictEqual(sql(`SELECT RRESPONSAVEL FROM RESPONSABILIDADE WHERE RPAPEL = 1105 AND RITEM = ${oid}`), '3002');
    assert.strictEqual(sql(`SELECT INICIO FROM PRAZO WHERE RTIPO = 1007 AND RTAREFA = ${oid}`), '2026-12-10 00:00:00');
    assert.strictEqual(sql(`SELECT RRESPONSAVEL FROM RESPONSABILIDADE
                            WHERE RPAPEL = 1078 AND RITEM = ${oid} AND RRESPONSAVEL <> 7 ORDER BY RRESPONSAVEL`)
                         .split('\n').join(','),
                       '2002,2003');
    assert.strictEqual(sql(`SELECT COUNT(*) FROM DICADODIA WHERE Texto = 'Revise a pauta antes das 10h'`), '1');
    assert.strictEqual(sql(`SELECT COUNT(*) FROM PECAAUTORIZADA WHERE RAUTORIZACAO = ${oid}`), '2');
    assert.strictEqual(sql(`SELECT COUNT(*) FROM PRAZO WHERE RTIPO = 1009 AND RTAREFA = ${oid} AND INICIO IS NOT NULL`), '1');
    assert.strictEqual(sql(`SELECT Observacao || '|' || HORASTRABALHADAS || '|' || INICIO || '|' || TERMINO
                            FROM FOLHADEHORARIO WHERE RTAREFA = ${oid}`),
                       'Entrevistas|3.5|1899-12-30 09:00:00|1899-12-30 12:30:00');
    assert.strictEqual(Number(sql('SELECT COUNT(*) FROM sessaoaplicativo WHERE TERMINO IS NULL')), sessionsBefore,
                       'logging out closed the application session');
  } finally {
    await browser.close();
  }
});
