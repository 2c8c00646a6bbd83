// node-opcua's client against `varbank serve examples/production_line.xml --opcua-port 0`:
// browsing, paging, path translation and reads agree with the service's HTTP answers.
import assert from "node:assert/strict";
import { mkdtempSync, rmSync } from "node:fs";
import { createRequire } from "node:module";
import { tmpdir } from "node:os";
import path from "node:path";
import { after, before, test } from "node:test";

import { startServe, stopServe } from "./support.mjs";

import { ElementaryArray } from "../../opcua/lib/ElementaryArray.mjs";

const opcua = createRequire(`${process.env.VARBANK_OPCUA_DIR}/package.json`)("node-opcua");
const { AttributeIds, BrowseDirection, NodeClass, OPCUAClient, StatusCodes, makeBrowsePath } = opcua;

const dictionary = "production_line";
let serve;
let http; // the service's address, http://127.0.0.1:PORT/
let client;
let session;
let ns;
const stateFolder = mkdtempSync(path.join(tmpdir(), "varbank-state-"));

async function api(path, body) {
    const response = await fetch(`${http}api/dictionaries/${dictionary}/${path}`,
        body ? { method: "POST", body: JSON.stringify(body) } : {});
    assert.equal(response.status, 200, path);
    return response.json();
}

// Every node below the root as the HTTP browse gives it: { name, path, hasChildren, steps }.
async function httpWalk(path = "", steps = [], out = []) {
    let continuation = null;
    do {
        const query = new URLSearchParams({ path, pageSize: "3", columns: "T" });
        if (continuation) {
            query.set("continuation", continuation);
        }
        const page = await api(`browse?${query}`);
        for (const child of page.children) {
            const node = { ...child, steps: [...steps, child.name] };
            out.push(node);
            if (child.hasChildren) {
                await httpWalk(child.path, node.steps, out);
            }
        }
        continuation = page.continuation;
    } while (continuation);
    return out;
}

// The children of a node through Browse and BrowseNext, `pageSize` at most per page.
async function uaChildren(nodeId, pageSize) {
    session.requestedMaxReferencesPerNode = pageSize;
    let result = await session.browse({
        nodeId,
        browseDirection: BrowseDirection.Forward,
        referenceTypeId: "HasComponent", // the properties are HasProperty
        includeSubtypes: true,
        resultMask: 63
    });
    const children = [];
    for (let pages = 0; ; pages++) {
        assert.equal(result.statusCode, StatusCodes.Good, nodeId);
        assert.ok((result.references ?? []).length <= pageSize, `${nodeId}: a page above ${pageSize}`);
        children.push(...(result.references ?? []));
        if (!result.continuationPoint || result.continuationPoint.length === 0) {
            return children;
        }
        assert.ok(pages < 1000, "BrowseNext does not end");
        result = await session.browseNext(result.continuationPoint, false);
    }
}

const rootId = () => `ns=${ns};i=1`;
const itemId = (name) => `ns=${ns};s=${name}`;

before(async () => {
    ({ child: serve, http, opcua: client } = await startServe(
        [`${process.env.VARBANK_EXAMPLES}/production_line.xml`, "--state", stateFolder]));
    const endpoint = client;
    client = OPCUAClient.create({ endpointMustExist: false, connectionStrategy: { maxRetry: 0 } });
    await client.connect(endpoint);
    session = await client.createSession();
    ns = (await session.readNamespaceArray()).indexOf(`urn:varbank:${dictionary}`);
    assert.ok(ns > 0, "the dictionary's namespace is registered");
});

after(async () => {
    await session?.close();
    await client?.disconnect();
    if (serve && serve.exitCode === null) {
        assert.equal(await stopServe(serve), 0, "varbank serve stops with its OPC UA server on SIGTERM");
    }
    rmSync(stateFolder, { recursive: true, force: true });
});

test("a leaf is reached by browsing from Objects", async () => {
    const objects = await session.browse({ nodeId: "ns=0;i=85", resultMask: 63 });
    const root = objects.references.find((r) => r.browseName.name === dictionary);
    assert.equal(root?.nodeId.toString(), rootId());
    const top = await uaChildren(rootId(), 100);
    const motor = top.find((r) => r.browseName.name === "Motor1");
    assert.equal(motor?.nodeClass, NodeClass.Object);
    const members = await uaChildren(motor.nodeId.toString(), 100);
    const speed = members.find((r) => r.browseName.name === "Speed");
    assert.equal(speed?.nodeId.toString(), itemId("Motor1.Speed"));
    assert.equal(speed.nodeClass, NodeClass.Variable);
    assert.equal(speed.browseName.namespaceIndex, ns);
});

test("Browse and BrowseNext page by page list what the HTTP browse lists", async () => {
    const walk = await httpWalk();
    const branches = [{ path: "", id: rootId() }, ...walk.filter((n) => n.hasChildren).map((n) => ({ path: n.path, id: itemId(n.path) }))];
    for (const pageSize of [1, 7, 100]) {
        for (const branch of branches) {
            const expected = walk.filter((n) => n.path !== branch.path && n.steps.length ===
                (branch.path === "" ? 1 : walk.find((b) => b.path === branch.path).steps.length + 1) &&
                (branch.path === "" || n.path.startsWith(branch.path)))
                .map((n) => [n.name, itemId(n.path), n.hasChildren && !ElementaryArray.parse(n.type)
                    ? NodeClass.Object : NodeClass.Variable]);
            const listed = (await uaChildren(branch.id, pageSize))
                .map((r) => [r.browseName.name, r.nodeId.toString(), r.nodeClass]);
            assert.deepEqual(listed, expected, `${branch.path || "(root)"} in pages of ${pageSize}`);
        }
    }
});

test("a released or forged continuation point is answered, not crashed on", async () => {
    session.requestedMaxReferencesPerNode = 1;
    const first = await session.browse({ nodeId: rootId(), resultMask: 63 });
    assert.ok(first.continuationPoint);
    const forged = Buffer.concat([first.continuationPoint.subarray(0, 6), Buffer.from("{not json")]);
    const answer = await session.browseNext(forged, false);
    assert.equal(answer.statusCode, StatusCodes.BadContinuationPointInvalid);
    const released = await session.browseNext(first.continuationPoint, true);
    assert.equal(released.statusCode, StatusCodes.Good);
    const again = await session.browseNext(first.continuationPoint, false);
    assert.equal(again.statusCode, StatusCodes.BadContinuationPointInvalid, "used after its release");
});

test("TranslateBrowsePaths finds what resolve finds", async () => {
    const walk = await httpWalk();
    const extra = [["Status", "3"], ["Motor1", "Nope"], ["Nope"], ["Speeds", "Speeds[10]"]];
    const paths = [...walk.map((n) => n.steps), ...extra];
    const names = paths.map((steps) => steps.reduce((parent, step) =>
        parent === "" ? step : step.includes("[") ? parent.slice(0, parent.lastIndexOf(parent.split(".").pop())) + step : `${parent}.${step}`, ""));
    const resolved = (await api("resolve", { items: names })).results;
    const translated = await session.translateBrowsePath(paths.map((steps) =>
        makeBrowsePath("RootFolder", `/Objects/${ns}:${dictionary}` + steps.map((s) => `/${ns}:${s}`).join(""))));
    paths.forEach((steps, i) => {
        const result = translated[i];
        if (resolved[i].resolved) {
            assert.equal(result.statusCode, StatusCodes.Good, steps.join("/"));
            assert.equal(result.targets[0].targetId.toString(), itemId(names[i]), steps.join("/"));
        } else {
            assert.equal(result.statusCode, StatusCodes.BadNoMatch, steps.join("/"));
        }
    });
    assert.ok(resolved.filter((r) => r.resolved).length >= walk.length + 1, "Status.3 resolves");
});

test("Read of every leaf equals the service's values, with the mapped data type", async () => {
    const leaves = (await httpWalk()).filter((n) => !n.hasChildren).map((n) => n.path);
    const http = (await api(`values?${leaves.map((l) => `item=${encodeURIComponent(l)}`).join("&")}`)).values;
    const kinds = (await api("resolve", { items: leaves })).results;
    const values = await session.read(leaves.map((l) => ({ nodeId: itemId(l), attributeId: AttributeIds.Value })));
    const types = await session.read(leaves.map((l) => ({ nodeId: itemId(l), attributeId: AttributeIds.DataType })));
    const expectedType = { BOOL: 1, INT: 4, DINT: 6, UDINT: 7, WORD: 5, REAL: 10 };
    leaves.forEach((leaf, i) => {
        assert.equal(values[i].statusCode, StatusCodes.Good, leaf);
        const expected = kinds[i].typeName === "REAL" ? Math.fround(http[i].value) : http[i].value;
        assert.equal(values[i].value.value, expected, leaf);
        const base = kinds[i].typeName.replace(/\[\d+\]$/, "");
        const typeId = base === "STRING" ? 12 : expectedType[base];
        assert.equal(types[i].value.value.toString(), `ns=0;i=${typeId}`, leaf);
    });
    const described = await session.read({ nodeId: itemId("Motor1.Speed"), attributeId: AttributeIds.Description });
    assert.equal(described.value.value.text, "speed setpoint (rpm)");
    const access = await session.read({ nodeId: itemId("Motor1.Speed"), attributeId: AttributeIds.AccessLevel });
    assert.equal(access.value.value, 1); // CurrentRead
    const bit = await session.read({ nodeId: itemId("Status.3"), attributeId: AttributeIds.Value });
    assert.equal(typeof bit.value.value, "boolean", "a bit of a word is a Boolean");
});

test("unknown and loose names are BadNodeIdUnknown", async () => {
    const names = ["Nope", "Status.", "Speeds[01]", "Motor1..Speed", "Motor1.Speed ", "Speeds[]", ""];
    const reads = await session.read(names.flatMap((n) => [
        { nodeId: itemId(n), attributeId: AttributeIds.Value },
        { nodeId: itemId(n), attributeId: AttributeIds.BrowseName }
    ]));
    reads.forEach((read, i) =>
        assert.equal(read.statusCode, StatusCodes.BadNodeIdUnknown, JSON.stringify(names[i >> 1])));
    for (const name of names.slice(0, 4)) {
        const browsed = await session.browse({ nodeId: itemId(name), resultMask: 63 });
        assert.equal(browsed.statusCode, StatusCodes.BadNodeIdUnknown, name);
    }
    const written = await session.write({ nodeId: itemId("Motor1.Speed"), attributeId: AttributeIds.Value,
        value: { value: { dataType: opcua.DataType.Int16, value: 5 } } });
    assert.equal(written, StatusCodes.BadNotWritable);
});
