// A Variant written by a client as the JSON text of the value the service takes for the item's
// IEC type: booleans, integers (64-bit ones with all their digits), finite reals, texts,
// durations in milliseconds, and dates, dates with times and times of day as IEC literals.
// A Variant of another OPC UA type is refused before the service sees it.
import { DataType, StatusCodes, VariantArrayType } from "node-opcua";

const kMsPerDay = 86400000;

// { text } for a scalar of `type` (as dataTypeOf gives it, with the item's IEC `typeName`), or
// { status } when the Variant cannot be written to it.
export function jsonOfScalar(type, typeName, variant) {
    if (!variant || variant.dataType !== type.builtIn || variant.arrayType !== VariantArrayType.Scalar) {
        return { status: StatusCodes.BadTypeMismatch };
    }
    return jsonOfValue(type, typeName, variant.value);
}

// { texts } for the elements of a whole array (one text per element, in order), or { status }.
export function jsonOfArray(array, variant) {
    if (!variant || variant.dataType !== array.type.builtIn || variant.arrayType !== VariantArrayType.Array) {
        return { status: StatusCodes.BadTypeMismatch };
    }
    const values = Array.from(variant.value ?? []);
    if (values.length !== array.length) {
        return { status: StatusCodes.BadTypeMismatch };
    }
    const texts = [];
    for (const value of values) {
        const json = jsonOfValue(array.type, array.elementTypeName, value);
        if (json.status) {
            return json;
        }
        texts.push(json.text);
    }
    return { texts };
}

function jsonOfValue(type, typeName, value) {
    switch (type.builtIn) {
        case DataType.Boolean:
            return typeof value === "boolean" ? { text: String(value) } : mismatch();
        case DataType.Int64:
        case DataType.UInt64:
            return integerText(int64Of(value, type.builtIn === DataType.Int64));
        case DataType.SByte:
        case DataType.Int16:
        case DataType.Int32:
        case DataType.Byte:
        case DataType.UInt16:
        case DataType.UInt32:
            return integerText(Number.isInteger(value) ? BigInt(value) : null);
        case DataType.Float:
        case DataType.Double:
            return doubleText(type, value);
        case DataType.String:
            return value === null || value === undefined
                ? { text: '""' }
                : typeof value === "string" ? { text: JSON.stringify(value) } : mismatch();
        case DataType.DateTime:
            return dateText(typeName, value);
        default:
            return mismatch();
    }
}

function mismatch() {
    return { status: StatusCodes.BadTypeMismatch };
}

function integerText(value) {
    return typeof value === "bigint" ? { text: value.toString() } : mismatch();
}

// A 64-bit integer as the stack gives it ([high, low] words, a number or a BigInt).
function int64Of(value, signed) {
    let bits = null;
    if (Array.isArray(value) && value.length === 2 && value.every(Number.isInteger)) {
        bits = (BigInt(value[0] >>> 0) << 32n) | BigInt(value[1] >>> 0);
    } else if (typeof value === "bigint") {
        bits = value;
    } else if (Number.isSafeInteger(value)) {
        return BigInt(value);
    }
    if (bits === null) {
        return null;
    }
    return signed ? BigInt.asIntN(64, bits) : BigInt.asUintN(64, bits);
}

function doubleText(type, value) {
    if (typeof value !== "number") {
        return mismatch();
    }
    if (!Number.isFinite(value)) {
        return { status: StatusCodes.BadOutOfRange }; // the memory takes no NaN or infinity by name
    }
    if (type.timeOfDay) {
        return value >= 0 && value < kMsPerDay ? { text: JSON.stringify(timeOfDayLiteral(value)) }
            : { status: StatusCodes.BadOutOfRange };
    }
    return { text: JSON.stringify(value) }; // a duration counts milliseconds
}

function dateText(typeName, value) {
    if (!(value instanceof Date) || Number.isNaN(value.getTime())) {
        return mismatch();
    }
    const iso = value.toISOString(); // 2024-01-15T08:30:00.500Z
    const day = iso.slice(0, 10);
    if (/^L?DATE$/i.test(typeName ?? "")) {
        if (value.getTime() % kMsPerDay !== 0) {
            return { status: StatusCodes.BadOutOfRange }; // a date keeps no time of day
        }
        return { text: JSON.stringify(`D#${day}`) };
    }
    const fraction = iso.slice(19, 23) === ".000" ? "" : iso.slice(19, 23);
    return { text: JSON.stringify(`DT#${day}-${iso.slice(11, 19)}${fraction}`) };
}

function timeOfDayLiteral(milliseconds) {
    const whole = Math.floor(milliseconds);
    const pad = (n, width = 2) => String(n).padStart(width, "0");
    const hours = Math.floor(whole / 3600000);
    const minutes = Math.floor(whole / 60000) % 60;
    const seconds = Math.floor(whole / 1000) % 60;
    const rest = whole % 1000;
    return `TOD#${pad(hours)}:${pad(minutes)}:${pad(seconds)}${rest ? "." + pad(rest, 3) : ""}`;
}
