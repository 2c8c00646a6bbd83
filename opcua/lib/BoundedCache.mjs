// A map that keeps at most `capacity` entries, the least recently used going first. A pinned
// entry (a monitored node) is never evicted: when only pinned ones are left the cache grows past
// its capacity, and says so once through `warn`.
export class BoundedCache {
    #entries = new Map(); // key -> { value, pins }, least recently used first
    #warned = false;

    constructor(capacity, { onEvict = () => {}, warn = () => {} } = {}) {
        if (!Number.isInteger(capacity) || capacity < 1) {
            throw new RangeError(`a cache holds at least one entry, not ${capacity}`);
        }
        this.capacity = capacity;
        this.onEvict = onEvict;
        this.warn = warn;
    }

    get size() {
        return this.#entries.size;
    }

    has(key) {
        return this.#entries.has(key);
    }

    // The value, now the most recently used; undefined when absent.
    get(key) {
        const entry = this.#entries.get(key);
        if (!entry) {
            return undefined;
        }
        this.#entries.delete(key);
        this.#entries.set(key, entry);
        return entry.value;
    }

    set(key, value) {
        const entry = this.#entries.get(key);
        this.#entries.delete(key);
        this.#entries.set(key, { value, pins: entry?.pins ?? 0 });
        if (entry && entry.value !== value) {
            this.onEvict(key, entry.value);
        }
        this.#trim(key);
    }

    // Pins an entry present; false when absent.
    pin(key) {
        const entry = this.#entries.get(key);
        if (!entry) {
            return false;
        }
        entry.pins++;
        return true;
    }

    unpin(key) {
        const entry = this.#entries.get(key);
        if (entry && entry.pins > 0) {
            entry.pins--;
            this.#trim();
        }
    }

    delete(key) {
        const entry = this.#entries.get(key);
        if (entry) {
            this.#entries.delete(key);
            this.onEvict(key, entry.value);
        }
    }

    // Evicts every entry that is not pinned; how many went.
    clearUnpinned() {
        let cleared = 0;
        for (const [key, entry] of [...this.#entries]) {
            if (entry.pins === 0) {
                this.#entries.delete(key);
                this.onEvict(key, entry.value);
                cleared++;
            }
        }
        return cleared;
    }

    // Evicts down to the capacity, sparing `keep` (the entry just set, which its caller uses).
    #trim(keep) {
        if (this.#entries.size <= this.capacity) {
            return;
        }
        for (const [key, entry] of this.#entries) {
            if (this.#entries.size <= this.capacity) {
                return;
            }
            if (entry.pins === 0 && key !== keep) {
                this.#entries.delete(key);
                this.onEvict(key, entry.value);
            }
        }
        if (!this.#warned) {
            this.#warned = true;
            this.warn(
                `more than ${this.capacity} pinned entries: the cache grows past its capacity while they stay pinned`
            );
        }
    }
}
