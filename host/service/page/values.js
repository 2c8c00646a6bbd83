// Live values in the symbol browser: a value cell on each leaf row, subscribed over a WebSocket
// for the rows on screen while the tab is visible (the service sends a value when it changes),
// a short highlight on a value that just changed, and changes in place when the service takes
// writes. Values are arbitrary text: they enter the page through textContent and title only.
// Loaded before app.js, whose helpers ($, el, dictUrl) it uses once the page runs.
'use strict';

const SAMPLE_MS = 200; // the interval asked of the service
const SYNC_MS = 1000; // how often the rows on screen are compared with the subscription
const RECONNECT_MS = 2000;
const FLASH_MS = 800; // how long a changed value stays highlighted
const VALUE_BATCH = 300; // names subscribed at most
const NOTE_MS = 10000; // how long a refused write's reason stays beside its cell
const TOKEN_KEY = 'varbank.writeToken';
const READ_KEY = 'varbank.readToken'; // when the service asks one for every request

// The read token's header, when one was given.
function readHeaders() {
  const token = sessionStorage.getItem(READ_KEY);
  return token ? { Authorization: `Bearer ${token}` } : {};
}
const INTEGER_TYPES = new Set(['SINT', 'INT', 'DINT', 'LINT', 'USINT', 'UINT', 'UDINT', 'ULINT',
  'BYTE', 'WORD', 'DWORD', 'LWORD']);
const REAL_TYPES = new Set(['REAL', 'LREAL']);

const live = {
  dict: null,
  writable: false,
  socket: null, // the WebSocket of the open dictionary
  ready: false, // the socket is open
  reconnect: null, // the timer of the next connection attempt
  sync: null, // the timer of the next comparison
  subscribed: new Set(), // names the service sends
  observer: null,
  onScreen: new Set(), // value cells in or near the viewport
  detail: null, // the leaf whose record the side pane shows
  last: new Map(), // name -> its last value ({value, type, error})
  tokenWaiters: [], // writes waiting for the token field
};

// ---- the value cell of a leaf row

function valueCell(path) {
  const cell = el('span', 'value');
  cell.dataset.name = path;
  cell.append(el('span', 'v', '…'));
  live.observer.observe(cell);
  return cell;
}

function onCellsSeen(entries) {
  let added = false;
  for (const entry of entries) {
    if (entry.isIntersecting) {
      live.onScreen.add(entry.target);
      added = true;
    } else {
      live.onScreen.delete(entry.target);
    }
  }
  if (added) syncSoon();
}

const isText = (type) => /^W?STRING/i.test(type || '');

function valueText(result) {
  const { value, type } = result;
  if (typeof value === 'boolean') return value ? 'TRUE' : 'FALSE';
  if (typeof value === 'string') return isText(type) ? JSON.stringify(value) : value;
  if (value !== null && typeof value === 'object') return JSON.stringify(value);
  return String(value);
}

// Writes a read's outcome into target: the value, or a short mark with the reason as tooltip.
function showResult(target, result) {
  const failed = Boolean(result.error);
  target.classList.toggle('error', failed);
  target.textContent = failed ? '⚠ no value' : valueText(result);
  target.title = failed ? result.error : result.type || '';
}

function showValue(cell, result) {
  if (!result || cell.classList.contains('editing') || cell.classList.contains('pending')) return;
  showResult(cell.querySelector('.v'), result);
}

async function sendJson(method, path, body, token) {
  const headers = { Accept: 'application/json', 'Content-Type': 'application/json' };
  if (token) headers.Authorization = `Bearer ${token}`;
  else Object.assign(headers, readHeaders());
  const response = await fetch('api/' + path, { method, headers, body: JSON.stringify(body) });
  const reply = await response.json().catch(() => null);
  const reason = reply && reply.error ? reply.error : `HTTP ${response.status} ${response.statusText}`;
  return { status: response.status, ok: response.ok && reply !== null, reply, reason };
}

// ---- the subscription: one WebSocket per open dictionary, following the rows on screen

function socketUrl(dict) {
  const url = new URL(`api/${dictUrl(dict)}/subscribe`, location.href);
  url.protocol = url.protocol === 'https:' ? 'wss:' : 'ws:';
  // A browser's WebSocket cannot send a header: the read token goes in the query.
  const token = sessionStorage.getItem(READ_KEY);
  if (token) url.searchParams.set('access_token', token);
  return url.href;
}

function connect() {
  clearTimeout(live.reconnect);
  live.reconnect = null;
  if (!live.dict || document.visibilityState !== 'visible') return;
  const dict = live.dict;
  const socket = new WebSocket(socketUrl(dict));
  live.socket = socket;
  live.ready = false;
  live.subscribed.clear();
  socket.onopen = () => {
    if (live.socket !== socket) return;
    live.ready = true;
    syncSoon();
  };
  socket.onmessage = (event) => live.socket === socket && onMessage(event.data);
  socket.onclose = () => {
    if (live.socket !== socket) return;
    live.socket = null;
    live.ready = false;
    for (const cell of live.onScreen) showValue(cell, { error: 'the service closed the connection; reconnecting' });
    live.reconnect = setTimeout(connect, RECONNECT_MS);
  };
}

function disconnect() {
  clearTimeout(live.reconnect);
  live.reconnect = null;
  const socket = live.socket;
  live.socket = null;
  live.ready = false;
  live.subscribed.clear();
  if (socket) socket.close(1000);
}

function onMessage(data) {
  let message;
  try {
    message = JSON.parse(data);
  } catch {
    return;
  }
  if (Array.isArray(message.values)) showChanges(message.values);
  else if (message.error) console.warn(`subscription: ${message.error}`);
}

// Cells on screen and still in the tree, at most VALUE_BATCH.
function cellsToShow() {
  const cells = [];
  for (const cell of live.onScreen) {
    if (!cell.isConnected) {
      live.onScreen.delete(cell);
      live.observer.unobserve(cell);
    } else if (cells.length < VALUE_BATCH && cell.offsetParent !== null) {
      cells.push(cell);
    }
  }
  return cells;
}

// Subscribes what came on screen and unsubscribes what left it (a closed branch, a scroll).
function syncSubscription() {
  clearTimeout(live.sync);
  live.sync = setTimeout(syncSubscription, SYNC_MS);
  if (!live.ready) return;
  const wanted = new Set(cellsToShow().map((cell) => cell.dataset.name));
  if (live.detail) wanted.add(live.detail);
  const added = [...wanted].filter((name) => !live.subscribed.has(name));
  const gone = [...live.subscribed].filter((name) => !wanted.has(name));
  if (gone.length) live.socket.send(JSON.stringify({ unsubscribe: gone }));
  if (added.length) live.socket.send(JSON.stringify({ subscribe: added, intervalMs: SAMPLE_MS }));
  for (const name of gone) live.subscribed.delete(name);
  for (const name of added) {
    live.subscribed.add(name);
    live.last.delete(name); // its first value comes with the subscription
  }
}

// Compares shortly, e.g. when rows come on screen, instead of at the next second.
function syncSoon() {
  clearTimeout(live.sync);
  live.sync = setTimeout(syncSubscription, 30);
}

function showChanges(changes) {
  const byName = new Map();
  for (const change of changes) {
    const before = live.last.get(change.name);
    const changed = before !== undefined && (before.error !== change.error ||
      JSON.stringify(before.value) !== JSON.stringify(change.value));
    live.last.set(change.name, change);
    byName.set(change.name, changed);
  }
  for (const cell of live.onScreen) {
    const name = cell.dataset.name;
    if (!byName.has(name)) continue;
    showValue(cell, live.last.get(name));
    if (byName.get(name)) flash(cell);
  }
  showDetailValue();
}

// Marks a value that just changed; a change during the highlight starts it again.
function flash(cell) {
  cell.classList.remove('changed');
  void cell.offsetWidth; // restarts the animation
  cell.classList.add('changed');
  clearTimeout(cell.flashTimer);
  cell.flashTimer = setTimeout(() => cell.classList.remove('changed'), FLASH_MS);
}

function onVisibility() {
  if (document.visibilityState === 'visible') connect();
  else disconnect();
}

// ---- the side pane: the value of the selected leaf

// An elementary (EDT) record is a leaf; structures, arrays and blocks are not read whole.
const isLeafRecord = (record) => Boolean(record && record.resolved && record.kind === 'EDT');

// Adds a Value field to the record's field list when the record is a leaf; null forgets it.
function watchRecord(record, list) {
  live.detail = isLeafRecord(record) ? record.name : null;
  if (!live.detail || !list) return;
  const dd = el('dd', null, '…');
  dd.dataset.field = 'value';
  list.prepend(el('dt', null, 'Value'), dd);
  showDetailValue();
  syncSoon();
}

function showDetailValue() {
  const dd = document.querySelector('#record dd[data-field="value"]');
  const result = live.detail && live.last.get(live.detail);
  if (dd && result) showResult(dd, result);
}

// ---- in-place editing

function valuesOpened(name, info) {
  live.dict = name;
  live.writable = Boolean(info && info.writable);
  live.detail = null;
  live.last.clear();
  live.observer.disconnect(); // the old tree is gone; the new one's cells observe themselves
  live.onScreen.clear();
  $('value-hint').textContent = live.writable ? ' Double-click a value, or press F2, to change it.' : '';
  disconnect();
  connect();
}

const editableRow = (row) => live.writable && row && !row.dataset.branch && row.querySelector('.value');

function beginEdit(row) {
  const cell = editableRow(row);
  if (!cell || cell.classList.contains('editing') || cell.classList.contains('pending')) return;
  const result = live.last.get(cell.dataset.name) || {};
  const editor = editorFor(result);
  clearNote(cell);
  cell.classList.add('editing');
  cell.append(editor);
  editor.focus();
  if (editor.type !== 'checkbox') editor.select();
  editor.addEventListener('keydown', (event) => onEditorKey(event, cell, editor));
  editor.addEventListener('blur', () => endEdit(cell, editor));
  // clicks stay in the editor: the tree would select the row and take the focus
  for (const type of ['click', 'dblclick']) editor.addEventListener(type, (event) => event.stopPropagation());
}

// BOOL edits as a checkbox, anything else as text starting from the last value read.
function editorFor(result) {
  const editor = el('input', 'editor');
  editor.setAttribute('aria-label', 'New value');
  if (/^BOOL$/i.test(result.type || '')) {
    editor.type = 'checkbox';
    editor.checked = result.value === true;
  } else {
    editor.type = 'text';
    editor.spellcheck = false;
    editor.value = result.error || result.value === undefined || result.value === null ? '' : String(result.value);
  }
  return editor;
}

function onEditorKey(event, cell, editor) {
  event.stopPropagation(); // the tree's keys do not apply inside the editor
  if (event.key !== 'Enter' && event.key !== 'Escape') return;
  event.preventDefault();
  const value = editedValue(editor, live.last.get(cell.dataset.name) || {});
  endEdit(cell, editor);
  cell.closest('.row').focus();
  if (event.key === 'Enter') commitEdit(cell, value);
}

// Removing the focused editor fires its blur, which comes back here: the class says it is done.
function endEdit(cell, editor) {
  if (!cell.classList.contains('editing')) return;
  cell.classList.remove('editing');
  editor.remove();
}

// Numbers for the numeric types (and for names last read as a number, e.g. an enumeration
// without names); other text goes as a string, which the service reads as a literal of the
// name's type (16#FF, T#2s, an enumeration name) or refuses with its reason.
function editedValue(editor, last) {
  if (editor.type === 'checkbox') return editor.checked;
  const text = editor.value;
  const type = (last.type || '').toUpperCase();
  const number = text.trim() === '' ? NaN : Number(text);
  if (REAL_TYPES.has(type) && Number.isFinite(number)) return number;
  const integral = INTEGER_TYPES.has(type) || (!REAL_TYPES.has(type) && typeof last.value === 'number');
  return integral && Number.isSafeInteger(number) ? number : text;
}

async function commitEdit(cell, value) {
  const name = cell.dataset.name;
  cell.classList.add('pending');
  let refused;
  try {
    refused = await writeValue(name, value);
  } catch (error) {
    refused = error.message;
  }
  cell.classList.remove('pending');
  if (refused) showNote(cell, refused);
  // A write the service took comes back through the subscription; a refused one leaves the
  // value shown.
  showValue(cell, live.last.get(name));
}

// Writes one name; resolves to null when written, else to the reason. Asks for the token when
// none is kept, and again when the service refuses it.
async function writeValue(name, value) {
  const dict = live.dict;
  for (let why = 'Writing needs the service token.'; ;) {
    const token = sessionStorage.getItem(TOKEN_KEY) || (await askToken(why));
    if (!token) return 'not written: no token given';
    const answer = await sendJson('PUT', `${dictUrl(dict)}/values`, { values: { [name]: value } }, token);
    if (answer.status !== 401) return answer.ok ? answer.reply.values[0].error : answer.reason;
    sessionStorage.removeItem(TOKEN_KEY);
    why = 'The service refused the token; give it again.';
  }
}

// The reason goes under the value (without the name it starts with); the tooltip keeps it whole.
function showNote(cell, reason) {
  clearNote(cell);
  const prefix = `${cell.dataset.name}: `;
  const note = el('span', 'write-note', `✗ ${reason.startsWith(prefix) ? reason.slice(prefix.length) : reason}`);
  note.title = reason;
  cell.append(note);
  cell.classList.add('noted');
  setTimeout(() => note.isConnected && clearNote(cell), NOTE_MS);
}

function clearNote(cell) {
  for (const note of cell.querySelectorAll('.write-note')) note.remove();
  cell.classList.remove('noted');
}

// ---- the token field: asked once, kept in sessionStorage for the tab

// `key`: where the token given is kept (the write token's, or the read token's).
function askToken(why, key = TOKEN_KEY) {
  live.tokenKey = key;
  $('token-why').textContent = why;
  $('token-form').hidden = false;
  $('token').value = '';
  $('token').focus();
  return new Promise((resolve) => live.tokenWaiters.push(resolve));
}

function giveToken(token) {
  if (token) sessionStorage.setItem(live.tokenKey || TOKEN_KEY, token);
  $('token-form').hidden = true;
  const waiters = live.tokenWaiters.splice(0);
  for (const resolve of waiters) resolve(token);
}

function wireValues() {
  live.observer = new IntersectionObserver(onCellsSeen, { rootMargin: '40px' });
  document.addEventListener('visibilitychange', onVisibility);
  $('tree').addEventListener('dblclick', (event) => beginEdit(event.target.closest('.row')));
  $('token-form').addEventListener('submit', (event) => {
    event.preventDefault();
    if ($('token').value) giveToken($('token').value);
  });
  $('token-form').addEventListener('keydown', (event) => event.key === 'Escape' && giveToken(null));
  $('token-cancel').addEventListener('click', () => giveToken(null));
  $('tree').addEventListener('click', syncSoon); // a branch opened or closed
  $('tree').addEventListener('keydown', syncSoon);
  syncSubscription();
}
