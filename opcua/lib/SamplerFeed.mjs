// The core's sampler as the monitored items' source: names grouped by (dictionary, interval,
// deadband), each group on WebSocket connections of the service holding at most 10,000 names
// each (a group that grows past it opens another). A name monitored by several items of one
// group is subscribed once and its values fanned out; items asking another interval or deadband
// of one name are in another group, so each gets what it asked for.
import { SamplerConnection } from "./SamplerConnection.mjs";

export class SamplerFeed {
    #groups = new Map(); // key -> [SamplerConnection]

    // `serviceUrl`: the service's http:// address.
    // `headers` go with every socket's upgrade (the service's read token, when it asks one).
    constructor(serviceUrl, { log = () => {}, WebSocket = globalThis.WebSocket, capacity, headers = {} } = {}) {
        const base = new URL(serviceUrl);
        base.protocol = base.protocol === "https:" ? "wss:" : "ws:";
        this.base = base.href.endsWith("/") ? base.href : base.href + "/";
        this.log = log;
        this.WebSocket = WebSocket;
        this.capacity = capacity;
        this.headers = headers;
    }

    // Feeds `listener` (see SamplerConnection#add) the values of `name`; returns the handle to
    // give to remove().
    add(dictionary, name, intervalMs, deadband, listener) {
        const key = `${dictionary}\u0000${intervalMs}\u0000${deadband}`;
        let connections = this.#groups.get(key);
        if (!connections) {
            connections = [];
            this.#groups.set(key, connections);
        }
        let connection = connections.find((c) => c.has(name)) ?? connections.find((c) => c.hasRoom());
        if (!connection) {
            connection = this.#open(key, dictionary, intervalMs, deadband);
            connections.push(connection);
        }
        connection.add(name, listener);
        return { connection, name, listener };
    }

    remove(handle) {
        handle.connection.remove(handle.name, handle.listener);
    }

    // What is held now: { connections, names } over every group.
    stats() {
        let connections = 0;
        let names = 0;
        for (const group of this.#groups.values()) {
            connections += group.length;
            names += group.reduce((sum, c) => sum + c.size, 0);
        }
        return { connections, names };
    }

    close() {
        for (const group of this.#groups.values()) {
            group.forEach((c) => c.close());
        }
        this.#groups.clear();
    }

    #open(key, dictionary, intervalMs, deadband) {
        const url = `${this.base}api/dictionaries/${encodeURIComponent(dictionary)}/subscribe`;
        return new SamplerConnection(url, intervalMs, deadband, {
            log: this.log,
            WebSocket: this.WebSocket,
            capacity: this.capacity,
            headers: this.headers,
            onEmpty: (connection) => {
                const group = this.#groups.get(key) ?? [];
                const left = group.filter((c) => c !== connection);
                if (left.length > 0) {
                    this.#groups.set(key, left);
                } else {
                    this.#groups.delete(key);
                }
            }
        });
    }
}
