// The symbol browser: picks a dictionary, browses its name space page by page, resolves names;
// values.js adds the live value column.
// Names and comments are arbitrary text, so everything from the server enters the page through
// textContent or dataset, never as markup.
'use strict';

const PAGE_SIZE = 200; // children read per request; a large program opens a page at a time
const SEEK_PAGES = 25; // pages read at one level to reach a path given in the URL
const STAMP_POLL_MS = 15000;
const PLC_POLL_MS = 5000; // the PLC state beside the dictionary's name

const state = {
  dict: null, // the open dictionary's name
  listing: new Map(), // name -> entry of the dictionary list
  stamp: null,
  filters: { pattern: '', kind: 'all', type: '' },
  opened: 0, // counts openings, so that a slow one gives way to a later one
  resolving: 0,
};
const $ = (id) => document.getElementById(id);

function el(tag, className, text) {
  const node = document.createElement(tag);
  if (className) node.className = className;
  if (text !== undefined && text !== null) node.textContent = String(text);
  return node;
}

// GET api/PATH; resolves to the JSON body, rejects with the server's reason on an error. A
// service that asks a read token gets it from the token field, asked once per tab.
async function api(path) {
  for (let why = 'This service asks for its read token.'; ;) {
    const sent = sessionStorage.getItem(READ_KEY);
    const response = await fetch('api/' + path, { headers: { Accept: 'application/json', ...readHeaders() } });
    const body = await response.json().catch(() => null);
    const reason = body && body.error ? body.error : `HTTP ${response.status} ${response.statusText}`;
    if (response.status === 401) {
      if (sessionStorage.getItem(READ_KEY) !== sent) continue; // given meanwhile: try it
      sessionStorage.removeItem(READ_KEY);
      if (!(await askToken(why, READ_KEY))) throw new Error(reason);
      why = 'The service refused the token; give it again.';
      continue;
    }
    if (!response.ok || body === null) throw new Error(reason);
    return body;
  }
}

const dictUrl = (name) => 'dictionaries/' + encodeURIComponent(name);

function showStatus(text, isError) {
  const status = $('status');
  status.hidden = !text;
  status.textContent = text || '';
  status.classList.toggle('error', Boolean(isError));
}

// ---- the URL: #dict=NAME&path=ITEM, so a view can be shared and reopened

function readHash() {
  const params = new URLSearchParams(location.hash.slice(1));
  return { dict: params.get('dict'), path: params.get('path') || '' };
}

function writeHash(path) {
  const params = new URLSearchParams();
  if (state.dict) params.set('dict', state.dict);
  if (path) params.set('path', path);
  const hash = '#' + params.toString();
  if (location.hash !== hash) history.replaceState(null, '', hash);
}

// "Line.Conveyors[2].Belt" -> ["Line", "Line.Conveyors", "Line.Conveyors[2]", "Line.Conveyors[2].Belt"]
function pathSteps(path) {
  const steps = [];
  for (let i = 1; i < path.length; i++) {
    if (path[i] === '.' || path[i] === '[') steps.push(path.slice(0, i));
  }
  steps.push(path);
  return steps;
}

const sameName = (a, b) => a === b || a.toUpperCase() === b.toUpperCase();

// ---- dictionaries

async function loadDictionaries() {
  const list = await api('dictionaries');
  state.listing = new Map(list.map((entry) => [entry.name, entry]));
  const select = $('dict');
  select.replaceChildren(...list.map(dictOption));
}

function dictOption(entry) {
  const label = entry.error ? `${entry.name} — does not import` : `${entry.name} (${entry.variables} variables)`;
  const mqtt = entry.mqtt ? ` — MQTT ${entry.mqtt.connected ? 'connected' : 'offline'}` : '';
  const option = el('option', entry.error ? 'broken' : null, label + (entry.plc ? ` — PLC ${entry.plc.state}` : '') + mqtt);
  option.value = entry.name;
  return option;
}

// The open dictionary's PLC: its state, and why when it fails; hidden on the memory image.
function showPlc() {
  const entry = state.listing.get(state.dict);
  const plc = entry && entry.plc;
  const badge = $('plc');
  badge.hidden = !plc;
  if (!plc) return;
  badge.className = `plc ${plc.state}`;
  badge.dataset.state = plc.state;
  badge.title = plc.name === plc.endpoint ? plc.endpoint : `${plc.name} (${plc.endpoint})`;
  const why = plc.state === 'failing' && plc.lastError ? `: ${plc.lastError}` : '';
  badge.textContent = `PLC ${plc.state}${why}`;
}

// Reads the listing again for the PLCs' states, keeping the list's selection.
async function pollPlcs() {
  if (![...state.listing.values()].some((entry) => entry.plc || entry.mqtt)) return;
  try {
    const list = await api('dictionaries');
    state.listing = new Map(list.map((entry) => [entry.name, entry]));
    for (const option of $('dict').options) {
      const entry = state.listing.get(option.value);
      if (entry) option.textContent = dictOption(entry).textContent;
    }
    showPlc();
  } catch (error) {
    // The next refresh or stamp poll reports a service that does not answer.
  }
}

async function openDictionary(name, path) {
  const opened = ++state.opened; // a later opening makes this one stop
  state.dict = name;
  state.stamp = null;
  document.title = `${name} — varbank symbol browser`;
  $('dict').value = name;
  $('record').replaceChildren();
  $('tree').replaceChildren();
  const entry = state.listing.get(name);
  showStamp(entry && entry.stamp);
  showPlc();
  if (!entry || entry.error) {
    const reason = entry ? entry.error : `no dictionary named ${name}`;
    $('tree').append(el('p', 'note error', `Not in service: ${reason}`));
    showInfo(null, reason);
    valuesOpened(null, null);
    writeHash('');
    return;
  }
  writeHash(path);
  const info = await api(dictUrl(name));
  if (opened !== state.opened) return;
  showInfo(info, info.error);
  showStamp(info.stamp);
  valuesOpened(name, info);
  const root = newGroup(0);
  $('tree').append(root);
  await loadPage(root, '', null);
  const first = root.querySelector('.row');
  if (first) first.tabIndex = 0;
  if (path) await revealPath(root, path);
}

function showStamp(stamp) {
  state.stamp = stamp || null;
  $('stamp').textContent = stamp || '—';
}

const INFO_FIELDS = [['project', 'Project'], ['file', 'File'], ['variables', 'Variables'],
  ['structures', 'Structures'], ['functionBlocks', 'Function blocks'], ['arrays', 'Arrays'],
  ['members', 'Members'], ['words', 'Words'], ['bits', 'Bits'], ['memory', 'Memory'], ['writes', 'Writes']];

function showInfo(info, error) {
  const box = $('info');
  box.replaceChildren();
  if (error) box.append(el('p', 'error', error));
  if (info) box.append(fieldList(INFO_FIELDS, { ...info, writes: info.writable ? 'allowed' : 'off' }));
}

function fieldList(fields, record) {
  const list = el('dl', 'fields');
  for (const [key, label] of fields) {
    const value = record[key];
    const dd = el('dd', null, value === null || value === undefined || value === '' ? '—' : value);
    dd.dataset.field = key;
    list.append(el('dt', null, label), dd);
  }
  return list;
}

// ---- the tree: ul.group > li.node > div.row (+ ul.group once opened); a row's cells are a CSS
// grid (name, address, type, comment); a leaf's value cell follows the comment.

function newGroup(depth) {
  const group = el('ul', 'group');
  group.setAttribute('role', depth === 0 ? 'tree' : 'group');
  group.dataset.depth = String(depth);
  return group;
}

function browseUrl(path, continuation) {
  const query = new URLSearchParams({ pageSize: String(PAGE_SIZE), columns: 'ACT', kind: state.filters.kind });
  if (path) query.set('path', path);
  if (continuation) query.set('continuation', continuation);
  if (state.filters.pattern) query.set('pattern', state.filters.pattern);
  if (state.filters.type) query.set('type', state.filters.type);
  return `${dictUrl(state.dict)}/browse?${query}`;
}

// Appends one page of path's children to group, then a "more..." row when more follow.
async function loadPage(group, path, continuation) {
  const waiting = el('li', 'note', 'loading…');
  group.append(waiting);
  try {
    const page = await api(browseUrl(path, continuation));
    const depth = Number(group.dataset.depth);
    group.append(...page.children.map((child) => nodeItem(child, depth)));
    if (page.continuation) group.append(moreItem(path, page.continuation, depth));
    if (!group.querySelector('.row')) group.append(el('li', 'note', 'no entries'));
  } catch (error) {
    group.append(el('li', 'note error', error.message));
  } finally {
    waiting.remove();
  }
}

function nodeItem(child, depth) {
  const item = el('li', 'node');
  const row = el('div', 'row');
  row.setAttribute('role', 'treeitem');
  row.tabIndex = -1;
  row.dataset.path = child.path;
  if (child.hasChildren) {
    row.dataset.branch = '1';
    row.setAttribute('aria-expanded', 'false');
  }
  const name = el('span', 'name');
  name.style.setProperty('--depth', String(depth));
  name.append(el('span', 'twisty', child.hasChildren ? '▸' : ''), el('span', 'label', child.name));
  row.append(name, el('span', 'addr', child.address || ''), el('span', 'type', child.type || ''),
    el('span', 'comment', child.comment || ''));
  if (!child.hasChildren) row.append(valueCell(child.path));
  row.title = child.path;
  item.append(row);
  return item;
}

function moreItem(path, continuation, depth) {
  const item = el('li', 'node');
  const row = el('div', 'row more');
  row.tabIndex = -1;
  row.dataset.parent = path;
  row.dataset.continuation = continuation;
  const name = el('span', 'name');
  name.style.setProperty('--depth', String(depth));
  name.append(el('span', 'twisty'), el('span', 'label', `more… (next ${PAGE_SIZE} from ${continuation})`));
  row.append(name);
  item.append(row);
  return item;
}

// Replaces a "more..." row with the next page; keyboard focus moves to the page's first row.
async function loadMore(row) {
  const group = row.closest('ul');
  const next = row.dataset.continuation;
  const hadFocus = document.activeElement === row;
  const before = group.children.length - 1;
  row.parentElement.remove();
  await loadPage(group, row.dataset.parent, next);
  const first = group.children[before] && group.children[before].querySelector('.row');
  if (hadFocus && first) focusRow(first);
}

// Opens or closes a branch row; the first opening reads its first page.
async function setOpen(row, open) {
  if (!row.dataset.branch) return;
  const item = row.parentElement;
  let group = item.querySelector(':scope > ul');
  row.setAttribute('aria-expanded', String(open));
  row.querySelector('.twisty').textContent = open ? '▾' : '▸';
  if (group) {
    group.hidden = !open;
  } else if (open) {
    group = newGroup(Number(row.closest('ul').dataset.depth) + 1);
    item.append(group);
    await loadPage(group, row.dataset.path, null);
  }
}

const isOpen = (row) => row.getAttribute('aria-expanded') === 'true';

function focusRow(row) {
  for (const other of $('tree').querySelectorAll('.row[tabindex="0"]')) other.tabIndex = -1;
  row.tabIndex = 0;
  row.focus();
}

// Marks row as the open path, puts it in the URL and shows its physical record.
function selectRow(row) {
  for (const other of $('tree').querySelectorAll('.row.selected')) {
    other.classList.remove('selected');
    other.removeAttribute('aria-selected');
  }
  row.classList.add('selected');
  row.setAttribute('aria-selected', 'true');
  writeHash(row.dataset.path);
  resolve(row.dataset.path);
}

async function activate(row) {
  focusRow(row);
  if (row.classList.contains('more')) return loadMore(row);
  selectRow(row);
  return setOpen(row, !isOpen(row));
}

// Finds the row of path among group's children, reading further pages when needed.
async function findRow(group, path) {
  for (let pages = 0; pages < SEEK_PAGES; pages++) {
    const rows = group.querySelectorAll(':scope > li > .row:not(.more)');
    const found = Array.from(rows).find((row) => sameName(row.dataset.path, path));
    if (found) return found;
    const more = group.querySelector(':scope > li > .row.more');
    if (!more) return null;
    await loadMore(more);
  }
  return null;
}

// Opens the tree down to path (e.g. from a shared URL) and selects it.
async function revealPath(root, path) {
  let group = root;
  let row = null;
  for (const step of pathSteps(path)) {
    row = group && (await findRow(group, step));
    if (!root.isConnected) return; // another dictionary or filter was opened meanwhile
    if (!row) {
      showStatus(`${step} is not listed here (check the filters, or it is further down the list)`, true);
      return;
    }
    await setOpen(row, true);
    group = row.parentElement.querySelector(':scope > ul');
  }
  if (!root.isConnected) return;
  focusRow(row);
  const tree = $('tree'); // scroll the tree alone, not the page
  tree.scrollTop = row.offsetTop - tree.clientHeight / 2;
  selectRow(row);
}

// Arrow keys move between visible rows; Right opens, Left closes or goes to the parent.
function onTreeKey(event) {
  const row = event.target.closest('.row');
  if (!row) return;
  const rows = Array.from($('tree').querySelectorAll('.row')).filter((r) => r.offsetParent !== null);
  const index = rows.indexOf(row);
  const go = (target) => target && focusRow(target);
  const parentItem = row.closest('ul').closest('li');
  const parentRow = parentItem && parentItem.querySelector(':scope > .row');
  const moves = {
    ArrowDown: () => go(rows[index + 1]),
    ArrowUp: () => go(rows[index - 1]),
    ArrowRight: () => (row.dataset.branch && !isOpen(row) ? setOpen(row, true) : go(rows[index + 1])),
    ArrowLeft: () => (isOpen(row) ? setOpen(row, false) : go(parentRow)),
    Enter: () => activate(row).then(() => beginEdit(row)), // a leaf opens its value for editing
    ' ': () => activate(row),
    F2: () => beginEdit(row),
  };
  if (!moves[event.key]) return;
  event.preventDefault();
  moves[event.key]();
}

// ---- resolving a name to its physical record

const RECORD_FIELDS = [['address', 'Address'], ['block', 'Block'], ['offset', 'Offset'], ['size', 'Size'],
  ['bit', 'Bit'], ['typeName', 'Type'], ['typeCode', 'Type code'], ['kind', 'Kind'], ['info', 'Info'],
  ['comment', 'Comment']];

async function resolve(name) {
  const box = $('record');
  if (!name || !state.dict) return;
  const asked = ++state.resolving; // only the last question's answer is shown
  watchRecord(null);
  box.replaceChildren(el('p', 'note', `resolving ${name}…`));
  try {
    const reply = await api(`${dictUrl(state.dict)}/resolve?${new URLSearchParams({ item: name })}`);
    if (asked === state.resolving) showRecord(reply.results[0]);
  } catch (error) {
    if (asked === state.resolving) box.replaceChildren(el('p', 'error', error.message));
  }
}

function showRecord(result) {
  const box = $('record');
  const title = el('h3', result.resolved ? 'ok' : 'error', result.name);
  box.replaceChildren(title);
  if (!result.resolved) {
    box.append(el('p', 'error', `not resolved: ${result.reason}`));
    return;
  }
  const list = fieldList(RECORD_FIELDS, result);
  box.append(list);
  watchRecord(result, list);
}

// ---- refreshing and the stamp

async function refresh() {
  showStatus('');
  try {
    await loadDictionaries();
    const wanted = readHash();
    const name = state.listing.has(wanted.dict) ? wanted.dict : state.listing.keys().next().value;
    if (name !== undefined) await openDictionary(name, name === wanted.dict ? wanted.path : '');
    else showStatus('The service holds no dictionary.', false);
  } catch (error) {
    showStatus(`Cannot read the dictionaries: ${error.message}`, true);
  }
}

// The service reloads a dictionary when its file changes: tell the user when the stamp moves.
async function pollStamp() {
  if (!state.dict || !state.stamp) return;
  try {
    const reply = await api(`${dictUrl(state.dict)}/stamp`);
    if (reply.stamp !== state.stamp) showStatus('The dictionary was reloaded (new stamp): press Refresh.', true);
  } catch (error) {
    showStatus(`${state.dict}: ${error.message}`, true);
  }
}

function readFilters() {
  state.filters = { pattern: $('pattern').value.trim(), kind: $('kind').value, type: $('type').value };
}

function wire() {
  $('dict').addEventListener('change', () => {
    showStatus('');
    openDictionary($('dict').value, '').catch((error) => showStatus(error.message, true));
  });
  $('refresh').addEventListener('click', refresh);
  $('filters').addEventListener('submit', (event) => {
    event.preventDefault();
    readFilters();
    openDictionary(state.dict, '').catch((error) => showStatus(error.message, true));
  });
  $('clear').addEventListener('click', () => {
    $('filters').reset();
    $('filters').requestSubmit();
  });
  $('search').addEventListener('submit', (event) => {
    event.preventDefault();
    resolve($('item').value.trim());
  });
  $('tree').addEventListener('click', (event) => {
    const row = event.target.closest('.row');
    if (row) activate(row);
  });
  $('tree').addEventListener('keydown', onTreeKey);
  window.addEventListener('hashchange', refresh);
  setInterval(pollStamp, STAMP_POLL_MS);
  setInterval(pollPlcs, PLC_POLL_MS);
  wireValues();
}

wire();
refresh();
