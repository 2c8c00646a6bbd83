// A plain node-opcua server holding a program's name space eagerly, the comparison point of
// bench/opcua_bench.mjs: node bench/opcua_stock_server.mjs --names FILE --dictionary NAME
// [--port N] [--opcua-dir DIR].
// FILE is the name space as bench/opcua_bench.mjs wrote it from the service's browse (one line
// per node, a parent before its children: name, browse name, parent, 1 for a branch, type
// name, comment, tab-separated). Every node is built at start, as a node-opcua server is
// usually written: an object per branch, a variable per leaf holding its value in memory, the
// same NodeIds as varbank's front (the dictionary's object ns=N;i=1, an item ns=N;s=<name>), so
// one client script drives both. Prints "opcua: listening at opc.tcp://127.0.0.1:PORT" once
// ready and stops on SIGTERM or SIGINT.
import { createReadStream } from "node:fs";
import { createRequire } from "node:module";
import { dirname, resolve } from "node:path";
import { fileURLToPath } from "node:url";
import { createInterface } from "node:readline";
import { parseArgs } from "node:util";

const here = dirname(fileURLToPath(import.meta.url));
const { values: args } = parseArgs({
    options: {
        names: { type: "string" },
        dictionary: { type: "string" },
        port: { type: "string", default: "0" },
        "opcua-dir": { type: "string", default: resolve(here, "../opcua") }
    }
});
if (!args.names || !args.dictionary) {
    process.stderr.write("usage: opcua_stock_server.mjs --names FILE --dictionary NAME [--port N]\n");
    process.exit(2);
}
const opcua = createRequire(resolve(args["opcua-dir"], "package.json"))("node-opcua");
const { DataType, MessageSecurityMode, NodeId, NodeIdType, OPCUAServer, SecurityPolicy, Variant, nodesets } = opcua;

// The elementary types of the generated programs and their neighbours; any other leaf holds
// its value as text.
const kTypes = new Map([
    ["BOOL", [DataType.Boolean, false]],
    ["SINT", [DataType.SByte, 0]],
    ["INT", [DataType.Int16, 0]],
    ["DINT", [DataType.Int32, 0]],
    ["USINT", [DataType.Byte, 0]],
    ["UINT", [DataType.UInt16, 0]],
    ["UDINT", [DataType.UInt32, 0]],
    ["BYTE", [DataType.Byte, 0]],
    ["WORD", [DataType.UInt16, 0]],
    ["DWORD", [DataType.UInt32, 0]],
    ["REAL", [DataType.Float, 0]],
    ["LREAL", [DataType.Double, 0]]
]);

async function buildNamespace(server) {
    const addressSpace = server.engine.addressSpace;
    const namespace = addressSpace.registerNamespace(`urn:varbank:${args.dictionary}`);
    const ns = namespace.index;
    const branches = new Map();
    branches.set("", namespace.addObject({
        nodeId: new NodeId(NodeIdType.NUMERIC, 1, ns),
        browseName: { name: args.dictionary, namespaceIndex: ns },
        organizedBy: addressSpace.rootFolder.objects
    }));
    let count = 0;
    const lines = createInterface({ input: createReadStream(args.names), crlfDelay: Infinity });
    for await (const line of lines) {
        const [name, browseName, parent, branch, type, comment] = line.split("\t");
        const common = {
            nodeId: new NodeId(NodeIdType.STRING, name, ns),
            browseName: { name: browseName, namespaceIndex: ns },
            description: comment || undefined,
            componentOf: branches.get(parent)
        };
        if (branch === "1") {
            branches.set(name, namespace.addObject(common));
        } else {
            const [dataType, initial] = kTypes.get(type) ?? [DataType.String, ""];
            namespace.addVariable({
                ...common,
                dataType,
                accessLevel: "CurrentRead | CurrentWrite",
                userAccessLevel: "CurrentRead | CurrentWrite",
                value: new Variant({ dataType, value: initial })
            });
        }
        if (++count % 100000 === 0) {
            process.stderr.write(`stock: ${count} nodes built after ${(process.uptime()).toFixed(1)} s\n`);
        }
    }
    return count;
}

async function main() {
    const server = new OPCUAServer({
        port: Number(args.port),
        host: "127.0.0.1",
        hostname: "127.0.0.1",
        alternateHostname: [],
        nodeset_filename: [nodesets.standard],
        securityPolicies: [SecurityPolicy.None],
        securityModes: [MessageSecurityMode.None],
        allowAnonymous: true,
        disableDiscovery: true
    });
    await server.initialize();
    const count = await buildNamespace(server);
    await server.start();
    process.stderr.write(`stock: ${count} nodes built\n`);
    process.stdout.write(`opcua: listening at opc.tcp://127.0.0.1:${server.endpoints[0].port}\n`);
    const stop = async () => {
        await server.shutdown(0);
        process.exit(0);
    };
    process.on("SIGTERM", stop);
    process.on("SIGINT", stop);
}

main().catch((error) => {
    process.stderr.write(`stock: ${error?.stack ?? error}\n`);
    process.exit(1);
});
