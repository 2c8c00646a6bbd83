// Monitored items fed by the core's sampler: node-opcua's client against `varbank serve
// --writable --opcua-port 0` on a generated program of DINT variables, values changed by HTTP
// writes.
import assert from "node:assert/strict";
import { mkdtempSync, rmSync, writeFileSync } from "node:fs";
import { createRequire } from "node:module";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { after, before, test } from "node:test";

import { startServe, stopServe } from "./support.mjs";

const opcua = createRequire(`${process.env.VARBANK_OPCUA_DIR}/package.json`)("node-opcua");
const {
    AttributeIds,
    ClientSubscription,
    DataChangeFilter,
    DataChangeTrigger,
    DeadbandType,
    MonitoringMode,
    OPCUAClient,
    StatusCodes,
    TimestampsToReturn
} = opcua;

const kWaitMs = 10000; // the longest any value is waited for
const kVariables = 120;
const dictionary = "plant";
const token = "subscriptions-test-token";
let folder;
let serve;
let http;
let client;
let session;
let ns;
const logLines = [];

function writeProgram() {
    folder = mkdtempSync(join(tmpdir(), "varbank-subs-"));
    const variables = Array.from({ length: kVariables },
        (_v, i) => `<variable name="V${i}"><type><DINT/></type></variable>`).join("\n");
    const path = join(folder, `${dictionary}.xml`);
    writeFileSync(path, '<?xml version="1.0"?>\n<project xmlns="http://www.plcopen.org/xml/tc6_0201">' +
        '<contentHeader name="plant"/><types><dataTypes/><pous/></types><instances>' +
        '<configurations><configuration name="C"><globalVars>\n' + variables +
        "\n</globalVars></configuration></configurations></instances></project>\n");
    return path;
}

async function write(values) {
    const response = await fetch(`${http}api/dictionaries/${dictionary}/values`, {
        method: "PUT",
        headers: { Authorization: `Bearer ${token}` },
        body: JSON.stringify({ values })
    });
    const answer = await response.json();
    assert.equal(answer.written, true, JSON.stringify(answer));
}

async function httpValues(names) {
    const response = await fetch(`${http}api/dictionaries/${dictionary}/values`,
        { method: "POST", body: JSON.stringify({ items: names }) });
    return (await response.json()).values;
}

const itemId = (name) => `ns=${ns};s=${name}`;
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// A subscription whose notifications are kept by client handle, in the order received.
class Watch {
    static #nextHandle = 1;
    received = new Map(); // client handle -> [DataValue]

    static async open(publishingInterval) {
        const watch = new Watch();
        watch.subscription = await session.createSubscription2({
            requestedPublishingInterval: publishingInterval,
            requestedLifetimeCount: 600,
            requestedMaxKeepAliveCount: 20,
            publishingEnabled: true
        });
        watch.subscription.on("raw_notification", (message) => {
            for (const data of message.notificationData ?? []) {
                for (const item of data.monitoredItems ?? []) {
                    if (!watch.received.has(item.clientHandle)) {
                        watch.received.set(item.clientHandle, []);
                    }
                    watch.received.get(item.clientHandle).push(item.value);
                }
            }
        });
        return watch;
    }

    // Creates one monitored item per entry ({ name, samplingInterval, queueSize, filter });
    // gives [{ handle, result }].
    async monitor(entries) {
        const items = entries.map((entry) => ({
            itemToMonitor: { nodeId: itemId(entry.name), attributeId: AttributeIds.Value },
            monitoringMode: MonitoringMode.Reporting,
            requestedParameters: {
                clientHandle: Watch.#nextHandle++,
                samplingInterval: entry.samplingInterval ?? 100,
                queueSize: entry.queueSize ?? 1,
                discardOldest: true,
                filter: entry.filter ?? null
            }
        }));
        const response = await session.createMonitoredItems({
            subscriptionId: this.subscription.subscriptionId,
            timestampsToReturn: TimestampsToReturn.Both,
            itemsToCreate: items
        });
        return response.results.map((result, i) => ({ handle: items[i].requestedParameters.clientHandle, result }));
    }

    values(handle) {
        return (this.received.get(handle) ?? []).map((v) => v.value.value);
    }

    // Waits until `check()` holds, at most kWaitMs.
    async until(check, what) {
        const end = Date.now() + kWaitMs;
        while (!check()) {
            assert.ok(Date.now() < end, `waited ${kWaitMs} ms for ${what}`);
            await sleep(20);
        }
    }

    async close() {
        await this.subscription.terminate();
    }
}

before(async () => {
    ({ child: serve, http, opcua: client } = await startServe([writeProgram(), "--writable"],
        { env: { VARBANK_TOKEN: token }, stderr: (line) => logLines.push(line) }));
    const endpoint = client;
    client = OPCUAClient.create({ endpointMustExist: false, connectionStrategy: { maxRetry: 0 } });
    await client.connect(endpoint);
    session = await client.createSession();
    ns = (await session.readNamespaceArray()).indexOf(`urn:varbank:${dictionary}`);
    assert.ok(ns > 0);
});

after(async () => {
    await session?.close();
    await client?.disconnect();
    await stopServe(serve);
    rmSync(folder, { recursive: true, force: true });
});

test("100 items at 100 ms: first values equal the HTTP reads, a write is sampled within two intervals", async () => {
    const names = Array.from({ length: 100 }, (_v, i) => `V${i}`);
    await write({ V3: 33, V50: -50 });
    const watch = await Watch.open(100);
    const created = await watch.monitor(names.map((name) => ({ name })));
    created.forEach(({ result }, i) => {
        assert.equal(result.statusCode, StatusCodes.Good, names[i]);
        assert.equal(result.revisedSamplingInterval, 100, names[i]);
    });
    await watch.until(() => created.every(({ handle }) => watch.values(handle).length >= 1), "the first values");
    const expected = await httpValues(names);
    created.forEach(({ handle }, i) => assert.deepEqual(watch.values(handle), [expected[i].value], names[i]));

    const written = Date.now();
    await write({ V7: 1234 });
    const v7 = created[7].handle;
    await watch.until(() => watch.values(v7).includes(1234), "the written value");
    const sample = watch.received.get(v7).at(-1);
    assert.equal(sample.statusCode, StatusCodes.Good);
    // The sample time is the core's: at most two intervals after the write (and some slack
    // for the write's own answer).
    assert.ok(sample.sourceTimestamp.getTime() - written <= 2 * 100 + 50,
        `sampled ${sample.sourceTimestamp.getTime() - written} ms after the write`);
    assert.ok(created.every(({ handle }, i) => i === 7 || watch.values(handle).length === 1), "nothing else changed");
    await watch.close();
});

test("items on one name with different deadbands, intervals and queues each get what they asked", async () => {
    const absolute = (deadbandValue) => new DataChangeFilter({
        trigger: DataChangeTrigger.StatusValue, deadbandType: DeadbandType.Absolute, deadbandValue
    });
    const watch = await Watch.open(100);
    const [wide, none, slow] = await watch.monitor([
        { name: "V100", filter: absolute(10) },
        { name: "V100" },
        { name: "V100", samplingInterval: 250 }
    ]);
    for (const item of [wide, none, slow]) {
        assert.equal(item.result.statusCode, StatusCodes.Good);
    }
    assert.equal(slow.result.revisedSamplingInterval, 250);
    await watch.until(() => [wide, none, slow].every(({ handle }) => watch.values(handle).length === 1), "first values");

    await write({ V100: 5 }); // inside the deadband of 10
    await watch.until(() => watch.values(none.handle).includes(5) && watch.values(slow.handle).includes(5), "5");
    await sleep(300);
    assert.deepEqual(watch.values(wide.handle), [0], "a change within the deadband is not sent");
    await write({ V100: 50 });
    await watch.until(() => watch.values(wide.handle).includes(50), "50 past the deadband");
    assert.deepEqual(watch.values(wide.handle), [0, 50]);

    // Without its deadband the item gets a small change too.
    const modified = await session.modifyMonitoredItems({
        subscriptionId: watch.subscription.subscriptionId,
        timestampsToReturn: TimestampsToReturn.Both,
        itemsToModify: [{
            monitoredItemId: wide.result.monitoredItemId,
            requestedParameters: { clientHandle: wide.handle, samplingInterval: 100, queueSize: 1, discardOldest: true }
        }]
    });
    assert.equal(modified.results[0].statusCode, StatusCodes.Good);
    await sleep(200);
    await write({ V100: 52 });
    await watch.until(() => watch.values(wide.handle).includes(52), "52 with no deadband left");
    await watch.close();
});

test("a queue of 5 keeps every sampled change of one publishing interval, a queue of 1 the last", async () => {
    const watch = await Watch.open(3000);
    const [queued, single] = await watch.monitor([
        { name: "V101", queueSize: 5 },
        { name: "V101", queueSize: 1 }
    ]);
    await watch.until(() => watch.values(single.handle).length === 1, "the first value");
    for (const value of [1, 2, 3]) {
        await write({ V101: value });
        await sleep(300); // three sampling intervals: each write is sampled on its own
    }
    await watch.until(() => watch.values(single.handle).includes(3), "the next publish");
    assert.deepEqual(watch.values(queued.handle), [0, 1, 2, 3]);
    assert.deepEqual(watch.values(single.handle), [0, 3]);
    await watch.close();
});

test("monitored items the stack refuses get their Bad codes", async () => {
    const watch = await Watch.open(100);
    const results = await watch.monitor([
        { name: "Nope" },
        { name: "V1." },
        { name: "V1", filter: new DataChangeFilter({ deadbandType: DeadbandType.Percent, deadbandValue: 5 }) }
    ]);
    assert.deepEqual(results.map(({ result }) => result.statusCode.name), [
        "BadNodeIdUnknown", "BadNodeIdUnknown", "BadMonitoredItemFilterUnsupported"
    ]);
    await watch.close();
});

test("deleting the items unsubscribes them and unpins their nodes", async () => {
    const watch = await Watch.open(100);
    const created = await watch.monitor([{ name: "V110" }, { name: "V111" }]);
    await watch.until(() => created.every(({ handle }) => watch.values(handle).length === 1), "first values");
    const seen = logLines.length;
    const response = await session.deleteMonitoredItems({
        subscriptionId: watch.subscription.subscriptionId,
        monitoredItemIds: created.map(({ result }) => result.monitoredItemId)
    });
    assert.deepEqual(response.results.map((s) => s.name), ["Good", "Good"]);
    const end = Date.now() + kWaitMs;
    const logged = (text) => logLines.slice(seen).some((line) => line.includes(text));
    while (!(logged(`${dictionary}: no node monitored any more`) && logged("no name left, closed"))) {
        assert.ok(Date.now() < end, `the log after the delete: ${logLines.slice(seen).join("\n")}`);
        await sleep(20);
    }
    await watch.close();
});
