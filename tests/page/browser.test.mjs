// The symbol browser page in headless Chromium, against a running `varbank serve`: the dictionary
// list, opening a structure, "more..." on a large root, resolving a name, the stamp, a file that
// does not import, markup in comments, reopening a shared URL, the live value column (read for
// the rows on screen, subscribed over a WebSocket, closed while the tab is hidden, a change shown
// within a second without polling, markup in a value shown as text), the type column and
// editing a value in place, and the PLC's state beside the dictionary's name with the reason it
// fails.
// Usage: node browser.test.mjs VARBANK CHROMIUM WORK_DIR EXAMPLES_DIR. Exit 0 pass, 1 fail.
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import path from 'node:path';
import readline from 'node:readline';
import puppeteer from 'puppeteer-core';

const [binary, chromium, work, examples] = process.argv.slice(2);
const WAIT = { timeout: 10000 };
const failures = [];
const pageErrors = [];
let passed = 0;
const servers = [];
const TOKEN = 'page-test-token';
let browser = null;

function check(what, ok, detail) {
  if (ok) passed++;
  else failures.push(`${what}${detail === undefined ? '' : `: ${JSON.stringify(detail)}`}`);
  console.log(`${ok ? 'ok  ' : 'FAIL'} ${what}`);
}

function withTimeout(promise, ms, what) {
  let timer;
  const timeout = new Promise((_, reject) => {
    timer = setTimeout(() => reject(new Error(`timed out after ${ms} ms: ${what}`)), ms);
  });
  return Promise.race([promise, timeout]).finally(() => clearTimeout(timer));
}

// A program whose root needs two pages: 300 INT globals, then one whose comment is markup.
function writePrograms(folder) {
  fs.rmSync(folder, { recursive: true, force: true });
  fs.mkdirSync(folder, { recursive: true });
  fs.copyFileSync(path.join(examples, 'production_line.xml'), path.join(folder, 'production_line.xml'));
  fs.writeFileSync(path.join(folder, 'broken.xml'), '<project><unclosed>\n');
  const variables = [];
  for (let i = 1; i <= 300; i++) {
    variables.push(`<variable name="Var${String(i).padStart(3, '0')}"><type><INT/></type></variable>`);
  }
  variables.push('<variable name="Markup"><type><BOOL/></type><documentation><xhtml:p><![CDATA[' +
    '<img src=x onerror="window.injected=1"><b>bold</b>]]></xhtml:p></documentation></variable>');
  fs.writeFileSync(path.join(folder, 'big.xml'), `<?xml version="1.0" encoding="utf-8"?>
<project xmlns="http://www.plcopen.org/xml/tc6_0201" xmlns:xhtml="http://www.w3.org/1999/xhtml">
  <fileHeader companyName="Varbank" productName="Page test" productVersion="1.0" creationDateTime="2024-01-15T08:00:00"/>
  <contentHeader name="Big line"><coordinateInfo>
    <fbd><scaling x="1" y="1"/></fbd><ld><scaling x="1" y="1"/></ld><sfc><scaling x="1" y="1"/></sfc>
  </coordinateInfo></contentHeader>
  <types><dataTypes/><pous/></types>
  <instances><configurations><configuration name="Plant"><globalVars>
${variables.join('\n')}
  </globalVars></configuration></configurations></instances>
</project>
`);
}

// Starts a server on a free port and returns its URL, read from its first line.
async function startServer(folder, ...options) {
  const server = spawn(binary, ['serve', folder, '--bind', '127.0.0.1', '--port', '0', ...options],
    { stdio: ['ignore', 'pipe', 'pipe'] });
  servers.push(server);
  let log = '';
  server.stderr.on('data', (data) => { log += data; });
  const url = new Promise((resolve, reject) => {
    readline.createInterface({ input: server.stdout }).once('line', (line) => {
      const match = /at (http:\/\/\S+)/.exec(line);
      if (match) resolve(match[1]);
      else reject(new Error(`unexpected first line: ${line}`));
    });
    server.once('exit', (code) => reject(new Error(`varbank serve exited (${code}): ${log}`)));
  });
  return withTimeout(url, 10000, 'the first line of varbank serve');
}

async function stopServer(server) {
  if (server.exitCode !== null) return server.exitCode;
  const exited = new Promise((resolve) => server.once('exit', (code, signal) => resolve(signal || code)));
  server.kill('SIGTERM');
  return withTimeout(exited, 5000, 'varbank serve to stop').catch(() => {
    server.kill('SIGKILL');
    return 'killed';
  });
}

// Paths of the rows listed under path ('' = the root), or null while it is not open.
const childPaths = (page, parent) => page.evaluate((parent) => {
  const row = [...document.querySelectorAll('#tree .row')].find((r) => r.dataset.path === parent);
  const group = parent === '' ? document.querySelector('#tree > ul') : row && row.parentElement.querySelector(':scope > ul');
  return group ? [...group.querySelectorAll(':scope > li > .row:not(.more)')].map((r) => r.dataset.path) : null;
}, parent);

const rowHandle = (page, rowPath) => page.evaluateHandle((p) =>
  [...document.querySelectorAll('#tree .row')].find((r) => r.dataset.path === p), rowPath);

const recordFields = (page) => page.$$eval('#record dd', (dds) =>
  Object.fromEntries(dds.map((dd) => [dd.dataset.field, dd.textContent])));

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

const valueCell = (page, rowPath) => page.evaluateHandle((p) =>
  [...document.querySelectorAll('#tree .value')].find((c) => c.dataset.name === p), rowPath);

// Waits until the value cell of rowPath shows wanted; true when it does.
const showsValue = (page, rowPath, wanted) => page.waitForFunction((p, w) =>
  [...document.querySelectorAll('#tree .value')].find((c) => c.dataset.name === p)?.querySelector('.v').textContent === w,
  WAIT, rowPath, wanted).then(() => true, () => false);

// Makes the page believe its tab was hidden or shown again.
const setVisibility = (page, visibility) => page.evaluate((v) => {
  Object.defineProperty(document, 'visibilityState', { configurable: true, get: () => v });
  document.dispatchEvent(new Event('visibilitychange'));
}, visibility);

const idle = (page) => page.waitForFunction(() => !document.querySelector('#tree li.note') ||
  !document.querySelector('#tree li.note').textContent.startsWith('loading'), WAIT);

async function openDictionary(page, name, firstRow) {
  await page.select('#dict', name);
  await page.waitForFunction((first) =>
    [...document.querySelectorAll('#tree .row')].some((r) => r.dataset.path === first), WAIT, firstRow);
  await idle(page);
}

async function dictionaryList(page) {
  await page.waitForFunction(() => document.querySelectorAll('#dict option').length === 3, WAIT);
  const names = await page.$$eval('#dict option', (options) => options.map((o) => o.value));
  check('the dictionary list names every program', names.slice().sort().join() === 'big,broken,production_line', names);
  const broken = await page.$eval('#dict option[value="broken"]', (o) => o.textContent);
  check('the list marks the program that does not import', broken.includes('does not import'), broken);
}

async function moreFollowsContinuation(page) {
  await openDictionary(page, 'big', 'Var001');
  const first = await childPaths(page, '');
  check('the large root opens with one page', first.length === 200 && first[0] === 'Var001', first.length);
  const more = await page.$('#tree .row.more');
  check('a "more..." row follows the first page', more !== null);
  await more.focus();
  await page.keyboard.press('Enter');
  await page.waitForFunction(() => document.querySelectorAll('#tree > ul > li > .row:not(.more)').length > 200, WAIT);
  await idle(page);
  const focused = await page.evaluate(() => document.activeElement.dataset.path);
  check('Enter on "more..." moves the focus to the next page', focused === 'Var201', focused);
  const all = await childPaths(page, '');
  check('"more..." appends the next page', all.length === 301 && all[200] === 'Var201' && all[300] === 'Markup', all.length);
  check('no row is listed twice', new Set(all).size === all.length);
  check('the last page ends the list', (await page.$('#tree .row.more')) === null);
  const markup = await page.evaluate(() => ({
    text: [...document.querySelectorAll('#tree .row')].find((r) => r.dataset.path === 'Markup')
      .querySelector('.comment').textContent,
    elements: document.querySelectorAll('#tree img, #tree b').length,
    injected: window.injected,
  }));
  check('a comment holding markup is shown as text',
    markup.text.startsWith('<img src=x') && markup.elements === 0 && markup.injected === undefined, markup);
}

async function structureAndResolve(page, url) {
  await openDictionary(page, 'production_line', 'Motor1');
  await (await rowHandle(page, 'Motor1')).click();
  await page.waitForFunction(() => document.querySelector('#tree .row[aria-expanded="true"] + ul .row'), WAIT);
  const members = await childPaths(page, 'Motor1');
  check('opening Motor1 lists its members',
    members.join() === 'Motor1.Running,Motor1.Speed,Motor1.Current,Motor1.State,Motor1.Label', members);
  const hash = await page.evaluate(() => location.hash);
  check('the URL keeps the dictionary and the open path', hash === '#dict=production_line&path=Motor1', hash);

  const stamp = await (await fetch(`${url}api/dictionaries/production_line/stamp`)).json();
  const shown = await page.$eval('#stamp', (s) => s.textContent);
  check('the stamp is shown', shown === stamp.stamp, { shown, stamp });

  await page.click('#item');
  await page.keyboard.type('Motor1.Speed');
  await page.keyboard.press('Enter');
  await page.waitForFunction(() =>
    document.querySelector('#record h3')?.textContent === 'Motor1.Speed' && document.querySelector('#record dd'), WAIT);
  const record = await recordFields(page);
  check('Enter resolves the name to its physical record', record.block === '3' && record.offset === '2' && record.size === '2' &&
    record.bit === '—' && record.typeName === 'INT' && record.comment === 'speed setpoint (rpm)', record);

  await page.click('#item', { clickCount: 3 });
  await page.keyboard.type('Motor1.Nope');
  await page.keyboard.press('Enter');
  await page.waitForFunction(() => document.querySelector('#record h3')?.textContent === 'Motor1.Nope', WAIT);
  const refused = await page.$eval('#record', (r) => r.textContent);
  check('an unknown name shows the reason', refused.includes('not resolved'), refused);
}

async function valueColumn(page) {
  check('a leaf at the root shows its value', await showsValue(page, 'LineName', '"Bottling line 1"'));
  await (await rowHandle(page, 'Line')).click();
  check('a leaf shows its value once its parent opens', await showsValue(page, 'Line.ActiveRecipe', '1'));
  await (await valueCell(page, 'LineName')).click({ count: 2 });
  check('a read-only service offers no editor', (await page.$('#tree .value.editing, #tree .editor')) === null);
}

// What the page sends over its WebSocket, and its value reads over HTTP (there should be none).
async function watchTraffic(page) {
  const traffic = { subscribed: [], unsubscribed: [], reads: [] };
  const cdp = await page.target().createCDPSession();
  await cdp.send('Network.enable');
  cdp.on('Network.webSocketFrameSent', ({ response }) => {
    const message = JSON.parse(response.payloadData);
    if (message.subscribe) traffic.subscribed.push(message.subscribe);
    if (message.unsubscribe) traffic.unsubscribed.push(message.unsubscribe);
  });
  page.on('request', (request) => {
    if (request.method() !== 'PUT' && /\/values(\?|$)/.test(request.url())) traffic.reads.push(`${request.method()} ${request.url()}`);
  });
  return traffic;
}

const socketOpen = (page) => page.waitForFunction(() => live.ready, WAIT).then(() => true, () => false);

// On the large root: the rows on screen are subscribed, nothing is polled, and the socket is
// closed while the tab is hidden.
async function valuesOnScreen(page, traffic) {
  await sleep(1500);
  const names = traffic.subscribed.flat();
  check('the rows on screen are subscribed over the WebSocket, and only they',
    names.length > 0 && names.length < 100 && names.includes('Var201'), names.length);
  await page.evaluate(() => document.querySelector('#tree').scrollBy(0, 3000));
  await sleep(1500);
  const left = traffic.unsubscribed.flat();
  const held = await page.evaluate(() => [...live.subscribed]);
  check('rows scrolled away are unsubscribed', left.includes('Var201') && !held.includes('Var201') &&
    held.includes('Markup'), { left, held });
  await setVisibility(page, 'hidden');
  await sleep(300);
  check('the subscription ends while the tab is hidden', await page.evaluate(() => live.socket === null));
  const before = traffic.subscribed.length;
  await setVisibility(page, 'visible');
  check('it resumes when the tab is shown again', await socketOpen(page));
  await sleep(500);
  check('the rows on screen are subscribed again', traffic.subscribed.length > before);
  check('no value is polled over HTTP', traffic.reads.length === 0, traffic.reads);
}

// Types text into the value cell of rowPath, opened by a double-click or by F2 on its row.
async function editValue(page, rowPath, text, byKey) {
  if (byKey) {
    await (await rowHandle(page, rowPath)).focus();
    await page.keyboard.press('F2');
  } else {
    await (await valueCell(page, rowPath)).click({ count: 2 });
  }
  await page.waitForSelector('#tree .value.editing .editor:focus', WAIT);
  await page.keyboard.type(text); // the editor starts with the old value selected
  await page.keyboard.press('Enter');
}

async function giveToken(page, token) {
  await page.waitForSelector('#token-form:not([hidden]) #token:focus', WAIT);
  await page.keyboard.type(token);
  await page.keyboard.press('Enter');
}

async function editInPlace(url) {
  const speed = 'Motor1.Speed';
  const page = await openShared(url, 'production_line', speed);
  const traffic = await watchTraffic(page);
  check('the value is shown before an edit', await showsValue(page, speed, '0'));
  await editValue(page, speed, '1500', false);
  await giveToken(page, 'wrong');
  await page.waitForFunction(() => document.querySelector('#token-why').textContent.includes('refused'), WAIT);
  await giveToken(page, TOKEN);
  check('an edit written with the token shows at the next refresh', await showsValue(page, speed, '1500'));
  const detail = await page.waitForFunction(() =>
    document.querySelector('#record dd[data-field="value"]')?.textContent === '1500', WAIT).then(() => true, () => false);
  check('the side pane shows the selected leaf\'s value', detail);

  await editValue(page, speed, '40000', true);
  await page.waitForSelector('#tree .write-note', WAIT);
  const note = await page.$eval('#tree .write-note', (n) => [n.closest('.value').dataset.name, n.textContent]);
  check('a refused write shows its reason beside the cell', note[0] === speed && /range/i.test(note[1]), note);
  check('the token is asked only once per tab', await page.$eval('#token-form', (f) => f.hidden));
  await sleep(1300);
  check('a refused write leaves the value', await showsValue(page, speed, '1500'));

  check('the type column shows each row\'s type', await page.evaluate(() =>
    [...document.querySelectorAll('#tree .row')].find((r) => r.dataset.path === 'Motor1.Speed')
      ?.querySelector('.type')?.textContent === 'INT'));
  const put = (values) => fetch(`${url}api/dictionaries/production_line/values`, {
    method: 'PUT', headers: { Authorization: `Bearer ${TOKEN}`, 'Content-Type': 'application/json' },
    body: JSON.stringify({ values }) });
  await socketOpen(page);
  await sleep(300);
  const sent = Date.now();
  check('a value written elsewhere is written', (await put({ [speed]: 777 })).status === 200);
  const shown = await page.waitForFunction((p) => {
    const cell = [...document.querySelectorAll('#tree .value')].find((c) => c.dataset.name === p);
    return cell?.querySelector('.v').textContent === '777' && cell.classList.contains('changed');
  }, { timeout: 1000 }, speed).then(() => true, () => false);
  check('a value written elsewhere shows, highlighted, within a second', shown, Date.now() - sent);
  check('no value is polled over HTTP while values change', traffic.reads.length === 0, traffic.reads);

  const label = 'Motor1.Label';
  const written = await fetch(`${url}api/dictionaries/production_line/values`, {
    method: 'PUT', headers: { Authorization: `Bearer ${TOKEN}`, 'Content-Type': 'application/json' },
    body: JSON.stringify({ values: { [label]: '<b>x</b>' } }) });
  check('a text holding markup is written', written.status === 200, written.status);
  const asText = await showsValue(page, label, '"<b>x</b>"');
  const elements = await page.evaluate(() => document.querySelectorAll('#tree .value b').length);
  check('a value holding markup is shown as text', asText && elements === 0, { asText, elements });
  await page.screenshot({ path: path.join(work, 'browser.png') });
  await page.close();
}

async function importError(page) {
  await page.select('#dict', 'broken');
  await page.waitForSelector('#info .error', WAIT);
  const error = await page.$eval('#info .error', (e) => e.textContent);
  check('a program that does not import shows its error', error.includes('broken.xml') && error.includes('malformed XML'), error);
}

// Opens a shared URL in a fresh page and waits for the path's row to be selected.
async function openShared(url, dict, rowPath) {
  const page = await browser.newPage();
  await page.setViewport({ width: 1280, height: 800 });
  page.on('pageerror', (error) => pageErrors.push(error.message));
  await page.goto(`${url}#${new URLSearchParams({ dict, path: rowPath })}`, WAIT);
  await page.waitForFunction((p) => document.querySelector('#tree .row.selected')?.dataset.path === p &&
    document.querySelector('#record h3')?.textContent === p, WAIT, rowPath);
  return page;
}

async function sharedUrls(url) {
  const deep = 'Line.Conveyors[2].Belt.Speed';
  const page = await openShared(url, 'production_line', deep);
  const open = await page.$$eval('#tree .row[aria-expanded="true"]', (rows) => rows.map((r) => r.dataset.path));
  check('a shared URL reopens the tree down to the path',
    open.join() === 'Line,Line.Conveyors,Line.Conveyors[2],Line.Conveyors[2].Belt', open);
  const record = await recordFields(page);
  check('a shared URL shows the record of its path', record.typeName === 'INT' && record.size === '2', record);
  await page.keyboard.press('ArrowLeft'); // from the leaf to its structure
  await page.keyboard.press('ArrowLeft'); // closes the structure
  const belt = await page.$eval('#tree .row:focus', (r) => [r.dataset.path, r.getAttribute('aria-expanded')]);
  check('arrow keys move to the parent and close it', belt.join() === 'Line.Conveyors[2].Belt,false', belt);
  await page.close();

  const paged = await openShared(url, 'big', 'Var250');
  check('a shared URL reaches a path on a later page', (await childPaths(paged, '')).includes('Var250'));
  await paged.close();
}

// A Modbus stand-in that takes every connection and closes it: each request to it fails.
async function droppingPlc() {
  const plc = net.createServer((socket) => socket.destroy());
  await new Promise((resolve) => plc.listen(0, '127.0.0.1', resolve));
  return plc;
}

async function plcState(folder) {
  const plc = await droppingPlc();
  try {
    const single = path.join(work, 'plc-programs');
    fs.rmSync(single, { recursive: true, force: true });
    fs.mkdirSync(single, { recursive: true });
    fs.copyFileSync(path.join(folder, 'production_line.xml'), path.join(single, 'production_line.xml'));
    // The broker's address is the dropping PLC's too: a publisher that never connects.
    const url = await startServer(single, '--modbus', `127.0.0.1:${plc.address().port}`, '--timeout', '500',
      '--mqtt', `127.0.0.1:${plc.address().port}`);
    const page = await browser.newPage();
    page.on('pageerror', (error) => pageErrors.push(error.message));
    await page.goto(url, WAIT);
    await page.waitForSelector('#plc:not([hidden])', WAIT);
    // A read the PLC fails, besides those of the value column.
    await page.evaluate(() => fetch('api/dictionaries/production_line/values?item=Status'));
    const failing = await page.waitForFunction(() => document.querySelector('#plc').dataset.state === 'failing', WAIT)
      .then(() => true, () => false);
    const badge = await page.$eval('#plc', (e) => e.textContent);
    check('the page shows a failing PLC beside the dictionary, with the reason',
      failing && badge.startsWith('PLC failing: ') && badge.includes('127.0.0.1'), badge);
    const option = await page.$eval('#dict option', (o) => o.textContent);
    check('the dictionary list names its PLC state', option.includes('PLC failing'), option);
    check('and its MQTT publisher, with no broker to reach', option.includes('MQTT offline'), option);
    await page.close();
  } finally {
    plc.close();
  }
}

// A service that asks a read token: the page asks for it once, then lists, browses and
// subscribes with it (the WebSocket carries it in its query).
async function readToken(folder) {
  const config = path.join(work, 'plant.toml');
  fs.writeFileSync(config, `[service]\nread_token = "reader"\n[program.line]\n` +
    `file = ${JSON.stringify(path.join(folder, 'production_line.xml'))}\n`);
  const url = await startServer(`--config=${config}`);
  const page = await browser.newPage();
  page.on('pageerror', (error) => pageErrors.push(error.message));
  await page.goto(url, WAIT);
  const why = await page.waitForSelector('#token-form:not([hidden])', WAIT).then(() =>
    page.$eval('#token-why', (e) => e.textContent), () => '');
  check('a service with a read token has the page ask for it', why.includes('read token'), why);
  await giveToken(page, 'reader');
  await page.waitForFunction(() => document.querySelectorAll('#dict option').length === 1, WAIT);
  await page.waitForFunction(() => [...document.querySelectorAll('#tree .row')].some((r) => r.dataset.path === 'Motor1'), WAIT);
  check('with the token the page lists, browses and subscribes', await socketOpen(page));
  await page.close();
}

async function main() {
  const folder = path.join(work, 'programs');
  writePrograms(folder);
  const url = await startServer(folder);
  browser = await puppeteer.launch({ executablePath: chromium, headless: true, timeout: 20000,
    args: ['--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage'] });
  const page = await browser.newPage();
  await page.setViewport({ width: 1280, height: 800 });
  page.on('pageerror', (error) => pageErrors.push(error.message));
  const traffic = await watchTraffic(page);
  await page.goto(url, WAIT);
  await dictionaryList(page);
  check('a dictionary on the memory image shows no PLC', await page.$eval('#plc', (e) => e.hidden));
  await moreFollowsContinuation(page);
  await valuesOnScreen(page, traffic);
  await structureAndResolve(page, url);
  await valueColumn(page);
  await importError(page);
  await sharedUrls(url);
  await editInPlace(await startServer(folder, '--writable', '--token', TOKEN));
  await plcState(folder);
  await readToken(folder);
  check('the page raised no script error', pageErrors.length === 0, pageErrors);
}

async function finish(code) {
  if (browser) await withTimeout(browser.close(), 5000, 'closing Chromium').catch(() => browser.process()?.kill('SIGKILL'));
  const stopped = await Promise.all(servers.map(stopServer));
  if (stopped.length && code === 0) check('varbank serve stops cleanly on SIGTERM', stopped.every((s) => s === 0), stopped);
  console.log(`page: ${passed} passed, ${failures.length} failed`);
  for (const failure of failures) console.log(`  ${failure}`);
  process.exit(failures.length || code ? 1 : 0);
}

const watchdog = setTimeout(() => {
  failures.push('the test did not end within 80 s');
  finish(1);
}, 80000);
process.on('SIGTERM', () => finish(1));

main().then(() => { clearTimeout(watchdog); return finish(0); }, (error) => {
  clearTimeout(watchdog);
  failures.push(error.stack || String(error));
  return finish(1);
});
