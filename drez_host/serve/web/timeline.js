// drez-host serve --capture: the capture as a timeline. The calls come from
// /api/capture a page at a time and only those around the selected one are
// drawn, so a capture of 100,000 calls stays quick; the studio after the
// selected call comes from /api/state?call=N and is drawn by studio.js.
// Keys: ← and → step, n jumps to the next differing call. /?call=N opens at N.
'use strict';

const timeline = {
  total: 0,
  selected: 0,
  differing: [],   // indices of the calls where the replay differs
  pages: new Map(),  // page number -> its calls
  pageSize: 0,
  started: null,   // the capture's start, as a Date, when it says
};
const kShownAround = 20;  // calls drawn before and after the selected one
const kPage = 200;        // calls fetched at once

async function fetchJson(path) {
  const response = await fetch(path);
  const answer = await response.json().catch(() => ({ error: response.statusText }));
  if (!response.ok) throw new Error(answer.error || response.statusText);
  return answer;
}

async function callsFrom(from) {
  const page = Math.floor((from - 1) / timeline.pageSize);
  if (!timeline.pages.has(page)) {
    const answer = await fetchJson(`/api/capture?from=${page * timeline.pageSize + 1}&count=${timeline.pageSize}`);
    timeline.pages.set(page, answer.calls);
  }
  return timeline.pages.get(page);
}

async function call(index) {
  const calls = await callsFrom(index);
  return calls[(index - 1) % timeline.pageSize];
}

// "20261208-095105" and the call's milliseconds: the time of day; without
// a start, the time since the capture began.
function timeOf(ms) {
  const pad = (n, width) => String(n).padStart(width || 2, '0');
  if (timeline.started !== null) {
    const at = new Date(timeline.started.getTime() + ms);
    return `${pad(at.getHours())}:${pad(at.getMinutes())}:${pad(at.getSeconds())}.${pad(at.getMilliseconds(), 3)}`;
  }
  return `+${(ms / 1000).toFixed(3)} s`;
}

function startOf(text) {
  const parts = /^(\d{4})(\d{2})(\d{2})-(\d{2})(\d{2})(\d{2})$/.exec(text || '');
  if (parts === null) return null;
  const [, y, mo, d, h, mi, s] = parts.map(Number);
  return new Date(y, mo - 1, d, h, mi, s);
}

async function drawCalls() {
  const list = $('calls');
  const first = Math.max(1, timeline.selected - kShownAround);
  const last = Math.min(timeline.total, timeline.selected + kShownAround);
  const rows = [];
  for (let index = first; index <= last; ++index) {
    const shownCall = await call(index);
    rows.push(element('li', {
      id: `call-${index}`, value: index,
      className: (index === timeline.selected ? 'selected ' : '') + (shownCall.differs ? 'differs' : ''),
      title: shownCall.differs ? shownCall.differences.join('\n') : shownCall.text,
      onclick: () => select(index),
    }, element('span', { className: 'index' }, (shownCall.differs ? '≠ ' : '') + index),
       element('span', { className: 'time' }, timeOf(shownCall.time)),
       element('span', { className: 'kind' }, shownCall.kind),
       element('span', { className: 'text' }, shownCall.text)));
  }
  list.replaceChildren(...rows);
}

async function drawDetail() {
  const shownCall = await call(timeline.selected);
  $('call-title').textContent = `call ${shownCall.index} at ${timeOf(shownCall.time)}: ${shownCall.text}` +
                                (shownCall.result !== '' ? ` → ${shownCall.result}` : '');
  $('call-differences').replaceChildren(...shownCall.differences.map((text) => element('li', {}, text)));
  const table = $('call-commands');
  table.replaceChildren(element('tr', {}, element('th', {}, 'sent'), element('th', {}, 'host answered')));
  for (const line of shownCall.commands) {
    table.append(element('tr', { className: line.kind },
      element('td', { style: `padding-left: ${(line.depth - 1) * 16 + 4}px` }, line.text),
      element('td', {}, line.result)));
  }
  if (shownCall.commands.length === 0)
    table.append(element('tr', {}, element('td', { colspan: 2, className: 'inline' }, 'the panel sent nothing')));
}

async function select(index) {
  index = Math.min(Math.max(index, 1), timeline.total);
  timeline.selected = index;
  wantedCall = index;
  $('call-slider').value = index;
  $('call-position').textContent = `call ${index} of ${timeline.total}`;
  history.replaceState(null, '', `/?call=${index}`);
  try {
    const state = await fetchJson(`/api/state?call=${index}`);
    if (timeline.selected !== index) return;  // overtaken
    draw(state);
    await drawDetail();
    await drawCalls();
    document.body.dataset.call = index;
  } catch (error) {
    showStatus(error.message, true);
  }
}

function nextDifference() {
  const next = timeline.differing.find((index) => index > timeline.selected);
  if (next === undefined) {
    showStatus(timeline.differing.length === 0 ? 'the replay differs nowhere' : 'no difference after this call', false);
    return;
  }
  select(next);
}

async function openCapture() {
  let first;
  try {
    first = await fetchJson(`/api/capture?from=1&count=${kPage}`);
  } catch (error) {
    return;  // a live studio: no capture to show
  }
  const state = await fetchJson('/api/state');
  readOnly = true;
  document.body.classList.add('capture');
  $('timeline-section').hidden = false;
  timeline.total = first.total;
  timeline.differing = first.differing;
  timeline.pageSize = kPage;
  timeline.pages.set(0, first.calls);
  timeline.started = startOf(state.capture.started);
  $('capture-name').textContent = `${state.capture.file} (${state.capture.describe})`;
  const replay = state.capture.replay;
  $('replay-summary').textContent = replay === null ? '' :
    `replayed against ${replay.library}: ${replay.differences} differences in ${replay.differingCalls} calls`;
  $('replay-summary').className = replay !== null && replay.differences > 0 ? 'bad' : '';
  $('call-slider').max = Math.max(timeline.total, 1);
  if (timeline.total === 0) return;
  const asked = Number.parseInt(new URLSearchParams(location.search).get('call'), 10);
  select(Number.isInteger(asked) ? asked : 1);
}

$('call-slider').addEventListener('input', () => select(Number($('call-slider').value)));
$('call-previous').addEventListener('click', () => select(timeline.selected - 1));
$('call-next').addEventListener('click', () => select(timeline.selected + 1));
$('call-next-difference').addEventListener('click', nextDifference);
document.addEventListener('keydown', (event) => {
  if (timeline.total === 0 || event.target.tagName === 'INPUT' && event.target.type !== 'range') return;
  if (event.key === 'ArrowLeft') select(timeline.selected - 1);
  else if (event.key === 'ArrowRight') select(timeline.selected + 1);
  else if (event.key === 'n') nextDifference();
  else return;
  event.preventDefault();
});
openCapture();
