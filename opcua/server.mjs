// The OPC UA front of varbank serve: node opcua/server.mjs --service URL --port N [--host H].
// Serves the dictionaries of the service at URL on opc.tcp://H:N (security None), prints
// "opcua: listening at opc.tcp://H:PORT" once ready, and stops on SIGTERM or SIGINT. Exits 1
// with the reason on stderr when it cannot start.
import { parseArgs } from "node:util";

import { MessageSecurityMode, SecurityPolicy, nodesets } from "node-opcua";

import { checkHooks, kStackVersion } from "./lib/Hooks.mjs";
import { ServiceClient } from "./lib/ServiceClient.mjs";
import { VarbankServer } from "./lib/VarbankServer.mjs";

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
                host: { type: "string", default: "127.0.0.1" }
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
    return { service: values.service, port, host: values.host };
}

async function main() {
    const { service, port, host } = options();
    if (typeof globalThis.WebSocket !== "function") {
        fail("this node has no WebSocket client, which monitored items need: run node with --experimental-websocket (Node 20) or use Node 22 or later");
    }
    const log = (text) => process.stderr.write(`${text}\n`);
    const client = new ServiceClient(service);
    let dictionaries;
    try {
        dictionaries = (await client.dictionaries()).map((d) => d.name);
    } catch (error) {
        fail(error.message);
    }
    const server = new VarbankServer({
        port,
        host, // the address listened on
        hostname: host, // the address in the endpoints
        alternateHostname: [],
        nodeset_filename: [nodesets.standard],
        securityPolicies: [SecurityPolicy.None],
        securityModes: [MessageSecurityMode.None],
        allowAnonymous: true,
        disableDiscovery: true,
        buildInfo: { productName: "varbank", softwareVersion: kStackVersion }
    });
    await server.initialize();
    checkHooks(server.engine);
    server.attachDictionaries(client, dictionaries, { log });
    await server.start();
    const bound = server.endpoints[0].port;
    process.stdout.write(`opcua: listening at opc.tcp://${host}:${bound}\n`);

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
