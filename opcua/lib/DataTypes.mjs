// IEC types as OPC UA data types, and the service's JSON values as the values of a Variant.
import { DataType } from "node-opcua";

// The DataType node of a duration (a Double counting milliseconds).
export const kDurationNodeId = "ns=0;i=290";

// builtIn: the Variant's type; nodeId: the DataType attribute when it is not the builtIn's own.
const kElementary = new Map([
    ["BOOL", { builtIn: DataType.Boolean }],
    ["SINT", { builtIn: DataType.SByte }],
    ["INT", { builtIn: DataType.Int16 }],
    ["DINT", { builtIn: DataType.Int32 }],
    ["LINT", { builtIn: DataType.Int64 }],
    ["USINT", { builtIn: DataType.Byte }],
    ["UINT", { builtIn: DataType.UInt16 }],
    ["UDINT", { builtIn: DataType.UInt32 }],
    ["ULINT", { builtIn: DataType.UInt64 }],
    ["BYTE", { builtIn: DataType.Byte }],
    ["WORD", { builtIn: DataType.UInt16 }],
    ["DWORD", { builtIn: DataType.UInt32 }],
    ["LWORD", { builtIn: DataType.UInt64 }],
    ["REAL", { builtIn: DataType.Float }],
    ["LREAL", { builtIn: DataType.Double }],
    ["STRING", { builtIn: DataType.String }],
    ["WSTRING", { builtIn: DataType.String }],
    ["CHAR", { builtIn: DataType.String }],
    ["WCHAR", { builtIn: DataType.String }],
    ["TIME", { builtIn: DataType.Double, nodeId: kDurationNodeId, duration: true }],
    ["LTIME", { builtIn: DataType.Double, nodeId: kDurationNodeId, duration: true }],
    ["TOD", { builtIn: DataType.Double, nodeId: kDurationNodeId, timeOfDay: true }],
    ["TIME_OF_DAY", { builtIn: DataType.Double, nodeId: kDurationNodeId, timeOfDay: true }],
    ["LTOD", { builtIn: DataType.Double, nodeId: kDurationNodeId, timeOfDay: true }],
    ["LTIME_OF_DAY", { builtIn: DataType.Double, nodeId: kDurationNodeId, timeOfDay: true }],
    ["DATE", { builtIn: DataType.DateTime, date: true }],
    ["LDATE", { builtIn: DataType.DateTime, date: true }],
    ["DT", { builtIn: DataType.DateTime, date: true }],
    ["DATE_AND_TIME", { builtIn: DataType.DateTime, date: true }],
    ["LDT", { builtIn: DataType.DateTime, date: true }],
    ["LDATE_AND_TIME", { builtIn: DataType.DateTime, date: true }]
]);

// The OPC UA type of an IEC type name ("INT", "STRING[20]"); null when it is not elementary
// (a structure, a function block, an array).
export function dataTypeOf(typeName) {
    if (typeof typeName !== "string") {
        return null;
    }
    // "STRING[20]" is a STRING, a subrange "INT (0..100)" an INT.
    const base = typeName.toUpperCase().replace(/\[[0-9]+\]$/, "").replace(/ \(.*\)$/, "");
    const type = kElementary.get(base);
    return type ? { ...type, nodeId: type.nodeId ?? `ns=0;i=${type.builtIn}` } : null;
}

// The type of an elementary value with no OPC UA counterpart: its text.
export function textType() {
    return { builtIn: DataType.String, nodeId: `ns=0;i=${DataType.String}`, text: true };
}

// The Variant value of a value the service read, or undefined when it does not fit the type.
export function variantValueOf(type, read) {
    const value = read.value;
    switch (type.builtIn) {
        case DataType.Boolean:
            return typeof value === "boolean" ? value : undefined;
        case DataType.Int64:
        case DataType.UInt64:
            return typeof value === "number" || typeof value === "bigint"
                ? highLow(BigInt(value))
                : undefined;
        case DataType.String:
            if (type.text && value !== null && value !== undefined) {
                return typeof value === "string" ? value : JSON.stringify(value, bigIntText);
            }
            return typeof value === "string" ? value : undefined;
        case DataType.DateTime:
            return typeof value === "string" ? dateOf(value) : undefined;
        case DataType.Double:
            if (type.duration) {
                return typeof read.milliseconds === "number" ? read.milliseconds : undefined;
            }
            if (type.timeOfDay) {
                return typeof value === "string" ? timeOfDayOf(value) : undefined;
            }
            return typeof value === "number" ? value : undefined;
        default:
            return typeof value === "number" || typeof value === "bigint" ? Number(value) : undefined;
    }
}

// A 64-bit integer as the stack keeps it: [high, low] 32-bit words of its two's complement.
export function highLow(value) {
    const bits = BigInt.asUintN(64, value);
    return [Number(bits >> 32n), Number(bits & 0xffffffffn)];
}

// D#2024-01-15, DT#2024-01-15-08:00:00(.5), LDT#..., in UTC; undefined when malformed.
export function dateOf(text) {
    const match = /^L?(?:D|DT|DATE|DATE_AND_TIME)#(\d{4})-(\d{2})-(\d{2})(?:-(\d{2}):(\d{2}):(\d{2})(\.\d+)?)?$/.exec(
        text
    );
    if (!match) {
        return undefined;
    }
    const [, year, month, day, hour = "0", minute = "0", second = "0", fraction = ""] = match;
    const milliseconds = fraction ? Math.floor(Number(fraction) * 1000) : 0;
    const time = Date.UTC(+year, +month - 1, +day, +hour, +minute, +second, milliseconds);
    return Number.isNaN(time) ? undefined : new Date(time);
}

// TOD#08:00:00(.5), LTOD#...: the milliseconds since midnight; undefined when malformed.
export function timeOfDayOf(text) {
    const match = /^L?(?:TOD|TIME_OF_DAY)#(\d{1,2}):(\d{2}):(\d{2})(\.\d+)?$/.exec(text);
    if (!match) {
        return undefined;
    }
    const [, hour, minute, second, fraction = ""] = match;
    const milliseconds = fraction ? Number(fraction) * 1000 : 0;
    return ((+hour * 60 + +minute) * 60 + +second) * 1000 + milliseconds;
}

function bigIntText(_key, value) {
    return typeof value === "bigint" ? value.toString() : value;
}
