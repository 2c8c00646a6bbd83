// What the OPC UA front's loopback to the service costs: OPC UA Reads of 1, 100 and 10,000
// Values (names known, and first seen) against the same names read from the service's HTTP API
// directly, with the CPU time of the service and of node per Read (clock ticks of 10 ms, over the rounds). The gap between the
// two is the most a Node-API addon calling the core in-process could save.
//
// Usage: node bench/opcua_loopback_cost.mjs VARBANK_BINARY PROGRAM.xml [--rounds 20]
// (a release build; serves PROGRAM on 127.0.0.1 with free ports, bounded in time).
import { spawn } from "node:child_process";
import { readFileSync, readdirSync } from "node:fs";
import { createRequire } from "node:module";
import { createInterface } from "node:readline";
import { parseArgs } from "node:util";

const here = new URL(".", import.meta.url).pathname;
const opcua = createRequire(`${here}../opcua/package.json`)("node-opcua");
const { AttributeIds, OPCUAClient } = opcua;

const { positionals, values: flags } = parseArgs({
    allowPositionals: true,
    options: { rounds: { type: "string", default: "20" } }
});
const [binary, program] = positionals;
if (!binary || !program) {
    process.stderr.write("usage: node bench/opcua_loopback_cost.mjs VARBANK_BINARY PROGRAM.xml [--rounds N]\n");
    process.exit(2);
}
const rounds = Number(flags.rounds);
const dictionary = program.replace(/^.*\//, "").replace(/\.xml$/, "");
const deadline = setTimeout(() => {
    process.stderr.write("the measurement ran out of its 600 s\n");
    process.exit(1);
}, 600000);

function startServe() {
    const child = spawn(binary, ["serve", program, "--port", "0", "--opcua-port", "0",
        "--state", `/tmp/varbank-bench-state-${process.pid}`], { stdio: ["ignore", "pipe", "ignore"] });
    return new Promise((resolve, reject) => {
        const found = {};
        child.on("exit", (code) => reject(new Error(`varbank serve exited with ${code}`)));
        createInterface({ input: child.stdout }).on("line", (line) => {
            found.http ??= /^serving .* at (http:\S+)$/.exec(line)?.[1];
            found.opcua ??= /^opcua: listening at (opc\.tcp:\S+)$/.exec(line)?.[1];
            if (found.http && found.opcua) {
                resolve({ child, ...found });
            }
        });
    });
}

// utime + stime of a process, in milliseconds.
function cpuMs(pid) {
    const fields = readFileSync(`/proc/${pid}/stat`, "utf8").replace(/^.*\) /, "").split(" ");
    return ((Number(fields[11]) + Number(fields[12])) * 1000) / 100;
}

// The node child, started by one of the service's threads.
function nodeChildOf(pid) {
    for (const task of readdirSync(`/proc/${pid}/task`)) {
        const children = readFileSync(`/proc/${pid}/task/${task}/children`, "utf8").trim();
        if (children) {
            return Number(children.split(/\s+/)[0]);
        }
    }
    throw new Error("varbank serve has no node child");
}

async function leaves(http, count) {
    const names = [];
    let continuation = "";
    while (names.length < count) {
        const query = new URLSearchParams({ path: "", pageSize: "10000" });
        if (continuation) {
            query.set("continuation", continuation);
        }
        const page = await (await fetch(`${http}api/dictionaries/${dictionary}/browse?${query}`)).json();
        names.push(...page.children.filter((c) => !c.hasChildren).map((c) => c.path));
        continuation = page.continuation;
        if (!continuation) {
            break;
        }
    }
    return names.slice(0, count);
}

function median(values) {
    const sorted = [...values].sort((a, b) => a - b);
    return sorted[Math.floor(sorted.length / 2)];
}

async function timed(run) {
    const start = process.hrtime.bigint();
    await run();
    return Number(process.hrtime.bigint() - start) / 1e6;
}

const serve = await startServe();
const nodePid = nodeChildOf(serve.child.pid);
const client = OPCUAClient.create({ endpointMustExist: false, connectionStrategy: { maxRetry: 0 } });
await client.connect(serve.opcua);
const session = await client.createSession();
const ns = (await session.readNamespaceArray()).indexOf(`urn:varbank:${dictionary}`);
const all = await leaves(serve.http, 30000);
const rows = [];
let offset = 0;
for (const count of [1, 100, 10000]) {
    // First seen: names no Read has used yet, so the front resolves them first.
    const fresh = all.slice(offset, offset + count);
    offset += count;
    const nodes = fresh.map((name) => ({ nodeId: `ns=${ns};s=${name}`, attributeId: AttributeIds.Value }));
    const first = await timed(() => session.read(nodes));
    const opcuaTimes = [];
    const serviceBefore = cpuMs(serve.child.pid);
    const nodeBefore = cpuMs(nodePid);
    for (let i = 0; i < rounds; i++) {
        opcuaTimes.push(await timed(() => session.read(nodes)));
    }
    const serviceCpu = cpuMs(serve.child.pid) - serviceBefore;
    const nodeCpu = cpuMs(nodePid) - nodeBefore;
    const httpTimes = [];
    for (let i = 0; i < rounds; i++) {
        httpTimes.push(await timed(async () => {
            const response = await fetch(`${serve.http}api/dictionaries/${dictionary}/values`, {
                method: "POST",
                body: JSON.stringify({ items: fresh }),
                headers: { "Content-Type": "application/json" }
            });
            await response.json();
        }));
    }
    const perRead = (ms) => ms / rounds;
    rows.push({
        count,
        first: first.toFixed(1),
        opcua: median(opcuaTimes).toFixed(2),
        http: median(httpTimes).toFixed(2),
        serviceCpu: perRead(serviceCpu).toFixed(1),
        nodeCpu: perRead(nodeCpu).toFixed(1)
    });
}
await session.close();
await client.disconnect();
serve.child.kill("SIGTERM");
clearTimeout(deadline);

process.stdout.write("| Values per Read | first seen (ms) | OPC UA Read, names known (ms, median) | the same names over HTTP from node (ms, median) | service CPU per OPC UA Read (ms) | node CPU per OPC UA Read (ms) |\n");
process.stdout.write("|---|---|---|---|---|---|\n");
for (const r of rows) {
    process.stdout.write(`| ${r.count} | ${r.first} | ${r.opcua} | ${r.http} | ${r.serviceCpu} | ${r.nodeCpu} |\n`);
}
