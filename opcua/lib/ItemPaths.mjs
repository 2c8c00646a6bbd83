// Item names as a tree: the browse name of a name's last step, its parent, and the name of a
// child reached by its browse name. Array elements are browsed under their array with the
// array's name in front ("Speeds" holds "Speeds[0]", "Line.Recipes[1]" holds "Recipes[1][2]");
// a bit of a word is a part of its own ("Status.3").

// The offset of the last "." outside brackets; -1 when the name has a single step.
function lastDot(name) {
    let depth = 0;
    for (let i = name.length - 1; i >= 0; i--) {
        const c = name[i];
        if (c === "]") {
            depth++;
        } else if (c === "[") {
            depth--;
        } else if (c === "." && depth === 0) {
            return i;
        }
    }
    return -1;
}

// "Line.Conveyors[1]" -> "Conveyors[1]"; "Status.3" -> "3".
export function browseNameOf(name) {
    return name.slice(lastDot(name) + 1);
}

// The name of the branch that lists `name` when browsed ("" for the top level):
// "Motor1.Speed" -> "Motor1", "Speeds[3]" -> "Speeds", "Line.Recipes[1][2]" -> "Line.Recipes[1]".
export function parentOf(name) {
    if (name.endsWith("]")) {
        return name.slice(0, name.lastIndexOf("["));
    }
    const dot = lastDot(name);
    return dot < 0 ? "" : name.slice(0, dot);
}

// The name of the child of `parent` whose browse name is `browseName`; null when that browse
// name cannot be one step.
export function childOf(parent, browseName) {
    if (!browseName || browseName.includes(".") || /[\s\u0000-\u001f]/.test(browseName)) {
        return null;
    }
    const step = browseNameOf(parent);
    if (parent && browseName.startsWith(step + "[")) {
        return parent.slice(0, parent.length - step.length) + browseName;
    }
    if (browseName.includes("[")) {
        return null; // an element lies only under its own array
    }
    return parent ? `${parent}.${browseName}` : browseName;
}
