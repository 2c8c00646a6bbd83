// The continuation points of browsing a dictionary's names: stateless, so the server keeps
// nothing per client. A point carries the node, the filters of the browse and where the next
// page starts; it is ours when it opens with the magic bytes.

const kMagic = Buffer.from("VBCP1\u0000");

// state: { dictionary, path, fixed, children, filters, limit }: `fixed` is how many of the
// node's own references (type, parent) were sent, `limit` the references per page; `children` is the service's continuation, "" before the
// first child, null once every child was sent.
export function encodeContinuationPoint(state) {
    return Buffer.concat([kMagic, Buffer.from(JSON.stringify(state), "utf8")]);
}

export function isOurContinuationPoint(buffer) {
    return Buffer.isBuffer(buffer) && buffer.length >= kMagic.length &&
        buffer.subarray(0, kMagic.length).equals(kMagic);
}

// The state, or null when the point is not a well-formed one of ours.
export function decodeContinuationPoint(buffer) {
    if (!isOurContinuationPoint(buffer)) {
        return null;
    }
    let state;
    try {
        state = JSON.parse(buffer.subarray(kMagic.length).toString("utf8"));
    } catch {
        return null;
    }
    const wellFormed =
        state !== null && typeof state === "object" &&
        typeof state.dictionary === "string" &&
        typeof state.path === "string" &&
        Number.isInteger(state.fixed) && state.fixed >= 0 &&
        Number.isInteger(state.limit) && state.limit >= 1 && state.limit <= 10000 &&
        (typeof state.children === "string" || state.children === null) &&
        typeof state.filters === "object" && state.filters !== null;
    return wellFormed ? state : null;
}
