// Monitored items under load: `varbank serve --opcua-port 0` holding 10,000 DINT items on its
// memory image, every item monitored at 100 ms by one node-opcua client (one subscription,
// publishing every 100 ms), while a writer changes 10% of the items every 100 ms through PUT.
// Reports the notifications received per second and the CPU (of one core) of the service and
// of its node child. Loopback only, bounded in time; prints a Markdown table.
//
//   node bench/opcua_subscribe_bench.mjs [--binary build-release/varbank] [--seconds 10]
import { spawn } from "node:child_process";
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { createRequire } from "node:module";
import { tmpdir } from "node:os";
import { dirname, join } from "node:path";
import { createInterface } from "node:readline";
import { fileURLToPath } from "node:url";
import { parseArgs } from "node:util";

const root = join(dirname(fileURLToPath(import.meta.url)), "..");
const opcua = createRequire(join(root, "opcua", "package.json"))("node-opcua");
const { AttributeIds, MonitoringMode, OPCUAClient, TimestampsToReturn } = opcua;

const kItems = 10000;
const kIntervalMs = 100;
const kChanging = kItems / 10;
const kToken = "bench-token";
const kTicksPerSecond = 100; // USER_HZ on Linux

const { values: args } = parseArgs({
    options: {
        binary: { type: "string", default: join(root, "build-release", "host", "varbank") },
        seconds: { type: "string", default: "10" }
    }
});
const seconds = Number(args.seconds);

function writeProgram(folder) {
    const variables = Array.from({ length: kItems },
        (_v, i) => `<variable name="V${i}"><type><DINT/></type></variable>`).join("\n");
    const path = join(folder, "bench.xml");
    writeFileSync(path, '<?xml version="1.0"?>\n<project xmlns="http://www.plcopen.org/xml/tc6_0201">' +
        '<contentHeader name="bench"/><types><dataTypes/><pous/></types><instances>' +
        '<configurations><configuration name="C"><globalVars>\n' + variables +
        "\n</globalVars></configuration></configurations></instances></project>\n");
    return path;
}

function start(program) {
    const child = spawn(args.binary, ["serve", program, "--port", "0", "--opcua-port", "0", "--writable"],
        { stdio: ["ignore", "pipe", "inherit"], env: { ...process.env, VARBANK_TOKEN: kToken } });
    return new Promise((resolve, reject) => {
        const found = {};
        const timer = setTimeout(() => reject(new Error("varbank serve did not start")), 120000);
        child.on("exit", (code) => reject(new Error(`varbank serve exited with ${code}`)));
        createInterface({ input: child.stdout }).on("line", (line) => {
            found.http ??= /^serving .* at (http:\S+)$/.exec(line)?.[1];
            found.opcua ??= /^opcua: listening at (opc\.tcp:\S+)$/.exec(line)?.[1];
            if (found.http && found.opcua) {
                clearTimeout(timer);
                resolve({ child, ...found });
            }
        });
    });
}

function cpuSeconds(pid) {
    const fields = readFileSync(`/proc/${pid}/stat`, "utf8").split(") ")[1].split(" ");
    return (Number(fields[11]) + Number(fields[12])) / kTicksPerSecond;
}

function childrenOf(pid) {
    return readFileSync(`/proc/${pid}/task/${pid}/children`, "utf8").trim().split(/\s+/).map(Number);
}

async function main() {
    const folder = mkdtempSync(join(tmpdir(), "varbank-opcua-bench-"));
    const { child, http, opcua: endpoint } = await start(writeProgram(folder));
    const nodePid = childrenOf(child.pid)[0];
    const client = OPCUAClient.create({ endpointMustExist: false, connectionStrategy: { maxRetry: 0 } });
    await client.connect(endpoint);
    const session = await client.createSession();
    const ns = (await session.readNamespaceArray()).indexOf("urn:varbank:bench");
    const subscription = await session.createSubscription2({
        requestedPublishingInterval: kIntervalMs, requestedMaxKeepAliveCount: 20, requestedLifetimeCount: 600,
        maxNotificationsPerPublish: 0, publishingEnabled: true
    });
    let notifications = 0;
    subscription.on("raw_notification", (message) => {
        for (const data of message.notificationData ?? []) {
            notifications += data.monitoredItems?.length ?? 0;
        }
    });
    const created = Date.now();
    const response = await session.createMonitoredItems({
        subscriptionId: subscription.subscriptionId,
        timestampsToReturn: TimestampsToReturn.Both,
        itemsToCreate: Array.from({ length: kItems }, (_v, i) => ({
            itemToMonitor: { nodeId: `ns=${ns};s=V${i}`, attributeId: AttributeIds.Value },
            monitoringMode: MonitoringMode.Reporting,
            requestedParameters: { clientHandle: i + 1, samplingInterval: kIntervalMs, queueSize: 1, discardOldest: true }
        }))
    });
    const good = response.results.filter((r) => r.statusCode.isGood()).length;
    while (notifications < good) {
        await new Promise((resolve) => setTimeout(resolve, 50));
    }
    const firstMs = Date.now() - created;

    let round = 0;
    let writing = true;
    const writer = (async () => {
        while (writing) {
            const began = Date.now();
            const values = {};
            for (let i = 0; i < kChanging; i++) {
                values[`V${(round * kChanging + i) % kItems}`] = round + 1;
            }
            await fetch(`${http}api/dictionaries/bench/values`, {
                method: "PUT", headers: { Authorization: `Bearer ${kToken}` }, body: JSON.stringify({ values })
            });
            round++;
            await new Promise((resolve) => setTimeout(resolve, Math.max(0, kIntervalMs - (Date.now() - began))));
        }
    })();
    const before = { service: cpuSeconds(child.pid), node: cpuSeconds(nodePid), notifications, round, at: Date.now() };
    await new Promise((resolve) => setTimeout(resolve, seconds * 1000));
    const after = { service: cpuSeconds(child.pid), node: cpuSeconds(nodePid), notifications, round, at: Date.now() };
    writing = false;
    await writer;
    const elapsed = (after.at - before.at) / 1000;
    const rate = (after.notifications - before.notifications) / elapsed;
    const percent = (key) => ((100 * (after[key] - before[key])) / elapsed).toFixed(0);
    console.log("| items | interval | written per second | notifications/s | service CPU | node CPU | first values |");
    console.log("|---|---|---|---|---|---|---|");
    console.log(`| ${good} of ${kItems} | ${kIntervalMs} ms | ${((kChanging * (after.round - before.round)) / elapsed).toFixed(0)} | ` +
        `${rate.toFixed(0)} | ${percent("service")}% | ${percent("node")}% | ${firstMs} ms |`);
    await session.close();
    await client.disconnect();
    child.kill("SIGTERM");
    await new Promise((resolve) => child.on("exit", resolve));
    rmSync(folder, { recursive: true, force: true });
}

main().catch((error) => {
    console.error(error);
    process.exit(1);
});
