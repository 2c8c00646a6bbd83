// One WebSocket to a dictionary's subscribe endpoint, holding names sampled at one interval with
// one deadband. Each name has listeners (monitored items) that get every value the core sends
// for it; a listener added to a name already sampled gets the last value at once. Subscribes
// and unsubscribes are batched per turn of the event loop. A socket that closes without being
// asked to is opened again with a back-off, every name subscribed again; meanwhile each
// listener is told the connection's status once.
import { request as httpRequest } from "node:http";

import { parseExactJson } from "./ExactJson.mjs";

// What one connection holds at most: the service's bound on the values of a subscription.
export const kMaxNamesPerConnection = 10000;
const kFirstRetryMs = 250;
const kLastRetryMs = 10000;

export class SamplerConnection {
    #names = new Map(); // name -> { listeners: Set, last: value or null, down: reason or null }
    #toSubscribe = new Set();
    #toUnsubscribe = new Set();
    #answers = new Map(); // message id -> { subscribe: bool, names }
    #socket = null;
    #open = false;
    #everOpened = false;
    #flushing = false;
    #retryMs = kFirstRetryMs;
    #retryTimer = null;
    #nextId = 1;
    #closed = false;

    // `url`: ws://.../api/dictionaries/D/subscribe. `onEmpty` is called once the last name has
    // gone and the socket is closed.
    constructor(url, intervalMs, deadband, { log = () => {}, WebSocket = globalThis.WebSocket, onEmpty = () => {},
        capacity = kMaxNamesPerConnection, headers = {} } = {}) {
        this.url = url;
        this.intervalMs = intervalMs;
        this.deadband = deadband;
        this.capacity = capacity;
        this.log = log;
        this.WebSocket = WebSocket;
        this.onEmpty = onEmpty;
        this.headers = headers;
        this.opened = 0; // sockets opened, for the log and the tests
    }

    get size() {
        return this.#names.size;
    }

    has(name) {
        return this.#names.has(name);
    }

    hasRoom() {
        return this.#names.size < this.capacity;
    }

    isOpen() {
        return this.#open;
    }

    // `listener`: { value(result), down(reason, refused), granted(intervalMs) }.
    add(name, listener) {
        let entry = this.#names.get(name);
        if (!entry) {
            entry = { listeners: new Set(), last: null, down: null };
            this.#names.set(name, entry);
            this.#toSubscribe.add(name);
            this.#schedule();
        }
        // A name left and taken again within one turn is still subscribed: its last value holds.
        this.#toUnsubscribe.delete(name);
        entry.listeners.add(listener);
        if (entry.last) {
            listener.value(entry.last);
        } else if (entry.down) {
            listener.down(entry.down.reason, entry.down.refused);
        }
    }

    remove(name, listener) {
        const entry = this.#names.get(name);
        if (entry && entry.listeners.delete(listener) && entry.listeners.size === 0) {
            this.#toUnsubscribe.add(name);
            this.#schedule();
        }
    }

    // Closes the socket for good; the listeners are not told.
    close() {
        this.#closed = true;
        clearTimeout(this.#retryTimer);
        this.#socket?.close(1000);
        this.#socket = null;
        this.#open = false;
    }

    #schedule() {
        if (!this.#flushing) {
            this.#flushing = true;
            setImmediate(() => this.#flush());
        }
    }

    #flush() {
        this.#flushing = false;
        if (this.#closed) {
            return;
        }
        const gone = [];
        for (const name of this.#toUnsubscribe) {
            if (this.#names.get(name)?.listeners.size === 0) {
                this.#names.delete(name);
                if (!this.#toSubscribe.delete(name)) {
                    gone.push(name);
                }
            }
        }
        this.#toUnsubscribe.clear();
        if (this.#names.size === 0) {
            this.close();
            this.log(`opcua: ${this.#describe()}: no name left, closed`);
            this.onEmpty(this);
            return;
        }
        if (!this.#socket) {
            if (!this.#retryTimer) {
                this.#connect();
            }
            return;
        }
        if (!this.#open) {
            return; // every name is subscribed once it opens
        }
        if (gone.length > 0) {
            this.#send({ unsubscribe: gone }, false, []);
        }
        if (this.#toSubscribe.size > 0) {
            const names = [...this.#toSubscribe];
            this.#toSubscribe.clear();
            this.#send({ subscribe: names, intervalMs: this.intervalMs, deadband: this.deadband }, true, names);
        }
    }

    #send(message, subscribe, names) {
        const id = this.#nextId++;
        this.#answers.set(id, { subscribe, names });
        this.#socket.send(JSON.stringify({ ...message, id }));
    }

    #connect() {
        this.#retryTimer = null;
        const socket = new this.WebSocket(this.url, { headers: this.headers });
        this.#socket = socket;
        socket.onopen = () => this.#onOpen(socket);
        socket.onmessage = (event) => this.#onMessage(socket, event.data);
        socket.onclose = (event) => this.#onClose(socket, event);
        socket.onerror = () => {}; // a close follows
    }

    #onOpen(socket) {
        if (socket !== this.#socket) {
            return;
        }
        this.#open = true;
        this.#everOpened = true;
        this.opened++;
        this.#retryMs = kFirstRetryMs;
        if (this.opened > 1) {
            this.log(`opcua: ${this.#describe()}: connected again, ${this.#names.size} names subscribed again`);
        }
        // After a reconnect every name is new to the service.
        this.#toSubscribe = new Set(this.#names.keys());
        this.#answers.clear();
        this.#flush();
    }

    #onMessage(socket, data) {
        if (socket !== this.#socket || typeof data !== "string") {
            return;
        }
        let message;
        try {
            message = /\d{16}/.test(data) ? parseExactJson(data) : JSON.parse(data);
        } catch {
            this.log(`opcua: ${this.#describe()}: not JSON: ${data.slice(0, 200)}`);
            return;
        }
        if (Array.isArray(message.values)) {
            this.#deliver(message.values);
            return;
        }
        const asked = this.#answers.get(message.id);
        this.#answers.delete(message.id);
        if (!asked) {
            this.log(`opcua: ${this.#describe()}: unexpected message: ${data.slice(0, 200)}`);
        } else if (message.error !== undefined) {
            this.log(`opcua: ${this.#describe()}: refused: ${message.error}`);
            this.#refuse(asked.names, message.error);
        } else if (asked.subscribe && message.intervalMs !== this.intervalMs) {
            this.log(`opcua: ${this.#describe()}: sampled at ${message.intervalMs} ms: ${message.note ?? ""}`);
            for (const name of asked.names) {
                this.#names.get(name)?.listeners.forEach((l) => l.granted(message.intervalMs));
            }
        }
    }

    #deliver(values) {
        for (const value of values) {
            const entry = this.#names.get(value.name);
            if (!entry) {
                continue; // unsubscribed meanwhile
            }
            entry.last = value;
            entry.down = null;
            for (const listener of entry.listeners) {
                listener.value(value);
            }
        }
    }

    // Names the service refused to subscribe: each listener is told once; they stay held
    // (and are asked for again after a reconnect).
    #refuse(names, reason) {
        for (const name of names) {
            this.#markDown(this.#names.get(name), reason, true);
        }
    }

    #markDown(entry, reason, refused) {
        if (!entry || entry.down) {
            return;
        }
        entry.last = null;
        entry.down = { reason, refused };
        for (const listener of entry.listeners) {
            listener.down(reason, refused);
        }
    }

    async #onClose(socket, event) {
        if (socket !== this.#socket || this.#closed) {
            return;
        }
        const wasOpen = this.#open;
        this.#socket = null;
        this.#open = false;
        let reason = `the service's WebSocket closed (code ${event.code}${event.reason ? `, ${event.reason}` : ""})`;
        let refused = false;
        if (!wasOpen) {
            const refusal = await refusalOf(this.url, this.headers);
            refused = refusal?.status === 503;
            reason = refusal
                ? `the service refused the subscription: ${refusal.status} ${refusal.reason}`
                : `the service's WebSocket at ${this.url} cannot be opened`;
        }
        if (this.#closed || this.#socket) {
            return;
        }
        if (wasOpen || !this.#everOpened || this.#retryMs === kFirstRetryMs) {
            this.log(`opcua: ${this.#describe()}: ${reason}; trying again in ${this.#retryMs} ms`);
        }
        for (const entry of this.#names.values()) {
            this.#markDown(entry, reason, refused);
        }
        this.#retryTimer = setTimeout(() => this.#connect(), this.#retryMs);
        this.#retryTimer.unref?.();
        this.#retryMs = Math.min(this.#retryMs * 2, kLastRetryMs);
    }

    #describe() {
        return `${this.url} (${this.intervalMs} ms, deadband ${this.deadband})`;
    }
}

// Why the service refuses to open a WebSocket at `url`: { status, reason } from its answer to an
// upgrade, or null when it cannot be asked (or accepts it; that socket is closed at once).
export function refusalOf(url, headers = {}) {
    const target = new URL(url);
    target.protocol = "http:";
    return new Promise((resolve) => {
        const request = httpRequest(target, {
            headers: {
                ...headers,
                Connection: "Upgrade",
                Upgrade: "websocket",
                "Sec-WebSocket-Version": "13",
                "Sec-WebSocket-Key": "dmFyYmFuay1wcm9iZS0xMg=="
            },
            timeout: 5000
        });
        request.on("upgrade", (_response, socket) => {
            socket.destroy();
            resolve(null);
        });
        request.on("response", (response) => {
            let body = "";
            response.setEncoding("utf8");
            response.on("data", (chunk) => (body += chunk.length < 4096 ? chunk : ""));
            response.on("end", () => {
                let reason = body.trim();
                try {
                    reason = JSON.parse(body).error ?? reason;
                } catch {
                    // not JSON: the text as it is
                }
                resolve({ status: response.statusCode, reason });
            });
        });
        request.on("timeout", () => request.destroy());
        request.on("error", () => resolve(null));
        request.end();
    });
}
