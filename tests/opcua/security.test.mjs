// Security of the OPC UA front: None and Basic256Sha256 (Sign, SignAndEncrypt) endpoints, the
// server's certificate made at first start in the state folder, and a client trusted by moving
// its certificate from rejected/ to trusted/certs/.
import assert from "node:assert/strict";
import { existsSync, mkdtempSync, readdirSync, renameSync, rmSync, writeFileSync } from "node:fs";
import { createRequire } from "node:module";
import { tmpdir } from "node:os";
import path from "node:path";
import { after, before, test } from "node:test";

import { startServe, stopServe } from "./support.mjs";

const opcua = createRequire(`${process.env.VARBANK_OPCUA_DIR}/package.json`)("node-opcua");
const { MessageSecurityMode, OPCUACertificateManager, OPCUAClient, SecurityPolicy } = opcua;

const state = mkdtempSync(path.join(tmpdir(), "varbank-state-"));
const pki = path.join(state, "opcua", "pki");
let serve;
let endpoint;
let clientManager;

before(async () => {
    ({ child: serve, opcua: endpoint } = await startServe(
        [`${process.env.VARBANK_EXAMPLES}/production_line.xml`, "--state", state]));
    clientManager = new OPCUACertificateManager({
        rootFolder: path.join(state, "client-pki"),
        automaticallyAcceptUnknownCertificate: true
    });
    await clientManager.initialize();
});

after(async () => {
    serve?.kill("SIGTERM");
    await clientManager?.dispose();
    rmSync(state, { recursive: true, force: true });
});

// Connects with the policy and mode, reads the server's state, and disconnects; throws when
// the channel or the session is refused.
async function readStateWith(securityPolicy, securityMode) {
    const client = OPCUAClient.create({
        securityPolicy,
        securityMode,
        clientCertificateManager: clientManager,
        endpointMustExist: false,
        connectionStrategy: { maxRetry: 0, initialDelay: 100, maxDelay: 200 },
        requestedSessionTimeout: 10000
    });
    try {
        await client.connect(endpoint);
        const session = await client.createSession();
        const value = await session.read({ nodeId: "ns=0;i=2259", attributeId: 13 });
        await session.close();
        return value.value.value;
    } finally {
        await client.disconnect();
    }
}

async function waitFor(check, what, ms = 20000) {
    const deadline = Date.now() + ms;
    while (!check()) {
        assert.ok(Date.now() < deadline, what);
        await new Promise((resolve) => setTimeout(resolve, 100));
    }
}

test("the server's certificate is made in the state folder", () => {
    const own = path.join(pki, "own", "certs");
    assert.ok(existsSync(own) && readdirSync(own).length > 0, own);
});

test("security None connects without any trust", async () => {
    assert.equal(await readStateWith(SecurityPolicy.None, MessageSecurityMode.None), 0);
});

test("Basic256Sha256 connects once the client's certificate is moved to trusted", async () => {
    const secure = [
        [SecurityPolicy.Basic256Sha256, MessageSecurityMode.SignAndEncrypt],
        [SecurityPolicy.Basic256Sha256, MessageSecurityMode.Sign]
    ];
    await assert.rejects(readStateWith(...secure[0]), "an unknown client is refused");
    const rejected = path.join(pki, "rejected");
    await waitFor(() => existsSync(rejected) && readdirSync(rejected).length > 0, "the refused certificate is kept");
    const trusted = path.join(pki, "trusted", "certs");
    for (const file of readdirSync(rejected)) {
        renameSync(path.join(rejected, file), path.join(trusted, file));
    }
    // The server sees the move through its folder watcher.
    const deadline = Date.now() + 20000;
    for (;;) {
        try {
            assert.equal(await readStateWith(...secure[0]), 0);
            break;
        } catch (error) {
            assert.ok(Date.now() < deadline, `still refused after the move: ${error.message}`);
            await new Promise((resolve) => setTimeout(resolve, 250));
        }
    }
    for (const [policy, mode] of secure) {
        assert.equal(await readStateWith(policy, mode), 0, `${policy} ${mode}`);
    }
});

test("behind a read token, the front reads, browses and monitors with it", async () => {
    const { ClientMonitoredItem, TimestampsToReturn, AttributeIds } = opcua;
    const folder = mkdtempSync(path.join(tmpdir(), "varbank-plant-"));
    const config = path.join(folder, "plant.toml");
    writeFileSync(config, `[service]\nread_token = "reader"\n[program.line]\n` +
        `file = ${JSON.stringify(`${process.env.VARBANK_EXAMPLES}/production_line.xml`)}\n`);
    const served = await startServe(["--config", config, "--state", folder]);
    const client = OPCUAClient.create({ endpointMustExist: false, connectionStrategy: { maxRetry: 0 } });
    try {
        assert.equal((await fetch(`${served.http}api/dictionaries`)).status, 401);
        await client.connect(served.opcua);
        const session = await client.createSession();
        const ns = (await session.readNamespaceArray()).indexOf("urn:varbank:production_line");
        assert.ok(ns > 0);
        const nodeId = `ns=${ns};s=Motor1.Speed`;
        const read = await session.read({ nodeId, attributeId: AttributeIds.Value });
        assert.equal(read.statusCode.name, "Good");
        const subscription = await session.createSubscription2({ requestedPublishingInterval: 100, publishingEnabled: true });
        const item = ClientMonitoredItem.create(subscription, { nodeId, attributeId: AttributeIds.Value },
            { samplingInterval: 100, queueSize: 1, discardOldest: true }, TimestampsToReturn.Both);
        const first = await new Promise((resolve) => item.once("changed", resolve));
        assert.equal(first.statusCode.name, "Good");
        await subscription.terminate();
        await session.close();
    } finally {
        await client.disconnect();
        await stopServe(served.child);
        rmSync(folder, { recursive: true, force: true });
    }
});
