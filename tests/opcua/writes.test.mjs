// Writes, item properties and whole-array reads: node-opcua's client against
// `varbank serve examples/production_line.xml --writable` (token in $VARBANK_TOKEN) and against
// a service that takes no writes; what it wrote and read is compared with the HTTP answers.
import assert from "node:assert/strict";
import { createRequire } from "node:module";
import { after, before, test } from "node:test";

import { startServe, stopServe } from "./support.mjs";

const opcua = createRequire(`${process.env.VARBANK_OPCUA_DIR}/package.json`)("node-opcua");
const { AttributeIds, BrowseDirection, DataType, OPCUAClient, StatusCodes, UserTokenType, VariantArrayType } = opcua;

const kToken = "opcua-test-token";
const dictionary = "production_line";

// Serves the example with `args`, the environment `env` added.
async function serveExample(args, env) {
    return { ...(await startServe([`${process.env.VARBANK_EXAMPLES}/production_line.xml`, ...args], { env })), sessions: [] };
}

async function connect(server) {
    server.client = OPCUAClient.create({ endpointMustExist: false, connectionStrategy: { maxRetry: 0 } });
    await server.client.connect(server.opcua);
    return server;
}

async function session(server, identity) {
    const created = await server.client.createSession(identity);
    server.sessions.push(created);
    return created;
}

const user = (password) => ({ type: UserTokenType.UserName, userName: "operator", password });

async function api(server, path, body) {
    const response = await fetch(`${server.http}api/dictionaries/${dictionary}/${path}`,
        body ? { method: "POST", body: JSON.stringify(body) } : {});
    assert.equal(response.status, 200, path);
    return response.json();
}

async function httpValues(server, names) {
    return (await api(server, "values", { items: names })).values.map((v) => v.value);
}

let writable; // the writable service
let readOnly; // a service without --writable
let anonymous; // a session of each
let operator;
let ns;
const itemId = (name) => `ns=${ns};s=${name}`;

before(async () => {
    [writable, readOnly] = await Promise.all([
        serveExample(["--writable"], { VARBANK_TOKEN: kToken }),
        serveExample([], { VARBANK_TOKEN: "" })
    ]);
    await Promise.all([connect(writable), connect(readOnly)]);
    anonymous = await session(writable);
    operator = await session(writable, user(kToken));
    ns = (await anonymous.readNamespaceArray()).indexOf(`urn:varbank:${dictionary}`);
    assert.ok(ns > 0);
});

after(async () => {
    for (const server of [writable, readOnly].filter((s) => s)) {
        for (const s of server.sessions) {
            await s.close().catch(() => {});
        }
        await server.client?.disconnect();
        await stopServe(server.child);
    }
});

const variant = (dataType, value, arrayType = VariantArrayType.Scalar) => ({ value: { dataType, arrayType, value } });

test("a session whose password is not the token is refused; a user session may write", async () => {
    await assert.rejects(session(writable, user("wrong")), "a wrong password cannot activate a session");
    await assert.rejects(session(readOnly, user(kToken)), "a service without writes takes no user");
    const levels = async (s, name) => (await s.read([AttributeIds.AccessLevel, AttributeIds.UserAccessLevel]
        .map((attributeId) => ({ nodeId: itemId(name), attributeId })))).map((d) => d.value.value);
    assert.deepEqual(await levels(anonymous, "Motor1.Speed"), [3, 1], "anonymous: CurrentRead");
    assert.deepEqual(await levels(operator, "Motor1.Speed"), [3, 3], "user: CurrentRead | CurrentWrite");
    assert.deepEqual(await levels(operator, "Speeds"), [3, 3], "a whole array too");
});

test("anonymous writes are refused, and a service without writes refuses every one", async () => {
    const write = { nodeId: itemId("Motor1.Speed"), attributeId: AttributeIds.Value, value: variant(DataType.Int16, 7) };
    assert.equal(await anonymous.write(write), StatusCodes.BadUserAccessDenied);
    const plain = await session(readOnly);
    assert.equal(await plain.write(write), StatusCodes.BadNotWritable);
    const access = await plain.read({ nodeId: itemId("Motor1.Speed"), attributeId: AttributeIds.AccessLevel });
    assert.equal(access.value.value, 1, "CurrentRead only");
    assert.deepEqual(await httpValues(writable, ["Motor1.Speed"]), [0], "nothing was written");
});

test("each node of one Write gets its own status; what was written reads back over HTTP", async () => {
    // [name, attribute, value, status, value read back over HTTP when written]
    const cases = [
        ["Motor1.Current", AttributeIds.Value, variant(DataType.Float, 12.5), StatusCodes.Good, 12.5],
        ["Motor1.Running", AttributeIds.Value, variant(DataType.Boolean, true), StatusCodes.Good, true],
        ["Counter", AttributeIds.Value, variant(DataType.Int32, -5), StatusCodes.Good, -5],
        ["Line.Filler.Steps", AttributeIds.Value, variant(DataType.UInt32, 4294967295), StatusCodes.Good, 4294967295],
        ["LineName", AttributeIds.Value, variant(DataType.String, "Line 2"), StatusCodes.Good, "Line 2"],
        ["Status.3", AttributeIds.Value, variant(DataType.Boolean, true), StatusCodes.Good, true],
        ["Speeds", AttributeIds.Value, variant(DataType.Int16, [1, 2, 3, 4, 5, 6, 7, 8, 9, -10], VariantArrayType.Array),
            StatusCodes.Good, [1, 2, 3, 4, 5, 6, 7, 8, 9, -10]],
        ["Line.Conveyors[1].Load", AttributeIds.Value, variant(DataType.Int16, 150), StatusCodes.BadOutOfRange, 0],
        ["Motor1.Label", AttributeIds.Value, variant(DataType.String, "far too long a label"), StatusCodes.BadOutOfRange, ""],
        ["Motor1.Current", AttributeIds.Value, variant(DataType.Float, Number.POSITIVE_INFINITY), StatusCodes.BadOutOfRange, 12.5],
        ["Motor1.Speed", AttributeIds.Value, variant(DataType.Int32, 5), StatusCodes.BadTypeMismatch, 0],
        ["Motor1.Running", AttributeIds.Value, variant(DataType.String, "TRUE"), StatusCodes.BadTypeMismatch, true],
        ["Motor2.Speed", AttributeIds.Value, variant(DataType.Int16, [1, 2], VariantArrayType.Array), StatusCodes.BadTypeMismatch, 0],
        ["Line.Recipes[1]", AttributeIds.Value, variant(DataType.Float, [1, 2], VariantArrayType.Array), StatusCodes.BadTypeMismatch, [0, 0, 0]],
        ["Nope", AttributeIds.Value, variant(DataType.Int16, 1), StatusCodes.BadNodeIdUnknown],
        ["Motor1.Speed#Offset", AttributeIds.Value, variant(DataType.UInt32, 1), StatusCodes.BadNotWritable],
        ["Motor2.Speed", AttributeIds.DisplayName, { value: { dataType: DataType.LocalizedText, value: { text: "x" } } },
            StatusCodes.BadNotWritable, 0],
        ["Motor1", AttributeIds.Value, variant(DataType.Int16, 1), StatusCodes.BadAttributeIdInvalid]
    ];
    const statuses = await operator.write(cases.map(([name, attributeId, value]) =>
        ({ nodeId: itemId(name), attributeId, value })));
    cases.forEach(([name, , , status], i) => assert.equal(statuses[i].name, status.name, `${name} #${i}`));
    const checked = cases.filter((c) => c.length === 5);
    const read = await httpValues(writable, checked.map(([name]) => name));
    checked.forEach(([name, , , , expected], i) => assert.deepEqual(read[i], expected, name));

    // A node written twice in one request ends with the later value.
    const twice = await operator.write([5, 6].map((v) =>
        ({ nodeId: itemId("Motor2.Speed"), attributeId: AttributeIds.Value, value: variant(DataType.Int16, v) })));
    assert.deepEqual(twice.map((s) => s.name), ["Good", "Good"]);
    assert.deepEqual(await httpValues(writable, ["Motor2.Speed"]), [6]);
});

test("an item's properties are browsed and read as resolve gives them", async () => {
    const names = ["Motor1.Speed", "Status.3", "InletSensor", "Speeds", "Motor1"];
    const resolved = (await api(writable, "resolve", { items: names })).results;
    for (const [i, name] of names.entries()) {
        const browsed = await anonymous.browse({ nodeId: itemId(name), browseDirection: BrowseDirection.Forward,
            referenceTypeId: "HasProperty", includeSubtypes: true, resultMask: 63 });
        assert.equal(browsed.statusCode, StatusCodes.Good, name);
        const properties = browsed.references.map((r) => [r.browseName.name, r.nodeId.toString()]);
        assert.deepEqual(properties, ["Address", "Block", "Offset", "TypeName"].map((p) => [p, itemId(`${name}#${p}`)]), name);
        const values = (await anonymous.read(browsed.references.map((r) =>
            ({ nodeId: r.nodeId, attributeId: AttributeIds.Value })))).map((d) => d.value.value);
        const r = resolved[i];
        assert.deepEqual(values, [r.address, r.block, r.offset, r.bit === null ? r.typeName : "BOOL"], name);
        const owner = await anonymous.browse({ nodeId: itemId(`${name}#Offset`), browseDirection: BrowseDirection.Inverse,
            resultMask: 63 });
        assert.deepEqual(owner.references.map((ref) => ref.nodeId.toString()), [itemId(name)], `${name}#Offset's item`);
    }
    const unknown = await anonymous.read({ nodeId: itemId("Nope#Offset"), attributeId: AttributeIds.Value });
    assert.equal(unknown.statusCode, StatusCodes.BadNodeIdUnknown);
});

test("an array of an elementary type is read whole, and still browsed element by element", async () => {
    for (const [name, dataType, length] of [["Speeds", DataType.Int16, 10], ["Line.Recipes[1]", DataType.Float, 3]]) {
        const [value, rank, dimensions, type] = await anonymous.read([AttributeIds.Value, AttributeIds.ValueRank,
            AttributeIds.ArrayDimensions, AttributeIds.DataType].map((attributeId) => ({ nodeId: itemId(name), attributeId })));
        assert.equal(value.statusCode, StatusCodes.Good, name);
        assert.equal(value.value.arrayType, VariantArrayType.Array, name);
        const [http] = await httpValues(writable, [name]);
        assert.deepEqual(Array.from(value.value.value), http.map((v) => (dataType === DataType.Float ? Math.fround(v) : v)), name);
        assert.equal(rank.value.value, 1, name);
        assert.deepEqual(Array.from(dimensions.value.value), [length], name);
        assert.equal(type.value.value.toString(), `ns=0;i=${dataType}`, name);
        const elements = await anonymous.browse({ nodeId: itemId(name), browseDirection: BrowseDirection.Forward,
            referenceTypeId: "HasComponent", includeSubtypes: true, resultMask: 63 });
        assert.equal(elements.references.length, length, `${name}: its elements`);
    }
    const ranged = await anonymous.read({ nodeId: itemId("Speeds"), attributeId: AttributeIds.Value, indexRange: "2:4" });
    assert.deepEqual(Array.from(ranged.value.value), (await httpValues(writable, ["Speeds"]))[0].slice(2, 5));
    const recipes = await anonymous.read({ nodeId: itemId("Line.Recipes"), attributeId: AttributeIds.Value });
    assert.equal(recipes.statusCode, StatusCodes.BadAttributeIdInvalid, "an array of several dimensions stays an object");
});

test("Variants become the service's JSON values; refused Variants and reasons get their codes", async () => {
    const { jsonOfScalar } = await import("../../opcua/lib/VariantJson.mjs");
    const { statusOfWriteError } = await import("../../opcua/lib/ValueWriter.mjs");
    const { dataTypeOf } = await import("../../opcua/lib/DataTypes.mjs");
    const scalar = (dataType, value) => ({ dataType, arrayType: VariantArrayType.Scalar, value });
    // [IEC type, Variant, JSON text or status]
    const cases = [
        ["LINT", scalar(DataType.Int64, [0x7fffffff, 0xffffffff]), "9223372036854775807"],
        ["LINT", scalar(DataType.Int64, [0xffffffff, 0xfffffffe]), "-2"],
        ["ULINT", scalar(DataType.UInt64, [0xffffffff, 0xffffffff]), "18446744073709551615"],
        ["LREAL", scalar(DataType.Double, 0.1), "0.1"],
        ["LREAL", scalar(DataType.Double, Number.NaN), StatusCodes.BadOutOfRange],
        ["TIME", scalar(DataType.Double, 1500), "1500"],
        ["TOD", scalar(DataType.Double, 30600500), '"TOD#08:30:00.500"'],
        ["TOD", scalar(DataType.Double, 86400000), StatusCodes.BadOutOfRange],
        ["DT", scalar(DataType.DateTime, new Date(Date.UTC(2024, 0, 15, 8, 30, 0))), '"DT#2024-01-15-08:30:00"'],
        ["DATE", scalar(DataType.DateTime, new Date(Date.UTC(2024, 0, 15))), '"D#2024-01-15"'],
        ["DATE", scalar(DataType.DateTime, new Date(Date.UTC(2024, 0, 15, 1))), StatusCodes.BadOutOfRange],
        ["STRING", scalar(DataType.String, 'say "hi"'), '"say \\"hi\\""'],
        ["DINT", scalar(DataType.Int16, 1), StatusCodes.BadTypeMismatch],
        ["INT", { dataType: DataType.Int16, arrayType: VariantArrayType.Array, value: [1] }, StatusCodes.BadTypeMismatch]
    ];
    for (const [typeName, variant, expected] of cases) {
        const json = jsonOfScalar(dataTypeOf(typeName), typeName, variant);
        const got = json.status ?? json.text;
        assert.equal(got, expected, `${typeName} ${JSON.stringify(variant.value)}`);
    }
    const reasons = [
        ["A: 99999 is out of range for INT (-32768..32767)", StatusCodes.BadOutOfRange],
        ["A: 'x' is not a INT", StatusCodes.BadTypeMismatch],
        ["Nope: unknown variable", StatusCodes.BadNodeIdUnknown],
        ["plc:502: the PLC is not answering; next try in 1000 ms", StatusCodes.BadCommunicationError],
        ["X: %IX0.1 is an input: it cannot be written", StatusCodes.BadNotWritable],
        ["something new", StatusCodes.BadInternalError]
    ];
    for (const [reason, status] of reasons) {
        assert.equal(statusOfWriteError(reason), status, reason);
    }
});
