// The sampler feed against a stand-in WebSocket: grouping by interval and deadband, fan-out,
// batching, the service's refusals, a dropped socket and its reconnect; and the DataValues
// made of the core's values.
import assert from "node:assert/strict";
import { createRequire } from "node:module";
import { test } from "node:test";

import { dataValueOf, deadbandOf } from "../../opcua/lib/MonitoredItems.mjs";
import { SamplerFeed } from "../../opcua/lib/SamplerFeed.mjs";
import { dataTypeOf } from "../../opcua/lib/DataTypes.mjs";

const opcua = createRequire(new URL("../../opcua/package.json", import.meta.url))("node-opcua");
const { DataChangeFilter, DeadbandType, StatusCodes } = opcua;

// The service's side of each socket the feed opens: what was sent, and a way to answer.
class StandInSocket {
    static sockets = [];
    sent = [];

    constructor(url) {
        this.url = url;
        StandInSocket.sockets.push(this);
    }

    send(text) {
        const message = JSON.parse(text);
        this.sent.push(message);
        const answer = message.subscribe
            ? { subscribed: message.subscribe, intervalMs: this.grant ?? message.intervalMs }
            : { unsubscribed: message.unsubscribe };
        this.push(this.refuse ? { error: this.refuse, id: message.id } : { ...answer, id: message.id });
    }

    close() {
        this.closed = true;
    }

    open() {
        this.onopen();
    }

    push(message) {
        this.onmessage({ data: JSON.stringify(message) });
    }

    drop() {
        this.onclose({ code: 1006, reason: "" });
    }
}

const turn = () => new Promise((resolve) => setImmediate(resolve));
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// A listener that keeps what it is told.
function listener() {
    const heard = [];
    return {
        heard,
        value: (v) => heard.push(["value", v.name, v.value]),
        down: (_reason, refused) => heard.push(["down", refused]),
        granted: (ms) => heard.push(["granted", ms])
    };
}

function feed(capacity) {
    StandInSocket.sockets = [];
    return new SamplerFeed("http://127.0.0.1:1/", { WebSocket: StandInSocket, capacity });
}

test("names are grouped by dictionary, interval and deadband, one subscribe per group and turn", async () => {
    const f = feed(2);
    const a = listener();
    const b = listener();
    f.add("line", "A", 100, 0, a);
    f.add("line", "A", 100, 0, b); // the same name in the same group: subscribed once
    f.add("line", "B", 100, 0, a);
    f.add("line", "C", 100, 0, a); // past the capacity of 2: another connection
    f.add("line", "A", 100, 5, a); // another deadband
    f.add("line", "A", 250, 0, a); // another interval
    f.add("other", "A", 100, 0, a); // another dictionary
    await turn();
    const sockets = StandInSocket.sockets;
    assert.equal(sockets.length, 5);
    sockets.forEach((s) => s.open());
    const asked = sockets.map((s) => [decodeURIComponent(new URL(s.url).pathname), s.sent.map((m) =>
        [m.subscribe, m.intervalMs, m.deadband])]);
    assert.deepEqual(asked, [
        ["/api/dictionaries/line/subscribe", [[["A", "B"], 100, 0]]],
        ["/api/dictionaries/line/subscribe", [[["C"], 100, 0]]],
        ["/api/dictionaries/line/subscribe", [[["A"], 100, 5]]],
        ["/api/dictionaries/line/subscribe", [[["A"], 250, 0]]],
        ["/api/dictionaries/other/subscribe", [[["A"], 100, 0]]]
    ]);
    assert.equal(new URL(sockets[0].url).protocol, "ws:");
    assert.deepEqual(f.stats(), { connections: 5, names: 6 });
    f.close();
});

test("values fan out; a late listener gets the last value; a name left and taken again in one turn stays", async () => {
    const f = feed();
    const a = listener();
    const b = listener();
    const ha = f.add("line", "A", 100, 0, a);
    await turn();
    const socket = StandInSocket.sockets[0];
    socket.open();
    socket.push({ values: [{ name: "A", value: 1, error: null, time: "2026-01-01T00:00:00.000Z" }], merged: 0 });
    f.add("line", "A", 100, 0, b);
    assert.deepEqual(b.heard, [["value", "A", 1]]);
    socket.push({ values: [{ name: "A", value: 2 }, { name: "Gone", value: 3 }], merged: 0 });
    assert.deepEqual(a.heard, [["value", "A", 1], ["value", "A", 2]]);
    f.remove(ha);
    const c = listener();
    f.add("line", "A", 100, 0, c);
    assert.deepEqual(c.heard, [["value", "A", 2]]);
    await turn();
    assert.equal(socket.sent.length, 1, "neither unsubscribed nor subscribed again");
    f.close();
});

test("the last listener of a name unsubscribes it; the last name closes the socket", async () => {
    const f = feed();
    const handles = ["A", "B"].map((name) => f.add("line", name, 100, 0, listener()));
    await turn();
    const socket = StandInSocket.sockets[0];
    socket.open();
    f.remove(handles[0]);
    await turn();
    assert.deepEqual(socket.sent.at(-1).unsubscribe, ["A"]);
    f.remove(handles[1]);
    await turn();
    assert.equal(socket.closed, true);
    assert.deepEqual(f.stats(), { connections: 0, names: 0 });
    // A name that comes later opens a new socket.
    f.add("line", "C", 100, 0, listener());
    await turn();
    assert.equal(StandInSocket.sockets.length, 2);
    f.close();
});

test("refusals, a granted interval and a dropped socket reach every listener once", async () => {
    const f = feed();
    const a = listener();
    f.add("line", "A", 100, 0, a);
    await turn();
    const first = StandInSocket.sockets[0];
    first.grant = 120;
    first.open();
    assert.deepEqual(a.heard, [["granted", 120]]);
    first.push({ values: [{ name: "A", value: 7 }], merged: 0 });
    first.drop();
    await sleep(50);
    assert.deepEqual(a.heard.slice(1), [["value", "A", 7], ["down", false]]);
    await sleep(400); // the first retry comes after 250 ms
    const second = StandInSocket.sockets[1];
    assert.ok(second, "connected again");
    second.refuse = "a subscription holds at most 10000 values";
    second.open();
    assert.deepEqual(second.sent[0].subscribe, ["A"]);
    assert.deepEqual(a.heard.slice(3), [], "still down: told once");
    second.refuse = null;
    second.push({ values: [{ name: "A", value: 8 }], merged: 0 });
    assert.deepEqual(a.heard.slice(3), [["value", "A", 8]]);
    f.close();
});

test("the core's values become DataValues stamped with their sample time", () => {
    const time = "2026-12-06T19:22:01.123Z";
    const cases = [
        ["INT", { value: -5, error: null, time }, StatusCodes.Good, -5],
        ["BOOL", { value: true, error: null, time }, StatusCodes.Good, true],
        ["LINT", { value: 2n ** 40n, error: null, time }, StatusCodes.Good, [256, 0]],
        ["TIME", { value: "T#1s", milliseconds: 1000, error: null, time }, StatusCodes.Good, 1000],
        ["INT", { value: null, error: "no answer", time }, StatusCodes.BadCommunicationError, null],
        ["INT", { value: "text", error: null, time }, StatusCodes.BadTypeMismatch, null]
    ];
    for (const [typeName, result, status, value] of cases) {
        const dataValue = dataValueOf(dataTypeOf(typeName), result);
        assert.equal(dataValue.statusCode, status, typeName);
        assert.deepEqual(dataValue.value.value, value, typeName);
        assert.equal(dataValue.sourceTimestamp.toISOString(), time, typeName);
    }
});

test("only an absolute deadband is passed to the core", () => {
    const cases = [
        [null, 0],
        [new DataChangeFilter({ deadbandType: DeadbandType.None, deadbandValue: 3 }), 0],
        [new DataChangeFilter({ deadbandType: DeadbandType.Absolute, deadbandValue: 2.5 }), 2.5],
        [new DataChangeFilter({ deadbandType: DeadbandType.Absolute, deadbandValue: -1 }), 0],
        [new DataChangeFilter({ deadbandType: DeadbandType.Percent, deadbandValue: 10 }), 0]
    ];
    for (const [filter, expected] of cases) {
        assert.equal(deadbandOf(filter), expected);
    }
});
