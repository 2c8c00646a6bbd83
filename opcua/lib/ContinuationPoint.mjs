// The continuation points of browsing a dictionary's names. The server keeps no page state
// per client: a point carries the node, the filters of the browse and where the next page
// starts, signed with a key of this process and bound to the session that browsed, so that a
// forged or altered point, or one of another session, is refused. A point is ours when it
// opens with the magic bytes.
import { createHmac, randomBytes, timingSafeEqual } from "node:crypto";

const kMagic = Buffer.from("VBCP2\u0000");
const kMacBytes = 16;
const kNonceBytes = 8;
const kReleasedPerSession = 1024; // released browses remembered per session, oldest forgotten

export function isOurContinuationPoint(buffer) {
    return Buffer.isBuffer(buffer) && buffer.length >= kMagic.length &&
        buffer.subarray(0, kMagic.length).equals(kMagic);
}

// Makes and checks the points of one server process. A browse's points share a nonce; a
// client's release of one of them is remembered for its session (bounded), and the browse's
// later points are refused from then on.
export class ContinuationPoints {
    #key;
    #released = new Map(); // session -> Set of released nonces (oldest first)

    constructor(key = randomBytes(32)) {
        this.#key = key;
    }

    // state: { dictionary, path, fixed, children, filters, limit, nonce? }: `fixed` is how many
    // of the node's own references (type, parent) were sent, `limit` the references per page;
    // `children` is the service's continuation, "" before the first child, null once every
    // child was sent. A state without a nonce starts a new browse.
    encode(state, session) {
        const nonce = state.nonce ?? randomBytes(kNonceBytes).toString("hex");
        const payload = Buffer.from(JSON.stringify({ ...state, nonce }), "utf8");
        return Buffer.concat([kMagic, payload, this.#mac(payload, session)]);
    }

    // The state, or null when the point is not a well-formed, untouched point of this session.
    decode(buffer, session) {
        if (!isOurContinuationPoint(buffer) || buffer.length < kMagic.length + kMacBytes) {
            return null;
        }
        const payload = buffer.subarray(kMagic.length, buffer.length - kMacBytes);
        const mac = buffer.subarray(buffer.length - kMacBytes);
        if (!timingSafeEqual(mac, this.#mac(payload, session))) {
            return null;
        }
        let state;
        try {
            state = JSON.parse(payload.toString("utf8"));
        } catch {
            return null;
        }
        if (!wellFormed(state) || this.#released.get(session)?.has(state.nonce)) {
            return null;
        }
        return state;
    }

    // Forgets the browse of `state` for `session`: its points are refused from now on.
    release(state, session) {
        let released = this.#released.get(session);
        if (!released) {
            released = new Set();
            this.#released.set(session, released);
        }
        released.add(state.nonce);
        if (released.size > kReleasedPerSession) {
            released.delete(released.values().next().value);
        }
    }

    // Drops what was kept for a session that closed.
    forget(session) {
        this.#released.delete(session);
    }

    #mac(payload, session) {
        return createHmac("sha256", this.#key)
            .update(String(session))
            .update("\u0000")
            .update(payload)
            .digest()
            .subarray(0, kMacBytes);
    }
}

function wellFormed(state) {
    return state !== null && typeof state === "object" &&
        typeof state.dictionary === "string" &&
        typeof state.path === "string" &&
        typeof state.nonce === "string" &&
        Number.isInteger(state.fixed) && state.fixed >= 0 &&
        Number.isInteger(state.limit) && state.limit >= 1 && state.limit <= 10000 &&
        (typeof state.children === "string" || state.children === null) &&
        typeof state.filters === "object" && state.filters !== null;
}
