// Write of the Value of a dictionary's variables: refused to anonymous sessions and when the
// service takes no writes; otherwise the Variants are turned into the service's JSON values and
// written with one PUT .../values per dictionary and request, carrying the service's token.
// The service writes a request all or nothing; a node refused only because another one was is
// written again without the refused ones, so each node gets its own status.
import crypto from "node:crypto";

import {
    AccessLevelFlag,
    AttributeIds,
    NumericRange,
    StatusCodes,
    UserNameIdentityToken
} from "node-opcua";

import { kMaxItemsPerRequest } from "./ServiceClient.mjs";
import { statusOfServiceError } from "./ServiceStatus.mjs";
import { jsonOfArray, jsonOfScalar } from "./VariantJson.mjs";

const kRefusedWithOthers = "not written: another item of the request was refused";

export class ValueWriter {
    // `token`: the service's write token; empty or missing when the service takes no writes.
    constructor(token, log = () => {}) {
        this.token = token ?? "";
        this.log = log;
    }

    get writable() {
        return this.token !== "";
    }

    // Whether a user name and password are the service's write token (any user name), compared
    // in constant time.
    isValidUser(_userName, password) {
        if (!this.writable || typeof password !== "string") {
            return false;
        }
        const digest = (text) => crypto.createHash("sha256").update(text, "utf8").digest();
        return crypto.timingSafeEqual(digest(password), digest(this.token));
    }

    // Whether the session of `context` logged in with a user name (and so the token).
    static isUserSession(context) {
        return context?.session?.userIdentityToken instanceof UserNameIdentityToken;
    }

    // The UserAccessLevel of a dictionary's variable for the session of `context`.
    userAccessLevel(context) {
        const write = this.writable && ValueWriter.isUserSession(context);
        return AccessLevelFlag.CurrentRead | (write ? AccessLevelFlag.CurrentWrite : 0);
    }

    // The status of each write whose node is an item (or a property) of a lazy namespace, by
    // its index in `nodesToWrite`; the others are left to the stack. `learned` holds what each
    // namespace resolved for this request (name -> item or { reason }).
    async write(context, nodesToWrite, lazyOf, learned) {
        const results = new Map();
        const byDictionary = new Map(); // lazy -> [{ index, names, texts }]
        nodesToWrite.forEach((writeValue, index) => {
            const lazy = lazyOf(writeValue.nodeId);
            const name = lazy?.nameOf(writeValue.nodeId);
            if (!lazy || !name) {
                return;
            }
            const item = learned.get(lazy)?.get(name);
            const unit = this.#check(context, writeValue, item);
            if (unit.status !== undefined) {
                results.set(index, unit.status);
                return;
            }
            if (!byDictionary.has(lazy)) {
                byDictionary.set(lazy, []);
            }
            byDictionary.get(lazy).push({ index, ...unit });
        });
        for (const [lazy, units] of byDictionary) {
            await this.#writeDictionary(lazy, units, results);
        }
        return results;
    }

    // { names, texts } to write for one WriteValue, or { status } when it is refused here.
    #check(context, writeValue, item) {
        if (!item) {
            return { status: StatusCodes.BadCommunicationError }; // the service could not be asked
        }
        if (item.reason !== undefined) {
            return { status: StatusCodes.BadNodeIdUnknown };
        }
        if (writeValue.attributeId !== AttributeIds.Value || item.property) {
            return { status: StatusCodes.BadNotWritable };
        }
        if (!item.leaf && !item.array) {
            return { status: StatusCodes.BadAttributeIdInvalid }; // an object has no Value
        }
        if (!this.writable) {
            return { status: StatusCodes.BadNotWritable };
        }
        if (!ValueWriter.isUserSession(context)) {
            return { status: StatusCodes.BadUserAccessDenied };
        }
        const range = writeValue.indexRange;
        if (range instanceof NumericRange ? range.isDefined() : !!range) {
            return { status: StatusCodes.BadIndexRangeInvalid };
        }
        const variant = writeValue.value?.value;
        if (!item.array) {
            const json = jsonOfScalar(item.type, item.typeName, variant);
            return json.status !== undefined ? json : { names: [item.name], texts: [json.text] };
        }
        if (item.array.length > kMaxItemsPerRequest) {
            this.log(`opcua: ${item.name}: an array of more than ${kMaxItemsPerRequest} elements is written element by element`);
            return { status: StatusCodes.BadNotWritable };
        }
        const json = jsonOfArray(item.array, variant);
        return json.status !== undefined ? json : { names: item.array.elementNames(item.name), texts: json.texts };
    }

    // Writes the units of one dictionary: in waves where no name appears twice (a name written
    // twice is written in the order asked), each wave as one request, again without the units
    // the service refused until every unit has its answer.
    async #writeDictionary(lazy, units, results) {
        for (const wave of waves(units).filter((w) => w)) {
            let pending = wave;
            while (pending.length > 0) {
                pending = await this.#writeOnce(lazy, pending, results);
            }
        }
    }

    // One request; the units to write again (refused only because another unit was).
    async #writeOnce(lazy, units, results) {
        const entries = units.flatMap((u) => u.names.map((name, i) => `${JSON.stringify(name)}:${u.texts[i]}`));
        let answer;
        try {
            answer = await lazy.client.write(lazy.dictionary, `{${entries.join(",")}}`, this.token);
        } catch (error) {
            this.log(`opcua: ${lazy.dictionary}: write failed: ${error.message}`);
            const status = statusOfWriteFailure(error);
            units.forEach((u) => results.set(u.index, status));
            return [];
        }
        const errors = new Map((answer.values ?? []).map((v) => [v.name, v.error]));
        const again = [];
        for (const unit of units) {
            const reasons = unit.names.map((name) => errors.get(name)).filter((r) => r);
            const own = reasons.find((r) => !r.endsWith(kRefusedWithOthers));
            if (answer.written && reasons.length === 0) {
                results.set(unit.index, StatusCodes.Good);
            } else if (own !== undefined) {
                results.set(unit.index, statusOfWriteError(own));
            } else if (reasons.length > 0 && units.length > 1) {
                again.push(unit);
            } else {
                results.set(unit.index, StatusCodes.BadInternalError);
            }
        }
        // Nothing refused of its own: the units left would be refused again.
        return again.length < units.length ? again : [];
    }
}

// Groups units so that no name appears twice in a group, keeping the order of a name's writes,
// with no more names in a group than one request carries.
function waves(units) {
    const groups = [];
    const sizes = [];
    const lastWave = new Map(); // name -> the wave of its latest write
    for (const unit of units) {
        let wave = Math.max(-1, ...unit.names.map((n) => lastWave.get(n) ?? -1)) + 1;
        while ((sizes[wave] ?? 0) > 0 && sizes[wave] + unit.names.length > kMaxItemsPerRequest) {
            wave++;
        }
        sizes[wave] = (sizes[wave] ?? 0) + unit.names.length;
        groups[wave] ??= [];
        groups[wave].push(unit);
        unit.names.forEach((n) => lastWave.set(n, wave));
    }
    return groups;
}

// The status of an item the service refused, from its reason.
export function statusOfWriteError(reason) {
    const rules = [
        [/is out of range|is outside the range|is longer than|is finer than/, StatusCodes.BadOutOfRange],
        [/ is not a /, StatusCodes.BadTypeMismatch],
        [/unknown variable|no such member|not an item name|unknown dictionary/, StatusCodes.BadNodeIdUnknown],
        [/cannot be written|written member by member/, StatusCodes.BadNotWritable],
        [/not answering|timed out|the write stopped at/, StatusCodes.BadCommunicationError]
    ];
    return rules.find(([pattern]) => pattern.test(reason))?.[1] ?? StatusCodes.BadInternalError;
}

// The status of a write request that failed as a whole.
function statusOfWriteFailure(error) {
    switch (error?.status) {
        case 401:
            return StatusCodes.BadUserAccessDenied; // the token no longer matches the service's
        case 403:
            return StatusCodes.BadNotWritable;
        default:
            return statusOfServiceError(error);
    }
}
