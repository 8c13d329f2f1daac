// The front panel page: it draws the state the panel sends over its channel and sends back, as
// control-socket command lines, what the user did. The panel decides everything, so the page
// never shows a setting the chip was not sent.
'use strict';

const byId = (id) => document.getElementById(id);
const form = byId('controls');
const thumbWidth = 14; // px, as panel.css draws the sliders' handle
const grooveStep = 5; // positions a click on a slider's groove moves it, as in the window

let channel = null;
let failed = false;
let lastState = {};
let retryDelay = 250; // ms before the next reconnect; doubles up to 8 s

function send(line) {
  if (channel && channel.readyState === WebSocket.OPEN) {
    channel.send(line);
  }
}

function setEnabled(enabled) {
  for (const control of form.querySelectorAll('input, button')) {
    control.disabled = !enabled;
  }
}

// ---- Sliders -----------------------------------------------------------------------------
// Each slider sends every position between the last one it sent and where it now stands, one
// command a position, in order. A state message moves it only when the user is not dragging
// it and the panel has caught up with the positions it sent, so neither a drag nor a held key
// is pulled back to a position already passed.

const sliders = [byId('monovol'), byId('rightvol')];
for (const slider of sliders) {
  slider.track = {sent: 0, latest: 0, dragging: false, awaiting: false, timer: 0, repeat: 0};
}

function settle(slider) {
  const track = slider.track;
  if (!track.dragging && !track.awaiting) {
    slider.value = track.latest;
    track.sent = track.latest;
  }
}

function follow(slider) {
  const track = slider.track;
  const to = Number(slider.value);
  const step = to > track.sent ? 1 : -1;
  if (to === track.sent) {
    return;
  }
  while (track.sent !== to) {
    track.sent += step;
    send(`${slider.name} ${track.sent}`);
  }
  // Should an echo never come (a change from elsewhere crossed ours), the latest state wins.
  track.awaiting = true;
  clearTimeout(track.timer);
  track.timer = setTimeout(() => {
    track.awaiting = false;
    settle(slider);
  }, 1000);
}

function showPosition(slider, position) {
  slider.track.latest = position;
  if (position === slider.track.sent) {
    slider.track.awaiting = false;
  }
  settle(slider);
}

function moveBy(slider, positions) {
  slider.value = Number(slider.value) + positions; // clamped to 0..31 by the input itself
  follow(slider);
}

// The window's key rules: arrows move 1 position (natively), Page Up and Page Down 5, Home and
// End nothing, so no single key press jumps a volume from one end to the other.
function onKey(event) {
  const moves = {PageUp: grooveStep, PageDown: -grooveStep, Home: 0, End: 0};
  if (event.key in moves) {
    event.preventDefault();
    moveBy(event.target, moves[event.key]);
  }
}

// A press on the handle drags it; a press on the groove beside it moves 5 positions towards
// the pointer, then 5 more every 50 ms after 500 ms while held, never past the pointer.
function onPress(event) {
  if (event.button !== 0) {
    return; // the window's sliders take no other button either
  }
  const slider = event.target;
  const track = slider.track;
  const box = slider.getBoundingClientRect();
  const span = box.width - thumbWidth;
  const handle = box.left + thumbWidth / 2 + (Number(slider.value) / 31) * span;
  if (Math.abs(event.clientX - handle) <= thumbWidth / 2 + 2) {
    track.dragging = true;
    return;
  }
  event.preventDefault();
  slider.focus();
  const target = Math.round(((event.clientX - box.left - thumbWidth / 2) / span) * 31);
  const stepTowards = () => {
    const gap = target - Number(slider.value);
    moveBy(slider, Math.sign(gap) * Math.min(Math.abs(gap), grooveStep));
  };
  stepTowards();
  track.repeat = setTimeout(() => {
    track.repeat = setInterval(stepTowards, 50);
  }, 500);
}

function onRelease() {
  for (const slider of sliders) {
    clearTimeout(slider.track.repeat);
    clearInterval(slider.track.repeat);
    if (slider.track.dragging) {
      slider.track.dragging = false;
      settle(slider);
    }
  }
}

for (const slider of sliders) {
  slider.addEventListener('input', () => follow(slider));
  slider.addEventListener('keydown', onKey);
  slider.addEventListener('mousedown', (event) => {
    if (!slider.track.dragging) {
      event.preventDefault(); // a press on the groove: no jump to the pointer
    }
  });
  slider.addEventListener('pointerdown', onPress);
}
window.addEventListener('pointerup', onRelease);
window.addEventListener('pointercancel', onRelease);

// ---- Options and DEFAULT -----------------------------------------------------------------
// A click selects an option (the mouse, Space, or an arrow key within its group); clicking the
// selected one sends it again, as in the window, where it repeats its write.

for (const option of form.querySelectorAll('input[type=radio]')) {
  option.addEventListener('click', () => send(`${option.name} ${option.value}`));
}
byId('RESET').addEventListener('click', () => send('default'));

// ---- The channel -------------------------------------------------------------------------

function showState(state) {
  lastState = state;
  for (const [id, value] of Object.entries(state)) {
    const control = byId(id);
    if (!control) {
      continue;
    }
    if (control.type === 'radio') {
      control.checked = value;
    } else if (control.type === 'range') {
      showPosition(control, value);
    } else {
      control.value = value;
    }
  }
  byId('error').hidden = true;
  setEnabled(!failed);
}

function showList(id, items, asLinks) {
  const list = byId(id);
  list.replaceChildren();
  for (const item of items && items.length ? items : ['none']) {
    const link = asLinks && item !== 'none';
    const entry = document.createElement('li');
    const text = document.createElement(link ? 'a' : 'code');
    text.textContent = item;
    if (link) {
      text.href = item;
    }
    entry.append(text);
    list.append(entry);
  }
}

function showIdentity(identity) {
  for (const field of ['manufacturer', 'model', 'serial', 'firmware', 'host']) {
    byId(field).textContent = identity[field] || '';
  }
  showList('addresses', identity.addresses, true);
  showList('resources', identity.resources, false);
}

function showFailure(message) {
  failed = true;
  byId('failure').textContent = `The port failed: ${message}`;
  byId('failure').hidden = false;
  setEnabled(false);
}

function receive(message) {
  if (message.identity) {
    showIdentity(message.identity);
  }
  if (message.state) {
    showState(message.state);
  }
  if (message.failure) {
    showFailure(message.failure);
  }
  if (message.error) {
    byId('error').textContent = message.error;
    byId('error').hidden = false;
    showState(lastState); // the refused change wrote nothing: show the setting as it was
  }
}

function connect() {
  const url = new URL('/channel', location.href);
  url.protocol = location.protocol === 'https:' ? 'wss:' : 'ws:';
  channel = new WebSocket(url);
  channel.addEventListener('open', () => {
    retryDelay = 250;
    failed = false;
    byId('lost').hidden = true;
    byId('failure').hidden = true;
  });
  channel.addEventListener('message', (event) => receive(JSON.parse(event.data)));
  channel.addEventListener('close', () => {
    channel = null;
    setEnabled(false);
    byId('lost').hidden = false;
    setTimeout(connect, retryDelay);
    retryDelay = Math.min(retryDelay * 2, 8000);
  });
}

setEnabled(false);
connect();
