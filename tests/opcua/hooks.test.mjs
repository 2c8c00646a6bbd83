// The node-opcua internals the server relies on: present and of the expected shape in the
// installed stack, reported when one goes, and each one actually routed through (with an
// in-process stand-in for the service).
import assert from "node:assert/strict";
import { createRequire } from "node:module";
import { after, before, test } from "node:test";

import { missingHooks } from "../../opcua/lib/Hooks.mjs";
import { VarbankServer } from "../../opcua/lib/VarbankServer.mjs";

const opcua = createRequire(new URL("../../opcua/package.json", import.meta.url))("node-opcua");
const { AttributeIds, OPCUAServer, ReadRequest, StatusCodes, makeBrowsePath, nodesets } = opcua;

// The service, as far as the hooks need it; counts the requests.
class StandInService {
    calls = { resolve: 0, values: 0, browse: 0 };
    items = new Map([
        ["Motor1", { resolved: true, typeName: "Motor", kind: "Unknown", bit: null, comment: "drive" }],
        ["Motor1.Speed", { resolved: true, typeName: "INT", kind: "EDT", bit: null, comment: "rpm" }]
    ]);
    async resolve(_dictionary, names) {
        this.calls.resolve++;
        return names.map((name) => ({ name, ...(this.items.get(name) ?? { resolved: false, reason: "unknown variable" }) }));
    }
    async values(_dictionary, names) {
        this.calls.values++;
        return names.map((name) => ({ name, value: 1234, type: "INT", error: null }));
    }
    async browse() {
        this.calls.browse++;
        return { children: [], continuation: null };
    }
}

let server;
let service;
let ns;

before(async () => {
    server = new VarbankServer({ port: 0, nodeset_filename: [nodesets.standard] });
    await server.initialize();
    service = new StandInService();
    server.attachDictionaries(service, ["line"]);
    ns = server.dictionary("line").index;
});

after(async () => {
    await server.shutdown(0);
});

test("every internal is present and of the expected shape", () => {
    assert.deepEqual(missingHooks(server.engine), []);
});

test("an internal that goes or changes shape is named", () => {
    const prototype = OPCUAServer.prototype;
    const cases = [
        ["OPCUAServer#_on_BrowseNextRequest", prototype, "_on_BrowseNextRequest", undefined],
        ["OPCUAServer#_apply_on_SessionObject", prototype, "_apply_on_SessionObject", function (a) { return a; }],
        ["ServerEngine#refreshValues", server.engine, "refreshValues", (nodes, callback) => callback(nodes)],
        ["ServerEngine#translateBrowsePaths", server.engine, "translateBrowsePaths", null],
        ["engine.addressSpaceAccessor.read", server.engine.addressSpaceAccessor, "read", async () => []],
        ["MonitoredItem#_start_sampling defers", opcua.MonitoredItem.prototype, "__start_sampling", undefined],
        ["MonitoredItem#recordValue", opcua.MonitoredItem.prototype, "recordValue", function (dataValue) { return dataValue; }],
        ["OPCUAServer#_on_CreateMonitoredItemsRequest", prototype, "_on_CreateMonitoredItemsRequest", () => {}]
    ];
    for (const [name, owner, key, replacement] of cases) {
        const had = Object.getOwnPropertyDescriptor(owner, key);
        owner[key] = replacement;
        try {
            const missing = missingHooks(server.engine);
            assert.ok(missing.some((text) => text.startsWith(name)), `${name}: ${missing.join("; ")}`);
        } finally {
            if (had) {
                Object.defineProperty(owner, key, had);
            } else {
                delete owner[key];
            }
        }
    }
    assert.deepEqual(missingHooks(server.engine), []);
});

test("the stack's lookups find an item's node once its name is known, and only then", async () => {
    const addressSpace = server.engine.addressSpace;
    assert.equal(addressSpace.findNode(`ns=${ns};s=Motor1.Speed`), null);
    await server.dictionary("line").learn(["Motor1.Speed", "Motor1", "Nope"]);
    const variable = addressSpace.findNode(`ns=${ns};s=Motor1.Speed`);
    assert.equal(variable?.browseName.name, "Speed");
    assert.equal(variable.dataType.toString(), "ns=0;i=4");
    assert.equal(variable.description.text, "rpm");
    assert.equal(addressSpace.findNode(`ns=${ns};s=Motor1`)?.nodeClass, opcua.NodeClass.Object);
    assert.equal(addressSpace.findNode(`ns=${ns};s=Nope`), null);
});

test("engine reads of Value go to the service in one batch, other attributes to the nodes", async () => {
    const before = { ...service.calls };
    const request = new ReadRequest({
        timestampsToReturn: opcua.TimestampsToReturn.Both,
        nodesToRead: [
            { nodeId: `ns=${ns};s=Motor1.Speed`, attributeId: AttributeIds.Value },
            { nodeId: `ns=${ns};s=Motor1.Speed`, attributeId: AttributeIds.BrowseName },
            { nodeId: "ns=0;i=2255", attributeId: AttributeIds.Value }, // NamespaceArray
            { nodeId: `ns=${ns};s=Motor1.Speed`, attributeId: AttributeIds.Value },
            { nodeId: `ns=${ns};s=Gone`, attributeId: AttributeIds.Value }
        ]
    });
    const results = await server.engine.read(new opcua.SessionContext({ server }), request);
    assert.equal(results[0].value.value, 1234);
    assert.equal(results[1].value.value.name, "Speed");
    assert.ok(results[2].value.value.includes("urn:varbank:line"));
    assert.equal(results[3].value.value, 1234);
    assert.equal(results[4].statusCode, StatusCodes.BadNodeIdUnknown);
    assert.equal(service.calls.values - before.values, 1);
    assert.equal(service.calls.resolve - before.resolve, 1); // Gone only: the rest is known
});

test("engine writes to a dictionary's nodes are refused, never kept in a node", async () => {
    const results = await server.engine.write(new opcua.SessionContext({ server }), [
        new opcua.WriteValue({
            nodeId: `ns=${ns};s=Motor1.Speed`,
            attributeId: AttributeIds.Value,
            value: { value: { dataType: opcua.DataType.Int16, value: 7 } }
        })
    ]);
    assert.equal(results[0], StatusCodes.BadNotWritable);
});

test("refreshValues leaves a dictionary's nodes to the batched read", async () => {
    const refreshed = await new Promise((resolve, reject) =>
        server.engine.refreshValues([{ nodeId: opcua.resolveNodeId(`ns=${ns};s=Motor1.Speed`), attributeId: AttributeIds.Value }], 0,
            (error, values) => (error ? reject(error) : resolve(values))));
    assert.deepEqual(refreshed, []);
});

test("engine path translation joins browse names into item names", async () => {
    const results = await server.engine.translateBrowsePaths([
        makeBrowsePath("RootFolder", `/Objects/${ns}:line/${ns}:Motor1/${ns}:Speed`),
        makeBrowsePath("RootFolder", `/Objects/${ns}:line/${ns}:Motor1/${ns}:Torque`),
        makeBrowsePath("RootFolder", `/Objects/${ns}:line/0:Motor1`)
    ]);
    assert.equal(results[0].targets[0].targetId.toString(), `ns=${ns};s=Motor1.Speed`);
    assert.equal(results[1].statusCode, StatusCodes.BadNoMatch);
    assert.equal(results[2].statusCode, StatusCodes.BadNoMatch);
});
