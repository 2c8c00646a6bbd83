// JSON.parse that keeps integers beyond 2^53 exact: such a literal becomes a BigInt instead of a
// rounded number. LINT and ULINT values reach 2^63 and 2^64, which a double cannot hold.

const kSafeDigits = 15; // every integer of up to 15 digits is exact as a double
// A text no value of the service holds (its texts end at a zero byte), written escaped.
const kMarker = "\u0000bigint:";
const kEscapedMarker = "\\u0000bigint:";

// Quotes the long integer literals of `text` (outside strings) with a marker, so that
// JSON.parse keeps their digits.
function quoteLongIntegers(text) {
    let out = "";
    let start = 0;
    let i = 0;
    while (i < text.length) {
        const c = text[i];
        if (c === '"') {
            i = skipString(text, i);
            continue;
        }
        if (c === "-" || (c >= "0" && c <= "9")) {
            let end = i + 1;
            while (end < text.length && /[0-9.eE+-]/.test(text[end])) {
                end++;
            }
            const literal = text.slice(i, end);
            if (/^-?[0-9]+$/.test(literal) && literal.replace("-", "").length > kSafeDigits) {
                out += text.slice(start, i) + '"' + kEscapedMarker + literal + '"';
                start = end;
            }
            i = end;
            continue;
        }
        i++;
    }
    return start === 0 ? text : out + text.slice(start);
}

// The index just past the string that opens at `i`.
function skipString(text, i) {
    for (let j = i + 1; j < text.length; j++) {
        if (text[j] === "\\") {
            j++;
        } else if (text[j] === '"') {
            return j + 1;
        }
    }
    return text.length;
}

export function parseExactJson(text) {
    return JSON.parse(quoteLongIntegers(text), (_key, value) =>
        typeof value === "string" && value.startsWith(kMarker)
            ? BigInt(value.slice(kMarker.length))
            : value
    );
}
