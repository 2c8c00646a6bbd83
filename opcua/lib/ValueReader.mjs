// Read of the Value of a dictionary's variables: the names of one request go to the service in
// one batch per dictionary (resolved first when not known yet) instead of node by node.
import {
    AttributeIds,
    DataValue,
    NumericRange,
    StatusCodes,
    TimestampsToReturn,
    Variant,
    VariantArrayType,
    apply_timestamps,
    extractRange
} from "node-opcua";

import { variantValueOf } from "./DataTypes.mjs";
import { statusOfServiceError } from "./ServiceStatus.mjs";

export class ValueReader {
    constructor(log = () => {}) {
        this.log = log;
    }

    // The DataValues of the reads whose node is an item of a lazy namespace and whose attribute
    // is Value, by their index in `nodesToRead`. `lazyOf(nodeId)` gives the namespace of a
    // node, or null; `learned` what each namespace resolved already for this request. The
    // others are left to the stack.
    async read(nodesToRead, timestampsToReturn, lazyOf, learned = new Map()) {
        const byDictionary = new Map(); // lazy -> [{ index, name, readValueId }]
        nodesToRead.forEach((readValueId, index) => {
            if (readValueId.attributeId !== AttributeIds.Value) {
                return;
            }
            const lazy = lazyOf(readValueId.nodeId);
            const name = lazy?.nameOf(readValueId.nodeId);
            if (lazy && name) {
                if (!byDictionary.has(lazy)) {
                    byDictionary.set(lazy, []);
                }
                byDictionary.get(lazy).push({ index, name, readValueId });
            }
        });
        const results = new Map();
        for (const [lazy, reads] of byDictionary) {
            await this.#readDictionary(lazy, reads, timestampsToReturn, results, learned.get(lazy));
        }
        return results;
    }

    async #readDictionary(lazy, reads, timestampsToReturn, results, learned) {
        let items = learned;
        try {
            items ??= await lazy.learn(reads.map((r) => r.name));
        } catch (error) {
            this.log(`opcua: ${lazy.dictionary}: resolve failed: ${error.message}`);
            reads.forEach((r) => results.set(r.index, bad(statusOfServiceError(error))));
            return;
        }
        // Unknown names and branches are left to the stack, which answers BadNodeIdUnknown and
        // BadAttributeIdInvalid.
        const leaves = reads.filter((r) => items.get(r.name)?.leaf || items.get(r.name)?.array);
        if (leaves.length === 0) {
            return;
        }
        let values;
        try {
            values = await lazy.client.values(lazy.dictionary, leaves.map((r) => r.name));
        } catch (error) {
            this.log(`opcua: ${lazy.dictionary}: read failed: ${error.message}`);
            leaves.forEach((r) => results.set(r.index, bad(statusOfServiceError(error))));
            return;
        }
        const now = new Date();
        leaves.forEach((read, i) => {
            const dataValue = dataValueOf(items.get(read.name), values[i], now);
            results.set(read.index, finish(dataValue, read.readValueId, timestampsToReturn));
        });
    }
}

function bad(statusCode) {
    return new DataValue({ statusCode });
}

// The DataValue of one value the service read.
export function dataValueOf(item, read, now) {
    if (!read || read.error) {
        return new DataValue({ statusCode: StatusCodes.BadCommunicationError, serverTimestamp: now });
    }
    const value = item.array ? arrayValueOf(item, read) : variantValueOf(item.type, read);
    if (value === undefined) {
        return new DataValue({ statusCode: StatusCodes.BadTypeMismatch, serverTimestamp: now });
    }
    return new DataValue({
        value: new Variant({
            dataType: item.type.builtIn,
            arrayType: item.array ? VariantArrayType.Array : VariantArrayType.Scalar,
            value
        }),
        statusCode: StatusCodes.Good,
        sourceTimestamp: now,
        serverTimestamp: now
    });
}

// The elements of a whole array as the values of an array Variant; undefined when one does not
// fit the element type or the length is not the array's.
function arrayValueOf(item, read) {
    if (!Array.isArray(read.value) || read.value.length !== item.array.length) {
        return undefined;
    }
    const milliseconds = Array.isArray(read.milliseconds) ? read.milliseconds : [];
    const values = read.value.map((value, i) =>
        variantValueOf(item.type, { value, milliseconds: milliseconds[i] }));
    return values.includes(undefined) ? undefined : values;
}

// The index range and the timestamps a read asked for.
function finish(dataValue, readValueId, timestampsToReturn) {
    let result = dataValue;
    const range = readValueId.indexRange;
    if (range instanceof NumericRange && range.isDefined() && dataValue.statusCode === StatusCodes.Good) {
        // A range of a scalar has no data; of a text or an array, the characters or elements
        // it names.
        const ranged = typeof dataValue.value.value === "string" ||
            dataValue.value.arrayType === VariantArrayType.Array;
        result = ranged
            ? extractRange(dataValue, range)
            : bad(StatusCodes.BadIndexRangeNoData);
    }
    if (readValueId.dataEncoding && readValueId.dataEncoding.name) {
        return bad(StatusCodes.BadDataEncodingInvalid);
    }
    return apply_timestamps(result, timestampsToReturn ?? TimestampsToReturn.Both, AttributeIds.Value);
}
