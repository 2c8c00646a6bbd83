// Side-by-side benchmark of varbank's OPC UA front and a stock (eager) node-opcua server holding
// the same generated program, with one client script (node-opcua's client) for both:
//   node bench/opcua_bench.mjs [--variables 100000,1000000] [--build build-release]
//       [--servers ours,stock | http,stock] [--stock-start-s 300] [--opcua-dir DIR]
//       [--out bench/results/opcua.md]
// Per size: the program of scripts/generate_program.py; its name space walked once from the
// HTTP browse of a `varbank serve` (cached beside the program) for the stock server; then each
// server alone in turn: time to first session, RSS after start and after browsing the root,
// Browse of the root in pages of 100, TranslateBrowsePaths and Read of 100 per request, and
// 10,000 monitored items at 100 ms for 10 s, quiet and then with every value changed once a
// second (notifications/s, server CPU). Every phase is bounded in time; every child is killed
// at the end. Writes the markdown table to --out (the raw figures to opcua.json in the work
// folder) and prints it.
// With --servers http,stock the comparison is the service itself over HTTP/JSON (wrk with the
// scripts of bench/service/) against the stock server measured by its own client: start to the
// first answer, RSS, one and 100 names per request, 100 values per request and the root in
// pages of 100 (bench/peer_bench.sh).
import { spawn, spawnSync } from "node:child_process";
import {
    createReadStream, createWriteStream, existsSync, mkdirSync, readFileSync, readdirSync, renameSync, writeFileSync
} from "node:fs";
import { createRequire } from "node:module";
import { randomBytes } from "node:crypto";
import { cpus, loadavg, totalmem } from "node:os";
import { dirname, resolve } from "node:path";
import { createInterface } from "node:readline";
import { fileURLToPath } from "node:url";
import { parseArgs } from "node:util";

const root = resolve(dirname(fileURLToPath(import.meta.url)), "..");
const { values: args } = parseArgs({
    options: {
        variables: { type: "string", default: "100000" },
        build: { type: "string", default: "build-release" },
        servers: { type: "string", default: "ours,stock" },
        "opcua-dir": { type: "string" },
        seconds: { type: "string", default: "5" },
        "stock-start-s": { type: "string", default: "300" },
        "stock-heap-mb": { type: "string", default: "16384" },
        work: { type: "string" },
        out: { type: "string", default: resolve(root, "bench/results/opcua.md") }
    }
});
const build = resolve(root, args.build);
const peerMode = args.servers.split(",").includes("http");
const work = resolve(args.work ?? `${build}/opcua-bench`);
const varbank = `${build}/host/varbank`;
const opcuaDir = resolve(args["opcua-dir"] ?? resolve(root, "opcua"));
const opcua = createRequire(`${opcuaDir}/package.json`)("node-opcua");
const {
    AttributeIds, BrowseDirection, ClientMonitoredItemGroup, ClientSubscription, DataType, OPCUAClient,
    StatusCodes, TimestampsToReturn, resolveNodeId
} = opcua;

const kDictionary = "plant";
const kToken = randomBytes(16).toString("hex"); // the service's write token (writes change monitored values)
const kOursStartMs = 120000;
const kPhaseMs = 300000; // any one phase of a server
const kRequests = 200; // translate and read: requests per measure
const kRequestMs = 20000; // ... or this long, whichever ends first
const kMonitored = 10000;
const kWatchMs = 10000;

const log = (text) => process.stderr.write(`${text}\n`);

// ---------------------------------------------------------------- processes

const children = new Set();
function start(command, argv, options = {}) {
    const child = spawn(command, argv, { stdio: ["ignore", "pipe", "pipe"], ...options });
    children.add(child);
    child.on("exit", () => children.delete(child));
    child.stderrText = "";
    child.stderr.on("data", (d) => {
        child.stderrText = (child.stderrText + d).slice(-4000);
    });
    return child;
}

async function stop(child) {
    if (!child || child.exitCode !== null || child.signalCode !== null) {
        return;
    }
    const exited = new Promise((r) => child.once("exit", r));
    child.kill("SIGTERM");
    if (await Promise.race([exited.then(() => true), sleep(10000).then(() => false)])) {
        return;
    }
    child.kill("SIGKILL");
    await exited;
}

process.on("exit", () => {
    for (const child of children) {
        child.kill("SIGKILL");
    }
});
for (const signal of ["SIGINT", "SIGTERM"]) {
    process.on(signal, () => process.exit(1));
}

// Lines a child prints matched against patterns until all are found; rejects on exit or time.
function waitForLines(child, patterns, ms) {
    return new Promise((resolve, reject) => {
        const found = { at: {} }; // and when each line came
        const timer = setTimeout(() => {
            const last = child.stderrText.trim().split("\n").pop();
            reject(new Error(`not ready within ${ms / 1000} s${last ? ` (last said: ${last})` : ""}`));
        }, ms);
        child.on("exit", (code, signal) => {
            clearTimeout(timer);
            const said = child.stderrText.trim().split("\n").slice(-3).join(" | ");
            reject(new Error(`exited with ${code ?? signal}: ${said}`));
        });
        createInterface({ input: child.stdout }).on("line", (line) => {
            for (const [key, pattern] of Object.entries(patterns)) {
                if (!found[key] && pattern.test(line)) {
                    found[key] = pattern.exec(line)[1];
                    found.at[key] = Date.now();
                }
            }
            if (Object.keys(patterns).every((key) => found[key])) {
                clearTimeout(timer);
                resolve(found);
            }
        });
    });
}

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

function withDeadline(promise, ms, what) {
    let timer;
    return Promise.race([
        promise.finally(() => clearTimeout(timer)),
        new Promise((_, reject) => {
            timer = setTimeout(() => reject(new Error(`${what}: not done within ${ms / 1000} s`)), ms);
        })
    ]);
}

// /proc figures of a process: RSS in MiB, CPU (utime + stime) in seconds.
function rssMiB(pid) {
    const match = /VmRSS:\s+(\d+) kB/.exec(readFileSync(`/proc/${pid}/status`, "utf8"));
    return match ? Number(match[1]) / 1024 : NaN;
}
const kTicks = Number(spawnSync("getconf", ["CLK_TCK"]).stdout.toString().trim()) || 100;
function cpuSeconds(pid) {
    const stat = readFileSync(`/proc/${pid}/stat`, "utf8");
    const fields = stat.slice(stat.lastIndexOf(")") + 2).split(" ");
    return (Number(fields[11]) + Number(fields[12])) / kTicks; // utime, stime
}
// The children of a process, whichever of its threads started them.
function childPids(pid) {
    const pids = [];
    for (const task of readdirSync(`/proc/${pid}/task`)) {
        try {
            const text = readFileSync(`/proc/${pid}/task/${task}/children`, "utf8");
            pids.push(...text.trim().split(/\s+/).filter(Boolean).map(Number));
        } catch {
            // the thread ended meanwhile
        }
    }
    return pids;
}

// ---------------------------------------------------------------- the program and its names

function program(variables) {
    const dir = `${work}/${variables}`;
    mkdirSync(dir, { recursive: true });
    const path = `${dir}/${kDictionary}.xml`;
    if (!existsSync(path)) {
        log(`generating ${variables} variables`);
        const run = spawnSync("/usr/bin/python3", [`${root}/scripts/generate_program.py`, `${path}.tmp`,
            "--variables", String(variables), "--title", kDictionary], { stdio: "inherit" });
        if (run.status !== 0) {
            throw new Error("scripts/generate_program.py failed");
        }
        renameSync(`${path}.tmp`, path);
    }
    return { dir, path, names: `${dir}/names.tsv` };
}

async function startServe(path, extra = []) {
    const child = start(varbank, ["serve", path, "--port", "0", ...extra],
        { env: { ...process.env, VARBANK_TOKEN: kToken } });
    const patterns = { http: /^serving .* at (http:\S+)$/ };
    if (extra.includes("--opcua-port")) {
        patterns.opcua = /^opcua: listening at (opc\.tcp:\/\/127\.0\.0\.1:\d+)$/;
    }
    return { child, ...(await waitForLines(child, patterns, kOursStartMs)) };
}

async function getJson(url) {
    const response = await fetch(url);
    if (!response.ok) {
        throw new Error(`${url}: ${response.status} ${await response.text()}`);
    }
    return response.json();
}

// Every child of a branch as the service's browse gives it, in pages of 10,000.
async function browseAll(http, path) {
    const children = [];
    let continuation = null;
    do {
        const query = new URLSearchParams({ path, pageSize: "10000", columns: "CT" });
        if (continuation) {
            query.set("continuation", continuation);
        }
        const page = await getJson(`${http}api/dictionaries/${kDictionary}/browse?${query}`);
        children.push(...page.children);
        continuation = page.continuation;
    } while (continuation);
    return children;
}

// The name space into names.tsv, a parent's line before its children's: name, browse name,
// parent, 1 for a branch, type name, comment. The root is browsed whole; below it the children
// of a branch follow from its type (the members of a structure, the elements of an array), so
// one branch of each type name is browsed and the others are named after it: a few requests
// instead of one per branch, which would take an hour at 1,000,000 variables.
async function walkNames(files) {
    if (existsSync(files.names)) {
        return;
    }
    log(`walking the name space of ${files.path} over HTTP`);
    const began = Date.now();
    const { child, http } = await startServe(files.path);
    const out = createWriteStream(`${files.names}.tmp`);
    const clean = (text) => (text ?? "").replace(/[\t\r\n]/g, " ");
    const shapes = new Map(); // type name -> [{ rel, elementName, name, type, comment, branch }]
    const shapeOf = async (type, path, browseName) => {
        if (!shapes.has(type)) {
            const shape = [];
            for (const c of await browseAll(http, path)) {
                const element = c.name.startsWith(browseName + "[");
                shape.push({
                    rel: c.path.slice(path.length),
                    name: element ? c.name.slice(browseName.length) : c.name,
                    element,
                    type: clean(c.type),
                    comment: clean(c.comment),
                    branch: c.hasChildren
                });
            }
            shapes.set(type, shape);
            for (const s of shape.filter((s) => s.branch)) {
                await shapeOf(s.type, path + s.rel, s.element ? browseName + s.name : s.name);
            }
        }
        return shapes.get(type);
    };
    let count = 0;
    let pending = "";
    const write = async (line) => {
        pending += line;
        count++;
        if (pending.length > 1 << 20) {
            const full = !out.write(pending);
            pending = "";
            if (full) {
                await new Promise((r) => out.once("drain", r));
            }
        }
    };
    const emit = async (path, browseName, type) => {
        for (const s of await shapeOf(type, path, browseName)) {
            const name = s.element ? browseName + s.name : s.name;
            await write(`${path + s.rel}\t${name}\t${path}\t${s.branch ? 1 : 0}\t${s.type}\t${s.comment}\n`);
            if (s.branch) {
                await emit(path + s.rel, name, s.type);
            }
        }
    };
    try {
        for (const c of await browseAll(http, "")) {
            await write(`${c.path}\t${c.name}\t\t${c.hasChildren ? 1 : 0}\t${clean(c.type)}\t${clean(c.comment)}\n`);
            if (c.hasChildren) {
                await emit(c.path, c.name, clean(c.type));
            }
        }
        out.write(pending);
        await new Promise((r) => out.end(r));
        renameSync(`${files.names}.tmp`, files.names);
    } finally {
        await stop(child);
    }
    log(`  ${count} nodes (${shapes.size} branch types browsed) in ${((Date.now() - began) / 1000).toFixed(1)} s`);
}

// What the client asks for, from names.tsv: a spread sample of leaves with their browse paths
// from the dictionary's object, and 10,000 INT leaves to monitor, spread over the program.
async function pickItems(files, variables) {
    const lines = () => createInterface({ input: createReadStream(files.names), crlfDelay: Infinity });
    let intCount = 0;
    for await (const line of lines()) {
        if (line.split("\t", 5)[4] === "INT") {
            intCount++;
        }
    }
    const branches = new Map();
    const leaves = [];
    const ints = [];
    const leafStride = Math.max(1, Math.floor(variables / 5000));
    const intStride = Math.max(1, Math.floor(intCount / kMonitored));
    let leafIndex = 0;
    let intIndex = 0;
    let nodes = 0;
    const steps = (parent, browseName) => {
        const out = [browseName];
        for (let p = parent; p !== ""; p = branches.get(p).parent) {
            out.unshift(branches.get(p).browseName);
        }
        return out;
    };
    for await (const line of lines()) {
        const [name, browseName, parent, branch, type] = line.split("\t");
        nodes++;
        if (branch === "1") {
            branches.set(name, { browseName, parent });
            continue;
        }
        if (leafIndex++ % leafStride === 0) {
            leaves.push({ name, steps: steps(parent, browseName) });
        }
        if (type === "INT" && intIndex++ % intStride === 0 && ints.length < kMonitored) {
            ints.push(name);
        }
    }
    return { leaves, ints, nodes };
}

// ---------------------------------------------------------------- the client's measures

async function firstSession(endpoint, began, deadlineMs) {
    const deadline = Date.now() + deadlineMs;
    for (;;) {
        const client = OPCUAClient.create({ endpointMustExist: false, connectionStrategy: { maxRetry: 0 },
            requestedSessionTimeout: 600000, defaultSecureTokenLifetime: 600000 });
        try {
            await client.connect(endpoint);
            const session = await client.createSession();
            return { client, session, ms: Date.now() - began };
        } catch (error) {
            await client.disconnect().catch(() => {});
            if (Date.now() > deadline) {
                throw error;
            }
            await sleep(100);
        }
    }
}

async function browseRoot(session, rootId) {
    session.requestedMaxReferencesPerNode = 100;
    const began = Date.now();
    let result = await session.browse({
        nodeId: rootId, browseDirection: BrowseDirection.Forward, referenceTypeId: "HierarchicalReferences",
        includeSubtypes: true, resultMask: 63
    });
    let references = 0;
    let pages = 0;
    for (;;) {
        if (result.statusCode !== StatusCodes.Good) {
            throw new Error(`browse of the root: ${result.statusCode.name}`);
        }
        references += result.references?.length ?? 0;
        pages++;
        if (!result.continuationPoint || result.continuationPoint.length === 0) {
            break;
        }
        result = await session.browseNext(result.continuationPoint, false);
    }
    return { ms: Date.now() - began, references, pages };
}

// Runs request(i) kRequests times or kRequestMs long; counts the results that are not Good.
async function rate(request) {
    const began = Date.now();
    let done = 0;
    let bad = 0;
    let firstBad = null;
    while (done < kRequests && Date.now() - began < kRequestMs) {
        for (const status of await request(done)) {
            if (status !== StatusCodes.Good) {
                bad++;
                firstBad ??= status.name;
            }
        }
        done++;
    }
    const seconds = (Date.now() - began) / 1000;
    return { requests: done, perSecond: done / seconds, bad, firstBad };
}

const kHasComponent = resolveNodeId("ns=0;i=47");
function browsePath(rootId, ns, steps) {
    return {
        startingNode: rootId,
        relativePath: {
            elements: steps.map((name) => ({
                referenceTypeId: kHasComponent, isInverse: false, includeSubtypes: true,
                targetName: { namespaceIndex: ns, name }
            }))
        }
    };
}

async function translateRate(session, rootId, ns, leaves) {
    const half = Math.floor(leaves.length / 2);
    return rate(async (i) => {
        const paths = [];
        for (let j = 0; j < 100; j++) {
            paths.push(browsePath(rootId, ns, leaves[(i * 100 + j) % half].steps));
        }
        return (await session.translateBrowsePath(paths)).map((r) => r.statusCode);
    });
}

// One path per request for --seconds, on each session at once (one request in flight per
// session).
async function translateOneRate(sessions, rootId, ns, leaves) {
    const half = Math.floor(leaves.length / 2);
    const ms = Number(args.seconds) * 1000;
    const began = Date.now();
    let done = 0;
    let bad = 0;
    let firstBad = null;
    await Promise.all(sessions.map(async (session, k) => {
        for (let i = k; Date.now() - began < ms; i += sessions.length) {
            const [r] = await session.translateBrowsePath([browsePath(rootId, ns, leaves[i % half].steps)]);
            if (r.statusCode !== StatusCodes.Good) {
                bad++;
                firstBad ??= r.statusCode.name;
            }
            done++;
        }
    }));
    return { requests: done, perSecond: done / ((Date.now() - began) / 1000), bad, firstBad };
}

// Values of names not asked before (the second half of the sample), then the same 100 again
// and again.
async function readRates(session, ns, leaves) {
    const half = Math.floor(leaves.length / 2);
    const nodes = (i) => Array.from({ length: 100 }, (_, j) =>
        ({ nodeId: `ns=${ns};s=${leaves[half + ((i * 100 + j) % (leaves.length - half))].name}`,
            attributeId: AttributeIds.Value }));
    const cold = await rate(async (i) => (await session.read(nodes(i))).map((v) => v.statusCode));
    const warm = await rate(async () => (await session.read(nodes(0))).map((v) => v.statusCode));
    return { cold, warm };
}

// Changes every monitored value: OPC UA Write when the server takes it, else (varbank's front
// before it writes) the service's PUT .../values.
function makeWriter(session, ns, names, http) {
    let useHttp = false;
    return async (round) => {
        const value = (round * 7 + 1) % 30000;
        if (!useHttp) {
            const statuses = await session.write(names.map((name) => ({
                nodeId: `ns=${ns};s=${name}`, attributeId: AttributeIds.Value,
                value: { value: { dataType: DataType.Int16, value } }
            })));
            if (statuses.every((s) => s === StatusCodes.Good)) {
                return "OPC UA Write";
            }
            if (!http) {
                throw new Error(`write: ${statuses.find((s) => s !== StatusCodes.Good).name}`);
            }
            useHttp = true;
        }
        const response = await fetch(`${http}api/dictionaries/${kDictionary}/values`, {
            method: "PUT",
            headers: { authorization: `Bearer ${kToken}` },
            body: JSON.stringify({ values: Object.fromEntries(names.map((n) => [n, value])) })
        });
        if (!response.ok) {
            throw new Error(`PUT values: ${response.status} ${(await response.text()).slice(0, 200)}`);
        }
        return "HTTP PUT";
    };
}

async function monitor(session, ns, names, pids, http) {
    const subscription = ClientSubscription.create(session, {
        requestedPublishingInterval: 100, requestedLifetimeCount: 6000, requestedMaxKeepAliveCount: 100,
        maxNotificationsPerPublish: 0, publishingEnabled: true, priority: 1
    });
    await new Promise((resolve, reject) => {
        subscription.once("started", resolve);
        subscription.once("internal_error", reject);
    });
    let good = 0;
    let bad = 0;
    let firstBad = null;
    subscription.on("raw_notification", (message) => {
        for (const data of message.notificationData ?? []) {
            for (const item of data.monitoredItems ?? []) {
                if (item.value.statusCode === StatusCodes.Good) {
                    good++;
                } else {
                    bad++;
                    firstBad ??= item.value.statusCode.name;
                }
            }
        }
    });
    const began = Date.now();
    const group = ClientMonitoredItemGroup.create(subscription,
        names.map((name) => ({ nodeId: `ns=${ns};s=${name}`, attributeId: AttributeIds.Value })),
        { samplingInterval: 100, discardOldest: true, queueSize: 1 }, TimestampsToReturn.Both);
    await withDeadline(new Promise((resolve, reject) => {
        group.once("initialized", resolve);
        group.once("err", reject);
    }), kPhaseMs, "monitored items");
    const createMs = Date.now() - began;
    const refused = group.monitoredItems.filter((item) => item.statusCode !== StatusCodes.Good);
    const created = { good: names.length - refused.length, refused: refused.length, reason: refused[0]?.statusCode.name };
    await sleep(2000); // the first values
    const first = { good, bad };
    const window = async (write) => {
        const cpu0 = pids.map(cpuSeconds);
        const notes0 = good + bad;
        const bad0 = bad;
        const t0 = Date.now();
        let how = null;
        for (let round = 0; Date.now() - t0 < kWatchMs; round++) {
            const tick = Date.now();
            if (write) {
                how = await write(round);
            }
            await sleep(Math.max(0, 1000 - (Date.now() - tick)));
        }
        const seconds = (Date.now() - t0) / 1000;
        return {
            notificationsPerSecond: (good + bad - notes0) / seconds,
            badPerSecond: (bad - bad0) / seconds,
            cpuPercent: pids.map((pid, k) => (100 * (cpuSeconds(pid) - cpu0[k])) / seconds),
            writes: how
        };
    };
    const quiet = await window(null);
    let changing;
    try {
        changing = await window(makeWriter(session, ns, names, http));
    } catch (error) {
        changing = { error: error.message };
    }
    await subscription.terminate().catch(() => {});
    return { createMs, created, first, quiet, changing, firstBad };
}

// ---------------------------------------------------------------- one server, then the other

async function startOurs(files) {
    const began = Date.now();
    const { child, http, opcua: endpoint, at } = await startServe(files.path, ["--opcua-port", "0", "--writable"]);
    const node = childPids(child.pid)[0];
    if (!node) {
        throw new Error("the node child of varbank serve was not found");
    }
    return { began, child, http, endpoint, pids: [node, child.pid], labels: ["node", "varbank"], serviceAt: at.http };
}

async function startStock(files) {
    const began = Date.now();
    const child = start("node", [`--max-old-space-size=${args["stock-heap-mb"]}`,
        `${root}/bench/opcua_stock_server.mjs`, "--names", files.names, "--dictionary", kDictionary,
        "--opcua-dir", opcuaDir]);
    const limit = Number(args["stock-start-s"]) * 1000;
    const { opcua: endpoint } = await waitForLines(child,
        { opcua: /^opcua: listening at (opc\.tcp:\/\/127\.0\.0\.1:\d+)$/ }, limit);
    return { began, child, http: null, endpoint, pids: [child.pid], labels: ["node"] };
}

// RSS of node-opcua alone: the stock server with an empty program, after its first session.
async function emptyServerRss() {
    mkdirSync(work, { recursive: true });
    const files = { names: `${work}/empty.tsv` };
    writeFileSync(files.names, "");
    let server;
    let client;
    try {
        server = await startStock(files);
        ({ client } = await firstSession(server.endpoint, server.began, 60000));
        return rssMiB(server.child.pid);
    } catch (error) {
        log(`empty server: ${error.message}`);
        return NaN;
    } finally {
        await client?.disconnect().catch(() => {});
        await stop(server?.child);
    }
}

async function measure(kind, files, items) {
    const result = { server: kind };
    let server;
    const clients = [];
    try {
        server = await (kind === "ours" ? startOurs(files) : startStock(files));
        const opened = await firstSession(server.endpoint, server.began, 60000);
        clients.push(opened.client);
        const { session } = opened;
        result.firstSessionMs = opened.ms;
        if (server.serviceAt) {
            result.afterServiceMs = opened.ms - (server.serviceAt - server.began);
        }
        const ns = (await session.readNamespaceArray()).indexOf(`urn:varbank:${kDictionary}`);
        const rootId = `ns=${ns};i=1`;
        const rss = () => Object.fromEntries(server.pids.map((pid, k) => [server.labels[k], rssMiB(pid)]));
        result.rssStart = rss();
        log(`${kind}: first session after ${opened.ms} ms, RSS ${JSON.stringify(result.rssStart)}`);
        result.browse = await withDeadline(browseRoot(session, rootId), kPhaseMs, "browse");
        result.rssBrowsed = rss();
        log(`${kind}: browse ${JSON.stringify(result.browse)}, RSS ${JSON.stringify(result.rssBrowsed)}`);
        result.translate = await withDeadline(translateRate(session, rootId, ns, items.leaves), kPhaseMs, "translate");
        log(`${kind}: translate ${JSON.stringify(result.translate)}`);
        result.read = await withDeadline(readRates(session, ns, items.leaves), kPhaseMs, "read");
        log(`${kind}: read ${JSON.stringify(result.read)}`);
        if (peerMode) {
            result.translateOne = await withDeadline(translateOneRate([session], rootId, ns, items.leaves),
                kPhaseMs, "translate one");
            const more = await Promise.all([1, 2, 3].map(() => firstSession(server.endpoint, Date.now(), 60000)));
            clients.push(...more.map((m) => m.client));
            result.translateOne4 = await withDeadline(translateOneRate([session, ...more.map((m) => m.session)],
                rootId, ns, items.leaves), kPhaseMs, "translate one, 4 sessions");
            log(`${kind}: one path ${JSON.stringify(result.translateOne)}, 4 sessions ${JSON.stringify(result.translateOne4)}`);
        } else {
            result.monitor = await withDeadline(monitor(session, ns, items.ints, server.pids, server.http),
                kPhaseMs, "monitored items");
            result.monitor.labels = server.labels;
            log(`${kind}: monitored ${JSON.stringify(result.monitor)}`);
        }
        result.rssEnd = rss();
        await session.close().catch(() => {});
    } catch (error) {
        result.error = error.message;
        log(`${kind}: ${error.message}`);
    } finally {
        await Promise.all(clients.map((c) => c.disconnect().catch(() => {})));
        await stop(server?.child);
    }
    return result;
}

// ---------------------------------------------------------------- the service over HTTP

// Output of a command run to its end (at most limitMs).
function runToEnd(command, argv, options, limitMs) {
    return new Promise((done, fail) => {
        const child = spawn(command, argv, { stdio: ["ignore", "pipe", "pipe"], ...options });
        let out = "";
        let err = "";
        child.stdout.on("data", (d) => (out += d));
        child.stderr.on("data", (d) => (err += d));
        const timer = setTimeout(() => child.kill("SIGKILL"), limitMs);
        child.on("error", fail);
        child.on("close", (code) => {
            clearTimeout(timer);
            (code === 0 ? done : fail)(code === 0 ? out : new Error(`${command} ${argv.join(" ")}: ${code}\n${out}${err}`));
        });
    });
}

// One wrk run of a bench/service/ script: requests/s and p99 in ms; any refused request fails it.
async function wrk(http, script, connections, variables, env = {}) {
    const seconds = Number(args.seconds);
    const text = await runToEnd("wrk", ["-t", "1", "-c", String(connections), "-d", `${seconds}s`,
        "--timeout", "10s", "--latency", "-s", `${root}/bench/service/${script}.lua`, http],
    { env: { ...process.env, ...env, VARBANK_VARIABLES: String(variables) } }, (seconds + 30) * 1000);
    if (/Non-2xx|Socket errors/.test(text)) {
        throw new Error(`wrk ${script}: ${text}`);
    }
    const p99 = /^\s+99%\s+([\d.]+)(us|ms|s)$/m.exec(text);
    return {
        perSecond: Number(/^Requests\/sec:\s+([\d.]+)/m.exec(text)?.[1]),
        p99Ms: p99 ? Number(p99[1]) * { us: 0.001, ms: 1, s: 1000 }[p99[2]] : NaN
    };
}

async function firstAnswer(http, began) {
    for (;;) {
        try {
            if ((await fetch(`${http}healthz`)).ok) {
                return Date.now() - began;
            }
        } catch {
            // not listening yet
        }
        await sleep(10);
    }
}

// The root in pages of 100 with their types and comments, as the OPC UA browse gives them.
async function browseRootHttp(http) {
    const began = Date.now();
    let references = 0;
    let pages = 0;
    let continuation = null;
    do {
        const query = new URLSearchParams({ path: "", pageSize: "100", columns: "CT" });
        if (continuation) {
            query.set("continuation", continuation);
        }
        const page = await getJson(`${http}api/dictionaries/${kDictionary}/browse?${query}`);
        references += page.children.length;
        pages++;
        continuation = page.continuation;
    } while (continuation);
    return { ms: Date.now() - began, references, pages };
}

async function measureHttp(files, variables) {
    const result = { server: "http" };
    let server;
    try {
        const began = Date.now();
        server = await startServe(files.path);
        const { http } = server;
        result.firstAnswerMs = await firstAnswer(http, began);
        const rss = () => ({ varbank: rssMiB(server.child.pid) });
        result.rssStart = rss();
        log(`http: first answer after ${result.firstAnswerMs} ms, RSS ${JSON.stringify(result.rssStart)}`);
        result.resolveOne1 = await wrk(http, "resolve_one", 1, variables);
        result.resolveOne16 = await wrk(http, "resolve_one", 16, variables);
        result.resolveBatch1 = await wrk(http, "resolve_batch", 1, variables);
        result.resolveBatch16 = await wrk(http, "resolve_batch", 16, variables);
        result.valuesBatch1 = await wrk(http, "values_batch", 1, variables, { VARBANK_LEAVES: "1" });
        result.browse = await withDeadline(browseRootHttp(http), kPhaseMs, "browse");
        result.rssEnd = rss();
        log(`http: ${JSON.stringify(result)}`);
    } catch (error) {
        result.error = error.message;
        log(`http: ${error.message}`);
    } finally {
        await stop(server?.child);
    }
    return result;
}

// ---------------------------------------------------------------- the table

const f0 = (x) => (Number.isFinite(x) ? x.toFixed(0) : "-");
const secondsText = (ms, digits) => (ms !== undefined ? (ms / 1000).toFixed(digits) : "-");
const mib = (rss) => (rss ? Object.entries(rss).map(([k, v]) => `${f0(v)} (${k})`).join(" + ") : "-");
const total = (rss) => f0(rss ? Object.values(rss).reduce((a, b) => a + b, 0) : NaN);
const cell = (text) => (text ?? "").replace(/\|/g, "/");

// The cells of one server's column, each [measure, figure].
function rows(r) {
    if (!r) {
        return null;
    }
    const m = r.monitor;
    const cpu = (w) => (w?.cpuPercent ? w.cpuPercent.map((c, k) => `${f0(c)} % (${m.labels[k]})`).join(" + ") : "-");
    const rateText = (x) => (x ? `${f0(x.perSecond)}${x.bad ? ` (${x.bad} bad: ${x.firstBad})` : ""}` : "-");
    const notes = (w) => {
        if (!w?.notificationsPerSecond && w?.notificationsPerSecond !== 0) {
            return "-";
        }
        return f0(w.notificationsPerSecond) + (w.badPerSecond ? ` (${f0(w.badPerSecond)} bad: ${m.firstBad})` : "");
    };
    const items = m?.created ? (m.created.good + m.created.refused).toLocaleString("en") : "10,000";
    const refused = m?.created?.refused ? ` (${m.created.refused} refused: ${m.created.reason})` : "";
    const first = m ? `${m.first.good} Good${m.first.bad ? `, ${m.first.bad} ${m.firstBad}` : ""}` : "-";
    return [
        ["time to first session (s)", secondsText(r.firstSessionMs, 2)],
        ["... after the service's HTTP line (the OPC UA side's own start) (s)", secondsText(r.afterServiceMs, 2)],
        ["RSS after start (MiB)", `${mib(r.rssStart)} = ${total(r.rssStart)}`],
        ["RSS after browsing the root (MiB)", `${mib(r.rssBrowsed)} = ${total(r.rssBrowsed)}`],
        ["browse of the root by 100 (s)", r.browse ? `${secondsText(r.browse.ms, 1)} (${r.browse.references} refs)` : "-"],
        ["TranslateBrowsePaths, 100 paths/request (requests/s)", rateText(r.translate)],
        ["Read, 100 Values not read before (requests/s)", rateText(r.read?.cold)],
        ["Read, the same 100 Values (requests/s)", rateText(r.read?.warm)],
        [`${items} monitored items: creation (s)`, m ? `${secondsText(m.createMs, 1)}${refused}` : "-"],
        ["... first values, 2 s after creation: notifications", first],
        ["... quiet values: notifications/s", notes(m?.quiet)],
        ["... quiet values: server CPU (% of a core)", cpu(m?.quiet)],
        ["... all changed each second: notifications/s", notes(m?.changing)],
        ["... all changed each second: server CPU (% of a core)", cpu(m?.changing)],
        ["... written by", m?.changing.writes ?? cell(m?.changing.error ?? "-")],
        ["error", cell(r.error)]
    ];
}

function table(results) {
    const lines = [];
    for (const [variables, bySize] of Object.entries(results)) {
        const ours = rows(bySize.ours);
        const stock = rows(bySize.stock);
        const labels = (ours ?? stock ?? rows({})).map((row) => row[0]);
        lines.push(`### ${Number(variables).toLocaleString("en")} variables (${bySize.nodes} nodes)`, "",
            "| measure | varbank front | stock node-opcua |", "|---|---|---|");
        labels.forEach((label, i) => {
            const a = ours?.[i][1] ?? "not run";
            const b = stock?.[i][1] ?? "not run";
            if (label !== "error" || a || b) {
                lines.push(`| ${label} | ${a} | ${b} |`);
            }
        });
        lines.push("");
    }
    return lines.join("\n");
}

// The service over HTTP against the stock server, with the ratio in the service's favour
// (the peer's figure over ours for times and memory, ours over the peer's for rates).
function peerTable(results) {
    const lines = [];
    const n = (x, digits = 0) => (Number.isFinite(x) ? x.toLocaleString("en", { maximumFractionDigits: digits }) : "-");
    const ratio = (a, b) => (Number.isFinite(a) && Number.isFinite(b) && b > 0 ? `${(a / b).toFixed(1)}x` : "");
    const sum = (rss) => (rss ? Object.values(rss).reduce((a, b) => a + b, 0) : NaN);
    for (const [variables, bySize] of Object.entries(results)) {
        const h = bySize.http ?? {};
        const p = bySize.stock ?? {};
        const names = (x) => (x?.perSecond ?? NaN) * 100;
        const rows = [
            ["start to first answer (s)", h.firstAnswerMs / 1000, p.firstSessionMs / 1000, 2, "less"],
            ["RSS after start (MiB)", sum(h.rssStart), sum(p.rssStart), 0, "less"],
            ["RSS after the runs (MiB)", sum(h.rssEnd), sum(p.rssEnd), 0, "less"],
            ["one name per request, 1 connection (requests/s)", h.resolveOne1?.perSecond, p.translateOne?.perSecond, 0, "more"],
            ["one name per request, 16 connections; peer: 4 sessions (requests/s)", h.resolveOne16?.perSecond,
                p.translateOne4?.perSecond, 0, "more"],
            ["100 names per request, 1 connection (names/s)", names(h.resolveBatch1), names(p.translate), 0, "more"],
            ["100 values per request, 1 connection (values/s)", names(h.valuesBatch1), names(p.read?.cold), 0, "more"],
            ["the root in pages of 100 (s)", h.browse?.ms / 1000, p.browse?.ms / 1000, 2, "less"],
            ["100 names per request, 16 connections: p99 (ms)", h.resolveBatch16?.p99Ms, NaN, 2, "less"]
        ];
        lines.push(`### ${Number(variables).toLocaleString("en")} variables (${bySize.nodes} nodes)`, "",
            "| | `varbank serve` (HTTP/JSON) | stock node-opcua | ratio |", "|---|---:|---:|---:|");
        for (const [label, ours, peer, digits, better] of rows) {
            const r = better === "less" ? ratio(peer, ours) : ratio(ours, peer);
            lines.push(`| ${label} | ${n(ours, digits)} | ${n(peer, digits)} | ${r} |`);
        }
        for (const [who, r] of [["varbank", h], ["node-opcua", p]]) {
            if (r.error) {
                lines.push(`| error (${who}) | ${cell(r.error)} | | |`);
            }
        }
        lines.push("");
    }
    return lines.join("\n");
}

async function main() {
    if (!existsSync(varbank)) {
        throw new Error(`${varbank} is missing: cmake --preset release && cmake --build ${args.build} --target varbank`);
    }
    const sizes = args.variables.split(",").map(Number);
    const servers = args.servers.split(",").filter(Boolean);
    if (servers.some((s) => s !== "ours" && s !== "stock" && s !== "http")) {
        throw new Error(`--servers takes ours, stock and http, not '${args.servers}'`);
    }
    const results = {};
    const loadBefore = loadavg()[0];
    const emptyRss = peerMode ? NaN : await emptyServerRss();
    for (const variables of sizes) {
        const files = program(variables);
        await walkNames(files);
        const items = await pickItems(files, variables);
        results[variables] = { nodes: items.nodes };
        for (const kind of servers) {
            log(`-- ${kind}, ${variables} variables`);
            results[variables][kind] = kind === "http" ? await measureHttp(files, variables)
                : await measure(kind, files, items);
        }
    }
    const head = [
        `# OPC UA front vs a stock node-opcua server (${new Date().toISOString().slice(0, 10)})`, "",
        `Machine: ${cpus().length} cores shared with other workers building code at the same time, ` +
        `${(totalmem() / 2 ** 30).toFixed(0)} GiB (load average ${loadBefore.toFixed(1)} at the start, ` +
        `${loadavg()[0].toFixed(1)} at the end: the rates and start times vary with the other workers' load); ` +
        `varbank ${args.build} (Release), node ${process.version}, ` +
        `node-opcua ${createRequire(`${opcuaDir}/package.json`)("node-opcua/package.json").version}. ` +
        "Each server alone in turn, the same client script (node-opcua's client, same machine). " +
        "The stock server (bench/opcua_stock_server.mjs) builds every node at start from the name space " +
        "walked once over the service's HTTP browse; its values are in memory. RSS: VmRSS, for varbank's " +
        "front the node child and the varbank service (which holds the dictionary). Monitored items: " +
        "10,000 INT leaves at 100 ms, queue 1, for 10 s quiet and then 10 s with every value changed once a second. " +
        `node-opcua alone (the stock server with no program, after its first session): ${f0(emptyRss)} MiB.`,
        ""
    ].join("\n");
    const peerHead = [
        `# varbank serve against a stock node-opcua server (${new Date().toISOString().slice(0, 10)})`, "",
        `Machine: ${cpus().length} cores, ${(totalmem() / 2 ** 30).toFixed(0)} GiB, load average ` +
        `${loadBefore.toFixed(1)} at the start and ${loadavg()[0].toFixed(1)} at the end; varbank ${args.build} ` +
        `(Release), node ${process.version}, node-opcua ` +
        `${createRequire(`${opcuaDir}/package.json`)("node-opcua/package.json").version} from the OPC UA front's lock file. ` +
        "Each server alone in turn on 127.0.0.1. varbank: `wrk -t 1` with the scripts of bench/service/ " +
        `for ${args.seconds} s each (random names of the whole program; values of elementary variables ` +
        "only, one value per name), the root browsed over HTTP. " +
        "The peer: bench/opcua_stock_server.mjs (every node built at start, values in memory) measured by " +
        "node-opcua's client: TranslateBrowsePath for names, Read of Values not read before, Browse " +
        "with 100 references per node and BrowseNext.",
        ""
    ].join("\n");
    const text = peerMode ? `${peerHead}\n${peerTable(results)}` : `${head}\n${table(results)}`;
    mkdirSync(dirname(args.out), { recursive: true });
    writeFileSync(args.out, text);
    writeFileSync(`${work}/opcua.json`, JSON.stringify(results, null, 2) + "\n");
    process.stdout.write(text);
}

main().then(() => process.exit(0), (error) => {
    log(`opcua_bench: ${error.stack ?? error}`);
    process.exit(1);
});
