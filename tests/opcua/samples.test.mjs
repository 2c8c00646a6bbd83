// Real programs written by others, served over OPC UA: every leaf's Read agrees with the
// service's values (value or error), with the data type of its IEC type.
import assert from "node:assert/strict";
import { existsSync, mkdtempSync, rmSync } from "node:fs";
import { createRequire } from "node:module";
import { tmpdir } from "node:os";
import path from "node:path";
import { after, before, test } from "node:test";

import { startServe } from "./support.mjs";

const opcua = createRequire(`${process.env.VARBANK_OPCUA_DIR}/package.json`)("node-opcua");
const { AttributeIds, OPCUAClient, StatusCodes } = opcua;

const samples = process.env.VARBANK_SAMPLES;
const present = !!samples && existsSync(samples);
const kLeavesPerDictionary = 2000; // bounded: a sample may hold many more
const state = mkdtempSync(path.join(tmpdir(), "varbank-state-"));
let serve;
let http;
let client;
let session;

before(async () => {
    if (!present) {
        return;
    }
    let endpoint;
    ({ child: serve, http, opcua: endpoint } = await startServe([samples, "--state", state]));
    client = OPCUAClient.create({ endpointMustExist: false, connectionStrategy: { maxRetry: 0 } });
    await client.connect(endpoint);
    session = await client.createSession();
});

after(async () => {
    await session?.close();
    await client?.disconnect();
    serve?.kill("SIGTERM");
    rmSync(state, { recursive: true, force: true });
});

async function get(pathAndQuery) {
    const response = await fetch(`${http}${pathAndQuery}`);
    assert.equal(response.status, 200, pathAndQuery);
    return response.json();
}

async function post(dictionary, endpoint, body) {
    const response = await fetch(`${http}api/dictionaries/${encodeURIComponent(dictionary)}/${endpoint}`,
        { method: "POST", body: JSON.stringify(body), headers: { "Content-Type": "application/json" } });
    assert.equal(response.status, 200, endpoint);
    return response.json();
}

// The first leaves of a dictionary, depth first, as the HTTP browse lists them.
async function leavesOf(dictionary, parent = "", out = []) {
    let continuation = null;
    do {
        const query = new URLSearchParams({ path: parent, pageSize: "500" });
        if (continuation) {
            query.set("continuation", continuation);
        }
        const page = await get(`api/dictionaries/${encodeURIComponent(dictionary)}/browse?${query}`);
        for (const child of page.children) {
            if (out.length >= kLeavesPerDictionary) {
                return out;
            }
            if (child.hasChildren) {
                await leavesOf(dictionary, child.path, out);
            } else {
                out.push(child.path);
            }
        }
        continuation = page.continuation;
    } while (continuation);
    return out;
}

// Whether an OPC UA value is the service's JSON value: numbers (a REAL as a Float), texts and
// booleans as they are; 64-bit integers as the stack's [high, low]; times and dates by kind.
function same(typeName, ua, json) {
    if (typeof json === "boolean" || typeof json === "string" && !/TIME|DATE|DT|TOD/.test(typeName)) {
        return ua === json;
    }
    if (typeof json === "number") {
        if (Array.isArray(ua)) {
            return BigInt(ua[0]) * 2n ** 32n + BigInt(ua[1] >>> 0) === BigInt(json);
        }
        return ua === (typeName === "REAL" ? Math.fround(json) : json);
    }
    return ua !== null && ua !== undefined;
}

test("every leaf of the samples reads as the service reads it", { skip: !present && "no samples folder" }, async () => {
    const dictionaries = (await get("api/dictionaries")).filter((d) => !d.error);
    assert.ok(dictionaries.length >= 3, "most samples import");
    const namespaces = await session.readNamespaceArray();
    let compared = 0;
    for (const { name } of dictionaries) {
        const ns = namespaces.indexOf(`urn:varbank:${name}`);
        assert.ok(ns > 0, `${name} has its namespace`);
        const leaves = await leavesOf(name);
        const values = (await post(name, "values", { items: leaves })).values;
        const kinds = (await post(name, "resolve", { items: leaves })).results;
        const reads = await session.read(leaves.map((leaf) =>
            ({ nodeId: `ns=${ns};s=${leaf}`, attributeId: AttributeIds.Value })));
        leaves.forEach((leaf, i) => {
            const where = `${name}: ${leaf} (${kinds[i].typeName})`;
            if (values[i].error) {
                assert.notEqual(reads[i].statusCode, StatusCodes.Good, where);
                return;
            }
            assert.equal(reads[i].statusCode, StatusCodes.Good, where);
            assert.ok(same(kinds[i].typeName, reads[i].value.value, values[i].value),
                `${where}: ${JSON.stringify(reads[i].value.value)} against ${JSON.stringify(values[i].value)}`);
            compared++;
        });
    }
    assert.ok(compared > 100, `only ${compared} leaves compared`);
});
