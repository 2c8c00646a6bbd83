// The OPC UA front's own modules: exact JSON, data types, item paths, continuation points and
// the bounded node cache.
import assert from "node:assert/strict";
import { createRequire } from "node:module";
import { test } from "node:test";

import { BoundedCache } from "../../opcua/lib/BoundedCache.mjs";
import { ContinuationPoints, isOurContinuationPoint } from "../../opcua/lib/ContinuationPoint.mjs";
import { dataTypeOf, dateOf, highLow, timeOfDayOf, variantValueOf } from "../../opcua/lib/DataTypes.mjs";
import { parseExactJson } from "../../opcua/lib/ExactJson.mjs";
import { browseNameOf, childOf, parentOf } from "../../opcua/lib/ItemPaths.mjs";

const opcua = createRequire(new URL("../../opcua/package.json", import.meta.url))("node-opcua");
const { DataType } = opcua;

test("exact JSON keeps 64-bit integers and leaves the rest to JSON.parse", () => {
    const cases = [
        ['{"value": 9223372036854775807}', { value: 9223372036854775807n }],
        ['{"value": -9223372036854775808}', { value: -9223372036854775808n }],
        ['{"value": 18446744073709551615}', { value: 18446744073709551615n }],
        ['{"value": 123456789012345}', { value: 123456789012345 }],
        ['{"value": 1.5e300}', { value: 1.5e300 }],
        ['{"value": 12345678901234567.5}', { value: 12345678901234567.5 }],
        ['{"name": "12345678901234567890", "n": 1}', { name: "12345678901234567890", n: 1 }],
        ['{"name": "a\\"12345678901234567890", "v": [1, 22222222222222222222]}',
            { name: 'a"12345678901234567890', v: [1, 22222222222222222222n] }]
    ];
    for (const [text, expected] of cases) {
        assert.deepEqual(parseExactJson(text), expected, text);
    }
    assert.throws(() => parseExactJson("{"), SyntaxError);
});

test("IEC types map to OPC UA data types", () => {
    const cases = [
        ["BOOL", DataType.Boolean, "ns=0;i=1"],
        ["SINT", DataType.SByte, "ns=0;i=2"],
        ["INT", DataType.Int16, "ns=0;i=4"],
        ["DINT", DataType.Int32, "ns=0;i=6"],
        ["LINT", DataType.Int64, "ns=0;i=8"],
        ["USINT", DataType.Byte, "ns=0;i=3"],
        ["UINT", DataType.UInt16, "ns=0;i=5"],
        ["UDINT", DataType.UInt32, "ns=0;i=7"],
        ["ULINT", DataType.UInt64, "ns=0;i=9"],
        ["WORD", DataType.UInt16, "ns=0;i=5"],
        ["REAL", DataType.Float, "ns=0;i=10"],
        ["LREAL", DataType.Double, "ns=0;i=11"],
        ["STRING[20]", DataType.String, "ns=0;i=12"],
        ["string", DataType.String, "ns=0;i=12"],
        ["TIME", DataType.Double, "ns=0;i=290"],
        ["TOD", DataType.Double, "ns=0;i=290"],
        ["DATE", DataType.DateTime, "ns=0;i=13"],
        ["DT", DataType.DateTime, "ns=0;i=13"],
        ["INT (0..100)", DataType.Int16, "ns=0;i=4"]
    ];
    for (const [iec, builtIn, nodeId] of cases) {
        const type = dataTypeOf(iec);
        assert.equal(type?.builtIn, builtIn, iec);
        assert.equal(type.nodeId, nodeId, iec);
    }
    for (const composite of ["Motor", "ARRAY[0..9] OF INT", "", undefined, "STRING[x]", "(Off, On)"]) {
        assert.equal(dataTypeOf(composite), null, String(composite));
    }
});

test("values the service reads become Variant values of their type, or nothing", () => {
    const cases = [
        ["BOOL", { value: true }, true],
        ["BOOL", { value: 1 }, undefined],
        ["INT", { value: -5 }, -5],
        ["INT", { value: "5" }, undefined],
        ["REAL", { value: 1.5 }, 1.5],
        ["STRING[12]", { value: "abc" }, "abc"],
        ["STRING[12]", { value: null }, undefined],
        ["TIME", { value: "T#1s500ms", milliseconds: 1500 }, 1500],
        ["TIME", { value: "T#1s500ms" }, undefined],
        ["TOD", { value: "TOD#08:00:01.5" }, 28801500],
        ["DATE", { value: "D#2024-01-15" }, new Date(Date.UTC(2024, 0, 15))],
        ["DT", { value: "DT#2024-01-15-08:00:00" }, new Date(Date.UTC(2024, 0, 15, 8))],
        ["DT", { value: "2024-01-15" }, undefined],
        ["LINT", { value: -1 }, [0xffffffff, 0xffffffff]],
        ["ULINT", { value: 18446744073709551615n }, [0xffffffff, 0xffffffff]]
    ];
    for (const [iec, read, expected] of cases) {
        assert.deepEqual(variantValueOf(dataTypeOf(iec), read), expected, `${iec} ${JSON.stringify(read, (_k, v) => typeof v === "bigint" ? `${v}n` : v)}`);
    }
});

test("64-bit integers are split as the stack splits them", () => {
    for (const value of ["0", "1", "-1", "4294967296", "-4294967297", "9223372036854775807", "-9223372036854775808"]) {
        assert.deepEqual(highLow(BigInt(value)), opcua.coerceInt64(value), value);
    }
    assert.deepEqual(highLow(18446744073709551615n), opcua.coerceUInt64("18446744073709551615"));
});

test("IEC dates and times of day are read, malformed ones refused", () => {
    assert.equal(dateOf("LDT#2024-02-29-23:59:59.25")?.toISOString(), "2024-02-29T23:59:59.250Z");
    assert.equal(dateOf("D#1970-01-01")?.getTime(), 0);
    for (const bad of ["D#2024-1-15", "DT#2024-01-15 08:00:00", "T#1s", ""]) {
        assert.equal(dateOf(bad), undefined, bad);
    }
    assert.equal(timeOfDayOf("TOD#23:59:59"), 86399000);
    assert.equal(timeOfDayOf("LTOD#00:00:00.001"), 1);
    assert.equal(timeOfDayOf("08:00:00"), undefined);
});

test("item names as a tree: browse names, parents and children", () => {
    const cases = [
        // name, browse name, parent
        ["Motor1", "Motor1", ""],
        ["Motor1.Speed", "Speed", "Motor1"],
        ["Status.3", "3", "Status"],
        ["Speeds[0]", "Speeds[0]", "Speeds"],
        ["Line.Conveyors[1]", "Conveyors[1]", "Line.Conveyors"],
        ["Line.Conveyors[1].Belt.Speed", "Speed", "Line.Conveyors[1].Belt"],
        ["Line.Recipes[1][2]", "Recipes[1][2]", "Line.Recipes[1]"],
        ["A[1].B[2]", "B[2]", "A[1].B"]
    ];
    for (const [name, browseName, parent] of cases) {
        assert.equal(browseNameOf(name), browseName, name);
        assert.equal(parentOf(name), parent, name);
        assert.equal(childOf(parent, browseName), name, `${parent} / ${browseName}`);
    }
    const refused = [
        ["", "Speeds[0]"], // an element only under its array
        ["Motor1", "Speeds[0]"],
        ["Motor1", "Speed.Low"], // one step only
        ["Motor1", ""],
        ["Motor1", "Sp eed"],
        ["Motor1", "Speed\n"]
    ];
    for (const [parent, browseName] of refused) {
        assert.equal(childOf(parent, browseName), null, `${parent} / ${JSON.stringify(browseName)}`);
    }
});

test("continuation points round-trip for their session only, untouched and unreleased", () => {
    const points = new ContinuationPoints();
    const state = {
        dictionary: "line",
        path: "Line.Conveyors[1]",
        fixed: 2,
        children: "Belt",
        filters: { direction: 0, referenceTypeId: "ns=0;i=33", includeSubtypes: true, nodeClassMask: 0, resultMask: 63 },
        limit: 7
    };
    const point = points.encode(state, "s1");
    assert.ok(isOurContinuationPoint(point));
    const decoded = points.decode(point, "s1");
    assert.deepEqual({ ...decoded, nonce: undefined }, { ...state, nonce: undefined });
    assert.equal(points.decode(points.encode({ ...state, children: null }, "s1"), "s1").children, null);
    // The next page of a browse keeps its nonce, so a release ends every later page.
    const next = points.encode({ ...decoded, fixed: 3 }, "s1");
    const flipped = Buffer.from(point);
    flipped[10] ^= 1;
    const refused = [
        ["not ours", Buffer.from("not ours"), "s1"],
        ["empty", Buffer.alloc(0), "s1"],
        ["cut short", point.subarray(0, 12), "s1"],
        ["a byte changed", flipped, "s1"],
        ["another session", point, "s2"],
        ["another server", new ContinuationPoints().encode(state, "s1"), "s1"],
        ["negative fixed", points.encode({ ...state, fixed: -1 }, "s1"), "s1"],
        ["path not text", points.encode({ ...state, path: 3 }, "s1"), "s1"],
        ["no filters", points.encode({ ...state, filters: null }, "s1"), "s1"],
        ["page of 0", points.encode({ ...state, limit: 0 }, "s1"), "s1"],
        ["page too large", points.encode({ ...state, limit: 10001 }, "s1"), "s1"]
    ];
    for (const [what, buffer, session] of refused) {
        assert.equal(points.decode(buffer, session), null, what);
    }
    points.release(decoded, "s1");
    assert.equal(points.decode(point, "s1"), null, "released");
    assert.equal(points.decode(next, "s1"), null, "a later page of a released browse");
    assert.notEqual(points.decode(points.encode(state, "s1"), "s1"), null, "a new browse");
    points.forget("s1");
    assert.notEqual(points.decode(next, "s1"), null, "a closed session's releases are forgotten");
});

test("the bounded cache evicts the least recently used, never a pinned entry", () => {
    const evicted = [];
    const warnings = [];
    const cache = new BoundedCache(2, { onEvict: (key) => evicted.push(key), warn: (t) => warnings.push(t) });
    cache.set("a", 1);
    cache.set("b", 2);
    cache.get("a"); // b is now the oldest
    cache.set("c", 3);
    assert.deepEqual(evicted, ["b"]);
    assert.ok(cache.pin("a"));
    cache.set("d", 4); // a is the oldest but pinned: c goes
    assert.deepEqual(evicted, ["b", "c"]);
    assert.ok(cache.pin("d"));
    cache.set("e", 5); // everything else pinned: the cache grows, and says so once
    cache.set("f", 6);
    assert.equal(cache.size, 3);
    assert.equal(warnings.length, 1);
    assert.deepEqual(evicted, ["b", "c", "e"]);
    cache.unpin("a"); // over capacity: a goes now
    assert.deepEqual(evicted, ["b", "c", "e", "a"]);
    assert.equal(cache.pin("missing"), false);
    // A reload drops all but the pinned.
    assert.equal(cache.clearUnpinned(), 1);
    assert.deepEqual(evicted, ["b", "c", "e", "a", "f"]);
    assert.ok(cache.has("d") && cache.size === 1);
    assert.throws(() => new BoundedCache(0), RangeError);
});
