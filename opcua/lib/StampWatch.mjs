// Follows the service's dictionaries: every interval it asks for their list and tells the
// server of a dictionary whose stamp changed (the program was reloaded) and of one that was
// added. One question at a time; a service that does not answer is logged once until it
// answers again.
export class StampWatch {
    #stamps = new Map(); // dictionary -> the stamp last seen
    #timer = null;
    #asking = false;
    #failing = false;

    // on: { changed(name, stamp), added(name) }
    constructor(client, on, { intervalMs = 1000, log = () => {} } = {}) {
        this.client = client;
        this.on = on;
        this.intervalMs = intervalMs;
        this.log = log;
    }

    // Starts from the dictionaries as listed now: [{ name, stamp }].
    start(dictionaries) {
        for (const { name, stamp } of dictionaries) {
            this.#stamps.set(name, stamp ?? "");
        }
        this.#timer = setInterval(() => this.poll(), this.intervalMs);
        this.#timer.unref();
    }

    stop() {
        clearInterval(this.#timer);
        this.#timer = null;
    }

    async poll() {
        if (this.#asking) {
            return;
        }
        this.#asking = true;
        try {
            this.#compare(await this.client.dictionaries());
            if (this.#failing) {
                this.#failing = false;
                this.log("opcua: the service answers again");
            }
        } catch (error) {
            if (!this.#failing) {
                this.#failing = true;
                this.log(`opcua: cannot follow the dictionaries: ${error.message}`);
            }
        } finally {
            this.#asking = false;
        }
    }

    #compare(dictionaries) {
        for (const { name, stamp = "" } of dictionaries) {
            const known = this.#stamps.get(name);
            this.#stamps.set(name, stamp ?? "");
            if (known === undefined) {
                this.on.added(name);
            } else if (known !== (stamp ?? "")) {
                this.on.changed(name, stamp ?? "");
            }
        }
    }
}
