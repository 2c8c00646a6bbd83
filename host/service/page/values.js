// Live values in the symbol browser: a value cell on each leaf row, read for the rows on screen
// once a second while the tab is visible, and changed in place when the service takes writes.
// Values are arbitrary text: they enter the page through textContent and title only.
// Loaded before app.js, whose helpers ($, el, dictUrl) it uses once the page runs.
'use strict';

const VALUE_REFRESH_MS = 1000;
const VALUE_BATCH = 300; // names read per refresh at most
const NOTE_MS = 10000; // how long a refused write's reason stays beside its cell
const TOKEN_KEY = 'varbank.writeToken';
const INTEGER_TYPES = new Set(['SINT', 'INT', 'DINT', 'LINT', 'USINT', 'UINT', 'UDINT', 'ULINT',
  'BYTE', 'WORD', 'DWORD', 'LWORD']);
const REAL_TYPES = new Set(['REAL', 'LREAL']);

const live = {
  dict: null,
  writable: false,
  timer: null, // the next refresh, set only while the tab is visible
  reading: false, // a refresh is under way: the next one waits for it
  soon: false, // new cells came on screen during a refresh: read again at once
  observer: null,
  onScreen: new Set(), // value cells in or near the viewport
  detail: null, // the leaf whose record the side pane shows
  last: new Map(), // name -> its last read ({value, type, error})
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
  if (added) refreshSoon();
}

// Cells to read now: those on screen and still in the tree, at most VALUE_BATCH.
function cellsToRead() {
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

// ---- reading: one POST per refresh, never two at once

async function sendJson(method, path, body, token) {
  const headers = { Accept: 'application/json', 'Content-Type': 'application/json' };
  if (token) headers.Authorization = `Bearer ${token}`;
  const response = await fetch('api/' + path, { method, headers, body: JSON.stringify(body) });
  const reply = await response.json().catch(() => null);
  const reason = reply && reply.error ? reply.error : `HTTP ${response.status} ${response.statusText}`;
  return { status: response.status, ok: response.ok && reply !== null, reply, reason };
}

async function readValues() {
  const cells = cellsToRead();
  const names = [...new Set(cells.map((cell) => cell.dataset.name))];
  if (live.detail && !names.includes(live.detail)) names.push(live.detail);
  const dict = live.dict;
  if (!dict || names.length === 0) return;
  let results;
  try {
    const answer = await sendJson('POST', `${dictUrl(dict)}/values`, { items: names });
    results = answer.ok ? answer.reply.values : names.map(() => ({ error: answer.reason }));
  } catch (error) {
    results = names.map(() => ({ error: error.message }));
  }
  if (dict !== live.dict) return; // another dictionary was opened meanwhile
  names.forEach((name, i) => live.last.set(name, results[i]));
  for (const cell of cells) showValue(cell, live.last.get(cell.dataset.name));
  showDetailValue();
}

function stopRefresh() {
  clearTimeout(live.timer);
  live.timer = null;
}

function scheduleRefresh(delay) {
  if (live.timer !== null || live.reading || document.visibilityState !== 'visible') return;
  live.timer = setTimeout(refreshTick, delay);
}

async function refreshTick() {
  live.timer = null;
  live.reading = true;
  live.soon = false;
  try {
    await readValues();
  } finally {
    live.reading = false;
  }
  scheduleRefresh(live.soon ? 0 : VALUE_REFRESH_MS);
}

// Reads shortly, e.g. when rows come on screen, instead of at the next second.
function refreshSoon() {
  if (live.reading) {
    live.soon = true;
    return;
  }
  stopRefresh();
  scheduleRefresh(30);
}

function onVisibility() {
  if (document.visibilityState === 'visible') refreshSoon();
  else stopRefresh();
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
  refreshSoon();
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
  refreshSoon();
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
  refreshSoon();
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

function askToken(why) {
  $('token-why').textContent = why;
  $('token-form').hidden = false;
  $('token').value = '';
  $('token').focus();
  return new Promise((resolve) => live.tokenWaiters.push(resolve));
}

function giveToken(token) {
  if (token) sessionStorage.setItem(TOKEN_KEY, token);
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
  scheduleRefresh(VALUE_REFRESH_MS);
}
