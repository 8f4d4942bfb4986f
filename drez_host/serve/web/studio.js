// drez-host serve: draws the studio from /api/state and /api/events, and
// turns every click into one scenario line sent to /api/step, so that the
// session can be saved as a scenario file and replayed.
'use strict';

const $ = (id) => document.getElementById(id);

function element(tag, attributes, ...children) {
  const node = document.createElement(tag);
  for (const [name, value] of Object.entries(attributes || {})) {
    if (name === 'className') node.className = value;
    else if (name.startsWith('on')) node.addEventListener(name.slice(2), value);
    else node.setAttribute(name, value);
  }
  for (const child of children) {
    if (child !== null && child !== undefined)
      node.append(child instanceof Node ? child : String(child));
  }
  return node;
}

function showStatus(text, isError) {
  const status = $('status');
  status.textContent = text;
  status.className = isError ? 'error' : '';
}

// Sends text as text/plain, anything else as JSON.
async function post(path, body) {
  const json = body !== undefined && typeof body !== 'string';
  const response = await fetch(path, {
    method: 'POST',
    headers: { 'Content-Type': json ? 'application/json' : 'text/plain' },
    body: json ? JSON.stringify(body) : body || '',
  });
  const answer = await response.json().catch(() => ({ error: response.statusText }));
  if (!response.ok) throw new Error(answer.error || response.statusText);
  return answer;
}

// Runs one scenario line as typed, or one action of the page (an object:
// the server writes its line); returns the answer, or null when refused.
async function step(lineOrAction) {
  try {
    const answer = await post('/api/step', lineOrAction);
    showStatus('ran: ' + answer.line, false);
    return answer;
  } catch (error) {
    showStatus(error.message, true);
    return null;
  }
}

function safely(build) {
  try {
    return build();
  } catch (error) {
    showStatus(error.message, true);
    return null;
  }
}

// The page's text fields are made once and put back on every redraw: a
// person typing in one keeps the field, its text and its focus while the
// studio changes. A field nobody has typed in shows the studio's value.
const fields = new Map();
const edited = new Set();
document.addEventListener('input', (event) => {
  if (event.target.id) edited.add(event.target.id);
});
function input(id, attributes, value) {
  let node = fields.get(id);
  if (node === undefined) {
    node = element('input', Object.assign({ id }, attributes));
    fields.set(id, node);
  }
  if (!edited.has(id)) node.value = value;
  return node;
}
function submitted(id) {
  edited.delete(id);
}
function onEnter(node, action) {
  node.onkeydown = (event) => {  // one handler, however often it is drawn
    if (event.key === 'Enter') action();
  };
  return node;
}

function drawLights(state) {
  const root = $('lights');
  root.replaceChildren();
  for (const device of state.lights) {
    const lamps = element('div', { className: 'lamps' });
    for (const lamp of device.lamps) {
      const kind = lamp.state === 0 ? 'off' : lamp.state === 1 ? 'on' : 'other';
      lamps.append(element('div', { className: 'lamp ' + kind, id: `lamp-${device.device}-${lamp.index}`,
                                    'data-state': lamp.state, title: `output ${lamp.index}: state ${lamp.state}` },
        element('div', { className: 'bulb' }, kind === 'other' ? lamp.state : ''), lamp.index));
    }
    root.append(element('div', { className: 'device-title' }, device.name,
                        element('small', {}, ` device ${device.device}`)), lamps);
  }
}

function drawPanels(state) {
  const root = $('panels');
  root.replaceChildren();
  for (const panel of state.panels) {
    const controls = element('div', { className: 'controls' });
    for (const control of panel.controls) {
      const known = control.colour !== null;
      const named = known && !control.colour.startsWith('#');
      const classes = ['control'];
      if (control.statesheet !== '') classes.push(known ? (named ? 'sheet-' + control.colour : 'sheet-hex') : 'sheet-unknown');
      const props = control.properties.filter(([name]) => name !== 'statesheet')
                                      .map(([name, value]) => `${name}=${value}`).join(' ');
      const button = element('button', {
        className: classes.join(' '), id: `control-${panel.id}-${control.id}`,
        'data-statesheet': control.statesheet, 'data-colour': known ? control.colour : '',
        title: `Click: control ${control.id} <command> panel ${panel.id}`,
        onclick: () => readOnly || safely(() => step({ step: 'control', control: control.id, command: $('control-command').value, panel: panel.id })),
      }, element('span', { className: 'id' }, control.id),
         control.statesheet !== '' ? element('span', { className: 'sheet' }, control.statesheet) : null,
         props !== '' ? element('span', { className: 'props' }, props) : null);
      if (known && !named) button.style.background = control.colour;
      controls.append(button);
    }
    root.append(element('div', { className: 'device-title' }, `panel ${panel.id}`,
                        element('small', {}, ` ${panel.file}`)), controls);
  }
  if (state.panels.length === 0) root.append(element('p', { className: 'inline' }, 'no panel loaded'));
}

function drawRouters(state) {
  const root = $('routers');
  root.replaceChildren();
  for (const router of state.routers) {
    const names = new Map(router.sources.map((source) => [source.source, source.name]));
    const table = element('table', {}, element('tr', {}, element('th', {}, 'destination'),
                                            element('th', {}, 'source'), element('th', {}, 'name')));
    for (const route of router.destinations) {
      table.append(element('tr', { id: `route-${router.device}-${route.destination}` },
        element('td', {}, route.destination), element('td', {}, route.source), element('td', {}, route.name)));
    }
    const prefix = `route-${router.device}`;
    const send = () => safely(() => {
      const destination = $(prefix + '-destination').value.trim();
      const source = $(prefix + '-source').value.trim();
      submitted(prefix + '-destination');
      submitted(prefix + '-source');
      return step({ step: 'route', router: router.name, destination, source });
    });
    const sources = element('datalist', { id: prefix + '-names' });
    for (const [source, name] of names) sources.append(element('option', { value: source }, name));
    const first = router.destinations.length > 0 ? router.destinations[0].destination : 1;
    root.append(element('div', { className: 'device-title' }, router.label,
                        element('small', {}, ` device ${router.device}`)), table,
      element('div', { className: 'row' },
        element('label', {}, 'destination ', onEnter(input(prefix + '-destination', { type: 'number', min: 1, max: router.size }, first), send)),
        element('label', {}, 'source ', onEnter(input(prefix + '-source', { list: prefix + '-names', size: 6 }, ''), send)),
        sources,
        element('button', { id: prefix + '-send', onclick: send }, 'Route')));
  }
}

function drawInfodrivers(state) {
  const root = $('infodrivers');
  root.replaceChildren();
  for (const infodriver of state.infodrivers) {
    const table = element('table', { className: 'slots' },
      element('tr', {}, element('th', {}, 'slot'), element('th', {}, 'text'), element('th', {}, 'new text')));
    for (const slot of infodriver.slots) {
      const id = `slot-${infodriver.device}-${slot.slot}`;
      const send = () => safely(() => {
        const text = $(id).value;
        submitted(id);
        return step({ step: 'set', infodriver: infodriver.name, slot: slot.slot, text });
      });
      table.append(element('tr', {},
        element('td', {}, slot.slot),
        element('td', { id: id + '-text' }, JSON.stringify(slot.text)),
        element('td', {}, onEnter(input(id, { size: 8 }, slot.text), send),
                element('button', { id: `set-${infodriver.device}-${slot.slot}`, onclick: send }, 'Set'))));
    }
    root.append(element('div', { className: 'device-title' }, infodriver.label,
                        element('small', {}, ` device ${infodriver.device}`)), table);
  }
}

function drawHeader(state) {
  $('library').textContent = state.library.path + (state.library.loaded ? '' : ' (not loaded)');
  const counts = state.counts;
  const count = (n, what) => element('span', { className: n > 0 ? 'bad' : '' }, `${n} ${what}`);
  $('counts').replaceChildren(count(counts.errors, 'contract errors'),
                              count(counts.expectationsNotMet, 'expectations not met'),
                              element('span', {}, `${counts.warnings} warnings`));
  const scripts = $('scripts');
  scripts.replaceChildren();
  for (const script of state.scripts) {
    const registered = script.registrations.length > 0 ? 'registered ' + script.registrations.join(', ') : 'nothing registered';
    scripts.append(element('li', {}, `${script.name}: ${registered}${script.detached ? ' (detached)' : ''}`));
  }
  if (state.scripts.length === 0) scripts.append(element('li', {}, '(no script)'));
}

function drawTrace(state) {
  const trace = $('trace');
  const atEnd = trace.scrollTop + trace.clientHeight >= trace.scrollHeight - 4;
  trace.replaceChildren(...state.trace.map((line) =>
    element('div', { className: line.kind, 'data-number': line.number }, line.text === '' ? ' ' : line.text)));
  if (atEnd) trace.scrollTop = trace.scrollHeight;
  $('session').textContent = state.session;
}

// A capture shown call by call (timeline.js): only the selected call's
// studio is drawn, and nothing on the page changes it.
let wantedCall = null;
let readOnly = false;

let shown = -1;
function draw(state) {
  if (wantedCall !== null && state.call !== wantedCall) return;
  if (state.version < shown) return;  // an answer overtaken by a newer one
  shown = state.version;
  // Taking a field out of the page to put it back loses its focus.
  const focused = fields.get(document.activeElement ? document.activeElement.id : '');
  const caret = focused !== undefined && focused.type === 'text'
                    ? [focused.selectionStart, focused.selectionEnd] : null;
  drawHeader(state);
  // Only what the installation has: no lights without output devices.
  $('lights-section').hidden = state.lights.length === 0;
  $('panels-section').hidden = state.panels.length === 0;
  $('routers-section').hidden = state.routers.length === 0;
  $('infodrivers-section').hidden = state.infodrivers.length === 0;
  $('step-line').placeholder = state.placeholder;
  $('crash').hidden = !state.crashed;
  $('crash').textContent = state.crashed || '';
  drawLights(state);
  drawPanels(state);
  drawRouters(state);
  drawInfodrivers(state);
  drawTrace(state);
  if (focused !== undefined && focused.isConnected && document.activeElement !== focused) {
    focused.focus();
    if (caret !== null) focused.setSelectionRange(caret[0], caret[1]);
  }
  document.body.dataset.version = state.version;
}

async function refresh() {
  const response = await fetch('/api/state');
  if (response.ok) draw(await response.json());
}

function form(id, action) {
  $(id).addEventListener('submit', (event) => {
    event.preventDefault();
    safely(action);
  });
}

form('request-form', async () => {
  const text = $('request-text').value;
  submitted('request-text');
  const answer = await step({ step: 'request', text });
  if (answer === null) return;
  $('request-reply').textContent = answer.reply === null ? 'no reply' : JSON.stringify(answer.reply);
});
form('event-form', () => step({ step: 'event', id: $('event-id').value.trim() }));
form('step-form', async () => {
  const line = $('step-line').value;
  submitted('step-line');
  if ((await step(line)) !== null) $('step-line').value = '';
});
$('restart').addEventListener('click', async () => {
  try {
    await post('/api/restart');
    showStatus('the script was restarted from the panel library on disk', false);
  } catch (error) {
    showStatus(error.message, true);
  }
});

const events = new EventSource('/api/events');
events.addEventListener('state', (event) => draw(JSON.parse(event.data)));
events.addEventListener('error', () => showStatus('lost the connection to drez-host; retrying', true));
refresh();
