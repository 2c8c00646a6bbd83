// A one-dimensional array of an elementary type ("ARRAY[0..9] OF INT"), which is also served
// whole as one array Variable: its bounds, its length and the OPC UA type of its elements.
import { dataTypeOf } from "./DataTypes.mjs";

const kPattern = /^ARRAY\s*\[\s*(-?[0-9]+)\s*\.\.\s*(-?[0-9]+)\s*\]\s+OF\s+(.+)$/i;

export class ElementaryArray {
    constructor(low, high, elementTypeName, type) {
        this.low = low;
        this.length = high - low + 1;
        this.elementTypeName = elementTypeName;
        this.type = type; // as dataTypeOf gives it
    }

    // The array of a type name; null when it is not a one-dimensional array of an elementary
    // type (several dimensions, structures, function blocks, enumerations).
    static parse(typeName) {
        const match = typeof typeName === "string" ? kPattern.exec(typeName.trim()) : null;
        if (!match) {
            return null;
        }
        const [, low, high, element] = match;
        const type = dataTypeOf(element.trim());
        if (!type || Number(high) < Number(low)) {
            return null;
        }
        return new ElementaryArray(Number(low), Number(high), element.trim(), type);
    }

    // The item names of the elements, in order: "Speeds" -> "Speeds[0]".."Speeds[9]".
    elementNames(name) {
        return Array.from({ length: this.length }, (_v, i) => `${name}[${this.low + i}]`);
    }
}
