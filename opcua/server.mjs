// The OPC UA front of varbank serve: node opcua/server.mjs --service URL --port N [--host H]
// [--pki FOLDER]. Serves the dictionaries of the service at URL on opc.tcp://H:N with security
// None and Basic256Sha256 (Sign, SignAndEncrypt), its certificates in FOLDER; prints "opcua:
// listening at opc.tcp://H:PORT" once ready, and stops on SIGTERM or SIGINT. Exits 1 with the
// reason on stderr when it cannot start. $VARBANK_OPCUA_WRITE_TOKEN, when set, is the service's
// write token: a session whose password is the token may write; $VARBANK_OPCUA_READ_TOKEN, when
// set, the service's read token, which every request to it carries.
import { mkdirSync } from "node:fs";
import { hostname } from "node:os";
import path from "node:path";
import { parseArgs } from "node:util";

import { MessageSecurityMode, OPCUACertificateManager, SecurityPolicy, nodesets } from "node-opcua";

import { checkHooks, kStackVersion } from "./lib/Hooks.mjs";
import { ServiceClient } from "./lib/ServiceClient.mjs";
import { ValueWriter } from "./lib/ValueWriter.mjs";
import { VarbankServer } from "./lib/VarbankServer.mjs";

// A token, taken out of the environment so that no child of this process inherits it.
function takeToken(variable) {
    const token = process.env[variable] ?? "";
    delete process.env[variable];
    return token;
}

function fail(reason) {
    process.stderr.write(`opcua: ${reason}\n`);
    process.exit(1);
}

function options() {
    let values;
    try {
        ({ values } = parseArgs({
            options: {
                service: { type: "string" },
                port: { type: "string", default: "4840" },
                host: { type: "string", default: "127.0.0.1" },
                pki: { type: "string", default: "opcua-pki" }
            }
        }));
    } catch (error) {
        fail(error.message);
    }
    if (!values.service) {
        fail("--service URL is required (the address varbank serve prints)");
    }
    const port = Number(values.port);
    if (!/^[0-9]+$/.test(values.port) || port > 65535) {
        fail(`--port must be a number from 0 to 65535, not '${values.port}'`);
    }
    return { service: values.service, port, host: values.host, pki: path.resolve(values.pki) };
}

// The server's own certificate is made in `folder` at first start; a client certificate is
// trusted once moved from rejected/ to trusted/ (user certificates likewise in user-pki/).
async function certificateManagers(folder) {
    const make = async (rootFolder) => {
        mkdirSync(rootFolder, { recursive: true, mode: 0o700 });
        const manager = new OPCUACertificateManager({ rootFolder, automaticallyAcceptUnknownCertificate: false });
        await manager.initialize();
        return manager;
    };
    return {
        serverCertificateManager: await make(folder),
        userCertificateManager: await make(path.join(path.dirname(folder), "user-pki"))
    };
}

// The name clients are told to connect to: the address listened on, or this machine's name when
// that is every address.
function advertisedHost(host) {
    return host === "0.0.0.0" || host === "::" ? hostname() : host;
}

async function main() {
    const { service, port, host, pki } = options();
    if (typeof globalThis.WebSocket !== "function") {
        fail("this node has no WebSocket client, which monitored items need: run node with --experimental-websocket (Node 20) or use Node 22 or later");
    }
    const log = (text) => process.stderr.write(`${text}\n`);
    const writer = new ValueWriter(takeToken("VARBANK_OPCUA_WRITE_TOKEN"), log);
    const readToken = takeToken("VARBANK_OPCUA_READ_TOKEN");
    const client = new ServiceClient(service, { headers: readToken ? { Authorization: `Bearer ${readToken}` } : {} });
    let dictionaries;
    try {
        dictionaries = await client.dictionaries();
    } catch (error) {
        fail(error.message);
    }
    let managers;
    try {
        managers = await certificateManagers(pki);
    } catch (error) {
        fail(`cannot use the certificate folder ${pki}: ${error.message}`);
    }
    const server = new VarbankServer({
        port,
        host, // the address listened on
        hostname: advertisedHost(host), // the address in the endpoints
        alternateHostname: [],
        nodeset_filename: [nodesets.standard],
        ...managers,
        securityPolicies: [SecurityPolicy.None, SecurityPolicy.Basic256Sha256],
        securityModes: [MessageSecurityMode.None, MessageSecurityMode.Sign, MessageSecurityMode.SignAndEncrypt],
        allowAnonymous: true, // browse, read and subscribe; writes need a user session
        userManager: { isValidUser: (userName, password) => writer.isValidUser(userName, password) },
        disableDiscovery: true,
        buildInfo: { productName: "varbank", softwareVersion: kStackVersion }
    });
    await server.initialize();
    checkHooks(server.engine);
    server.attachDictionaries(client, dictionaries.map((d) => d.name), { log, writer });
    server.followDictionaries(dictionaries);
    await server.start();
    const bound = server.endpoints[0].port;
    log(`opcua: certificates in ${pki} (trust a client by moving its certificate from rejected/ to trusted/certs/)`);
    process.stdout.write(`opcua: listening at opc.tcp://${advertisedHost(host)}:${bound}\n`);

    let stopping = false;
    const stop = async () => {
        if (stopping) {
            return;
        }
        stopping = true;
        await server.shutdown(0);
        process.exit(0);
    };
    process.on("SIGTERM", stop);
    process.on("SIGINT", stop);
}

main().catch((error) => fail(error?.message ?? String(error)));
