// TranslateBrowsePathsToNodeIds into a dictionary: the stack walks the standard nodes (Objects,
// then a dictionary's root object); from there on the browse names are joined into an item
// name, and every name of a request is resolved by the service in one batch per dictionary.
import {
    BrowsePath,
    BrowsePathResult,
    NodeClass,
    StatusCodes,
    makeExpandedNodeId,
    resolveNodeId
} from "node-opcua";

import { childOf } from "./ItemPaths.mjs";
import { statusOfServiceError } from "./ServiceStatus.mjs";

const kWholePath = 0xffffffff; // remainingPathIndex of a target reached to the end
const kHasComponent = resolveNodeId("ns=0;i=47");

export class PathTranslator {
    // original: the stack's translation of one browse path; lazyOf(nodeId): the namespace of
    // a node, or null.
    constructor(addressSpace, original, lazyOf, log = () => {}) {
        this.addressSpace = addressSpace;
        this.original = original;
        this.lazyOf = lazyOf;
        this.log = log;
    }

    async translate(browsePaths) {
        const results = new Array(browsePaths.length);
        const pending = new Map(); // lazy -> [{ index, name }]
        for (let index = 0; index < browsePaths.length; index++) {
            const step = await this.#walk(browsePaths[index]);
            if (step.result) {
                results[index] = step.result;
            } else {
                if (!pending.has(step.lazy)) {
                    pending.set(step.lazy, []);
                }
                pending.get(step.lazy).push({ index, name: step.name });
            }
        }
        for (const [lazy, names] of pending) {
            await this.#resolve(lazy, names, results);
        }
        return results;
    }

    // Either a finished result, or the dictionary and item name the path ends at.
    async #walk(browsePath) {
        const elements = browsePath.relativePath?.elements ?? [];
        let nodeId = resolveNodeId(browsePath.startingNode);
        let i = 0;
        if (!this.lazyOf(nodeId)) {
            // Walk the standard nodes one element at a time until a dictionary is reached.
            for (; i < elements.length && !this.lazyOf(nodeId); i++) {
                const step = await this.original(new BrowsePath({
                    startingNode: nodeId,
                    relativePath: { elements: [elements[i]] }
                }));
                if (!step.statusCode.isGood() || !step.targets?.length) {
                    return { result: this.#partial(step, i) };
                }
                nodeId = resolveNodeId(step.targets[0].targetId);
            }
            if (!this.lazyOf(nodeId)) {
                return { result: new BrowsePathResult({ statusCode: StatusCodes.Good, targets: [target(nodeId)] }) };
            }
        } else if (elements.length === 0) {
            return { result: new BrowsePathResult({ statusCode: StatusCodes.BadNothingToDo }) };
        }
        const lazy = this.lazyOf(nodeId);
        let name = lazy.nameOf(nodeId);
        if (name === null) {
            return { result: new BrowsePathResult({ statusCode: StatusCodes.BadNodeIdUnknown }) };
        }
        for (; i < elements.length; i++) {
            const element = elements[i];
            const targetName = element.targetName;
            const next = targetName?.namespaceIndex === lazy.index && !element.isInverse &&
                this.#followsChildren(element) ? childOf(name, targetName.name) : null;
            if (next === null) {
                return { result: new BrowsePathResult({ statusCode: StatusCodes.BadNoMatch }) };
            }
            name = next;
        }
        if (name === "") {
            return { result: new BrowsePathResult({ statusCode: StatusCodes.Good, targets: [target(lazy.root.nodeId)] }) };
        }
        return { lazy, name };
    }

    // A result of the stack's that stopped at element `i` (its index counted in the whole path).
    #partial(step, i) {
        const targets = (step.targets ?? []).map((t) => ({
            targetId: t.targetId,
            remainingPathIndex: t.remainingPathIndex === kWholePath ? kWholePath : t.remainingPathIndex + i
        }));
        return new BrowsePathResult({ statusCode: step.statusCode, targets });
    }

    // Whether the element's reference type takes in HasComponent, which links a branch to its
    // children.
    #followsChildren(element) {
        const asked = element.referenceTypeId ? resolveNodeId(element.referenceTypeId) : null;
        if (!asked || asked.isEmpty()) {
            return true;
        }
        if (asked.toString() === kHasComponent.toString()) {
            return true;
        }
        const askedNode = this.addressSpace.findNode(asked);
        const ours = this.addressSpace.findNode(kHasComponent);
        return !!element.includeSubtypes && askedNode?.nodeClass === NodeClass.ReferenceType &&
            ours.isSubtypeOf(askedNode);
    }

    async #resolve(lazy, names, results) {
        let items;
        try {
            items = await lazy.learn(names.map((n) => n.name));
        } catch (error) {
            this.log(`opcua: ${lazy.dictionary}: resolve failed: ${error.message}`);
            for (const { index } of names) {
                results[index] = new BrowsePathResult({ statusCode: statusOfServiceError(error) });
            }
            return;
        }
        for (const { index, name } of names) {
            const item = items.get(name);
            results[index] = item && item.reason === undefined
                ? new BrowsePathResult({ statusCode: StatusCodes.Good, targets: [target(lazy.nodeIdOf(name))] })
                : new BrowsePathResult({ statusCode: StatusCodes.BadNoMatch });
        }
    }
}

function target(nodeId) {
    return { targetId: makeExpandedNodeId(nodeId), remainingPathIndex: kWholePath };
}
