// A served program changed on disk: the OPC UA front drops the dictionary's cached nodes when
// its stamp changes, and a client sees the new program on its next browse and read.
import assert from "node:assert/strict";
import { copyFileSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { createRequire } from "node:module";
import { tmpdir } from "node:os";
import path from "node:path";
import { after, before, test } from "node:test";

import { startServe } from "./support.mjs";

const opcua = createRequire(`${process.env.VARBANK_OPCUA_DIR}/package.json`)("node-opcua");
const { AttributeIds, DataType, OPCUAClient, StatusCodes } = opcua;

const folder = mkdtempSync(path.join(tmpdir(), "varbank-reload-"));
const program = path.join(folder, "production_line.xml");
let serve;
let client;
let session;
let ns;

before(async () => {
    copyFileSync(`${process.env.VARBANK_EXAMPLES}/production_line.xml`, program);
    let endpoint;
    ({ child: serve, opcua: endpoint } = await startServe(
        [program, "--watch-ms", "100", "--state", path.join(folder, "state")]));
    client = OPCUAClient.create({ endpointMustExist: false, connectionStrategy: { maxRetry: 0 } });
    await client.connect(endpoint);
    session = await client.createSession();
    const namespaces = (await session.readNamespaceArray());
    ns = namespaces.indexOf("urn:varbank:production_line");
});

after(async () => {
    await session?.close();
    await client?.disconnect();
    serve?.kill("SIGTERM");
    rmSync(folder, { recursive: true, force: true });
});

async function rootNames() {
    const names = [];
    let result = await session.browse({ nodeId: `ns=${ns};i=1`, resultMask: 63 });
    for (;;) {
        names.push(...result.references.filter((r) => r.isForward).map((r) => r.browseName.name));
        if (!result.continuationPoint || result.continuationPoint.length === 0) {
            return names;
        }
        result = await session.browseNext(result.continuationPoint, false);
    }
}

const read = (name, attributeId) => session.read({ nodeId: `ns=${ns};s=${name}`, attributeId });

test("a reloaded program is seen on the next browse and read", async () => {
    assert.ok((await rootNames()).includes("ValveCommand"));
    assert.equal((await read("ValveCommand", AttributeIds.DataType)).value.value.value, DataType.UInt16);
    assert.equal((await read("Line.ActiveRecipe", AttributeIds.DataType)).value.value.value, DataType.Int16);

    // ValveCommand renamed, ActiveRecipe made a DINT.
    const text = readFileSync(program, "utf8")
        .replace('<variable name="ValveCommand"', '<variable name="ValveCommands"')
        .replace(/(<variable name="ActiveRecipe">\s*<type>)<INT\/>/, "$1<DINT/>");
    writeFileSync(program, text);

    const deadline = Date.now() + 30000;
    while (!(await rootNames()).includes("ValveCommands")) {
        assert.ok(Date.now() < deadline, "the new program is browsed within 30 s");
        await new Promise((resolve) => setTimeout(resolve, 200));
    }
    // The node cache follows the stamp, polled every second.
    let type;
    while ((type = (await read("Line.ActiveRecipe", AttributeIds.DataType)).value?.value?.value) !== DataType.Int32) {
        assert.ok(Date.now() < deadline, `ActiveRecipe is still ${type}`);
        await new Promise((resolve) => setTimeout(resolve, 200));
    }
    assert.equal((await read("ValveCommand", AttributeIds.Value)).statusCode, StatusCodes.BadNodeIdUnknown);
    assert.equal((await read("ValveCommands", AttributeIds.Value)).statusCode, StatusCodes.Good);
});
