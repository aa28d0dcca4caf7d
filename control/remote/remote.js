// The remote page: the panel's controls as the panel describes them over one WebSocket. It keeps
// no knowledge of its own of names, ranges or units; every value it shows came from the panel.
'use strict';

(function () {
    const code = new URLSearchParams(location.search).get('code');
    // The code leaves the address bar and the history; the cookie the panel set carries it.
    if (code)
        history.replaceState(null, '', location.pathname);

    const $ = (id) => document.getElementById(id);
    let texts = {
        lost: 'The connection to the panel is lost. Trying again…',
        oldCode: 'This page was paired with an old code: scan the new QR code in the Remote Control window.',
    };
    let socket = null;
    let retryMs = 1000;
    let heard = 0;
    let nextId = 1;
    let shownModel = null;
    const controls = new Map(); // name -> {kind, show(value), value}
    const sending = new Map(); // name -> {id, next}: one set per control on its way, the newest after it

    function status(text, lost) {
        $('status').textContent = text || '';
        $('status').classList.toggle('lost', !!lost);
    }

    // One set per control travels at a time; a move meanwhile replaces the one waiting behind it,
    // so a fast drag ends where the handle is and the panel is never flooded.
    function set(name, value) {
        const busy = sending.get(name);
        if (busy) {
            busy.next = value;
            return;
        }
        const id = nextId++;
        sending.set(name, { id: id, next: null });
        if (socket && socket.readyState === WebSocket.OPEN)
            socket.send(JSON.stringify({ id: id, set: name, value: String(value) }));
    }

    function replied(message) {
        for (const [name, busy] of sending) {
            if (busy.id !== message.id)
                continue;
            sending.delete(name);
            if (busy.next !== null)
                set(name, busy.next);
            else if (controls.has(name))
                controls.get(name).settle();
            return;
        }
    }

    function knob(c) {
        const box = document.createElement('section');
        box.className = 'control knob';
        const head = document.createElement('div');
        head.className = 'head';
        const label = document.createElement('span');
        label.id = 'label-' + c.name;
        label.textContent = c.label;
        const out = document.createElement('output');
        out.className = 'value';
        head.append(label, out);
        const row = document.createElement('div');
        row.className = 'row';
        const down = document.createElement('button');
        down.className = 'step down';
        down.textContent = '−';
        down.setAttribute('aria-label', texts.lower + ' ' + c.label);
        const up = document.createElement('button');
        up.className = 'step up';
        up.textContent = '+';
        up.setAttribute('aria-label', texts.raise + ' ' + c.label);
        const track = document.createElement('div');
        track.className = 'track';
        track.tabIndex = 0;
        track.setAttribute('role', 'slider');
        track.setAttribute('aria-labelledby', label.id);
        track.setAttribute('aria-valuemin', c.min);
        track.setAttribute('aria-valuemax', c.max);
        const fill = document.createElement('div');
        fill.className = 'fill';
        const handle = document.createElement('div');
        handle.className = 'handle';
        track.append(fill, handle);
        row.append(down, track, up);
        const hint = document.createElement('p');
        hint.className = 'hint';
        hint.setAttribute('aria-live', 'polite');
        box.append(head, row, hint);

        const min = Number(c.min);
        const max = Number(c.max);
        const unit = c.unit ? ' ' + c.unit : '';
        let shown = Number(c.value);
        let fromPanel = shown;
        let dragging = null; // {pointer, offset}

        function draw(v) {
            shown = v;
            const at = max > min ? (v - min) / (max - min) : 0;
            // The handle's middle travels the track less half a handle at each end.
            handle.style.left = 'calc(' + at + ' * (100% - 2.8rem) + 0.1rem)';
            fill.style.width = 'calc(' + at + ' * (100% - 2.8rem) + 1.4rem)';
            out.textContent = v + unit;
            track.setAttribute('aria-valuenow', v);
            track.setAttribute('aria-valuetext', v + unit);
        }
        function move(v) {
            v = Math.min(max, Math.max(min, Math.round(v)));
            if (v === shown)
                return;
            draw(v);
            set(c.name, v);
        }
        function valueAt(x) {
            const r = track.getBoundingClientRect();
            const half = handle.offsetWidth / 2 + 2;
            return min + (x - r.left - half) / Math.max(1, r.width - 2 * half) * (max - min);
        }
        let hintTimer = 0;
        function say(text) {
            hint.textContent = text;
            clearTimeout(hintTimer);
            hintTimer = setTimeout(() => { hint.textContent = ''; }, 2500);
        }

        track.addEventListener('pointerdown', (e) => {
            const h = handle.getBoundingClientRect();
            if (e.clientX >= h.left - 8 && e.clientX <= h.right + 8) {
                // The handle: it follows the finger, and the value applied follows it.
                dragging = { pointer: e.pointerId, offset: e.clientX - (h.left + h.width / 2) };
                track.setPointerCapture(e.pointerId);
                e.preventDefault();
                return;
            }
            // A tap on the track only ever lowers: a tap near the top of a volume must not send
            // its loudest setting into someone's ears.
            const v = Math.round(valueAt(e.clientX));
            if (v < shown)
                move(v);
            else
                say(texts.dragToRaise);
        });
        track.addEventListener('pointermove', (e) => {
            if (dragging && e.pointerId === dragging.pointer)
                move(valueAt(e.clientX - dragging.offset));
        });
        const release = (e) => {
            if (dragging && e.pointerId === dragging.pointer) {
                dragging = null;
                settle();
            }
        };
        track.addEventListener('pointerup', release);
        track.addEventListener('pointercancel', release);
        track.addEventListener('keydown', (e) => {
            const steps = { ArrowLeft: -1, ArrowDown: -1, ArrowRight: 1, ArrowUp: 1, PageDown: -6, PageUp: 6 };
            if (e.key in steps)
                move(shown + steps[e.key]);
            else if (e.key === 'Home')
                move(min);
            else
                return;
            e.preventDefault();
        });
        down.addEventListener('click', () => move(shown - 1));
        up.addEventListener('click', () => move(shown + 1));

        // The panel's value is shown unless the hand is on the handle or a set is on its way.
        function settle() {
            if (!dragging && !sending.has(c.name) && fromPanel !== shown)
                draw(fromPanel);
        }
        draw(shown);
        controls.set(c.name, {
            show: (v) => { fromPanel = Number(v); settle(); },
            settle: settle,
        });
        return box;
    }

    function toggle(c) {
        const box = document.createElement('section');
        box.className = 'control switch-box';
        const button = document.createElement('button');
        button.className = 'switch';
        button.setAttribute('role', 'switch');
        const label = document.createElement('span');
        label.textContent = c.label;
        const state = document.createElement('span');
        state.className = 'state';
        button.append(label, state);
        box.append(button);
        let on = false;
        function draw(v) {
            on = v === 'on';
            button.setAttribute('aria-checked', on ? 'true' : 'false');
            state.textContent = on ? texts.on : texts.off;
        }
        button.addEventListener('click', () => {
            draw(on ? 'off' : 'on');
            set(c.name, on ? 'on' : 'off');
        });
        draw(c.value);
        let fromPanel = c.value;
        const settle = () => { if (!sending.has(c.name)) draw(fromPanel); };
        controls.set(c.name, { show: (v) => { fromPanel = v; settle(); }, settle: settle });
        return box;
    }

    function build(state) {
        texts = Object.assign(texts, state.texts || {});
        if (state.language)
            document.documentElement.lang = state.language;
        controls.clear();
        sending.clear();
        const list = $('controls');
        list.replaceChildren();
        document.title = state.connected ? state.model + ' – ' + texts.title : texts.title;
        $('model').textContent = state.connected ? state.model : texts.title;
        $('firmware').textContent = state.connected ? texts.firmware + ' ' + state.firmware : '';
        $('no-device').hidden = !!state.connected;
        $('no-device').textContent = texts.noDevice;
        if (!state.connected) {
            shownModel = null;
            return;
        }
        shownModel = state.model;
        for (const c of state.controls)
            list.append(c.kind === 'knob' ? knob(c) : toggle(c));
    }

    function connect() {
        const query = code ? '?code=' + encodeURIComponent(code) : '';
        socket = new WebSocket('ws://' + location.host + '/socket' + query);
        socket.onopen = () => {
            retryMs = 1000;
            heard = Date.now();
        };
        socket.onmessage = (e) => {
            heard = Date.now();
            let message;
            try {
                message = JSON.parse(e.data);
            } catch (err) {
                return;
            }
            if (message.type === 'state') {
                build(message);
                status(shownModel ? texts.back : '', false);
            } else if (message.type === 'changed' && controls.has(message.name)) {
                controls.get(message.name).show(message.value);
            } else if (message.type === 'reply') {
                replied(message);
            }
        };
        socket.onclose = (e) => {
            socket = null;
            sending.clear();
            if (e.code === 4001) {
                status(texts.oldCode, true);
                return;
            }
            status(texts.lost, true);
            setTimeout(connect, retryMs);
            retryMs = Math.min(retryMs * 2, 10000);
        };
    }

    // A phone that left the network says nothing: a quiet line is taken as lost after 25 s.
    setInterval(() => {
        if (!socket || socket.readyState !== WebSocket.OPEN)
            return;
        if (Date.now() - heard > 25000)
            socket.close();
        else
            socket.send(JSON.stringify({ type: 'ping' }));
    }, 10000);

    connect();
})();
