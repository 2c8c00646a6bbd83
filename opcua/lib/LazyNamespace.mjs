// One dictionary as one namespace, urn:varbank:<dictionary>. Only its root object is built at
// start; an item's node is made on first use from what the service resolved for its name, and
// kept in a bounded cache. The namespace's findNode2 is replaced so that every lookup of the
// stack (Read of attributes, Write, monitored items) finds those nodes.
import {
    DataValue,
    NodeClass,
    NodeId,
    NodeIdType,
    StatusCodes
} from "node-opcua";

import { BoundedCache } from "./BoundedCache.mjs";
import { dataTypeOf, textType } from "./DataTypes.mjs";
import { ElementaryArray } from "./ElementaryArray.mjs";
import { ItemProperties } from "./ItemProperties.mjs";
import { browseNameOf } from "./ItemPaths.mjs";

export const kRootIdentifier = 1; // the root object's numeric identifier
const kDefaultNodeCapacity = 10000;
const kDefaultItemCapacity = 100000;
const kMinimumSamplingInterval = 50;

export class LazyNamespace {
    constructor(addressSpace, dictionary, client, options = {}) {
        this.dictionary = dictionary;
        this.client = client;
        this.addressSpace = addressSpace;
        this.log = options.log ?? (() => {});
        this.writable = !!options.writable; // whether the service takes writes
        this.namespace = addressSpace.registerNamespace(`urn:varbank:${dictionary}`);
        this.index = this.namespace.index;
        this.root = this.namespace.addObject({
            nodeId: new NodeId(NodeIdType.NUMERIC, kRootIdentifier, this.index),
            browseName: { name: dictionary, namespaceIndex: this.index },
            displayName: dictionary,
            description: `the names of the dictionary ${dictionary}`,
            organizedBy: addressSpace.rootFolder.objects
        });
        // What the service resolved, by name: { name, leaf, type, comment }.
        this.items = new BoundedCache(options.itemCapacity ?? kDefaultItemCapacity);
        this.nodes = new BoundedCache(options.nodeCapacity ?? kDefaultNodeCapacity, {
            onEvict: (_name, node) => this.namespace.deleteNode(node),
            warn: (text) => this.log(`opcua: ${dictionary}: nodes: ${text}`)
        });
        this.#installLookup();
    }

    isRoot(nodeId) {
        return nodeId.namespace === this.index && nodeId.identifierType === NodeIdType.NUMERIC &&
            nodeId.value === kRootIdentifier;
    }

    // The item name of a node of this namespace; "" for the root, null for any other node.
    nameOf(nodeId) {
        if (nodeId.namespace !== this.index) {
            return null;
        }
        if (this.isRoot(nodeId)) {
            return "";
        }
        return nodeId.identifierType === NodeIdType.STRING ? nodeId.value : null;
    }

    nodeIdOf(name) {
        return name === ""
            ? this.root.nodeId
            : new NodeId(NodeIdType.STRING, name, this.index);
    }

    // What is known of a name: the item, or null when it was not resolved (yet).
    item(name) {
        return this.items.get(name) ?? null;
    }

    // Resolves, in one request, the names not known yet. Returns a map of every name to its
    // item, or to { reason } when the service refused it. Throws a ServiceError when the
    // service cannot be asked.
    async learn(names) {
        const properties = names.map(ItemProperties.split).filter((p) => p !== null);
        const known = await this.#learnItems([...names.filter((n) => !ItemProperties.split(n)),
            ...properties.map((p) => p.owner)]);
        // A property is known when its item is; it has no value of the service's own.
        for (const { owner, property } of properties) {
            const item = known.get(owner);
            known.set(ItemProperties.nameOf(owner, property), item?.reason === undefined
                ? { name: ItemProperties.nameOf(owner, property), owner: item, property, leaf: false,
                    nodeClass: NodeClass.Variable }
                : item);
        }
        return known;
    }

    async #learnItems(names) {
        const known = new Map();
        const unknown = [];
        for (const name of new Set(names)) {
            const item = this.items.get(name);
            if (item) {
                known.set(name, item);
            } else {
                unknown.push(name);
            }
        }
        if (unknown.length > 0) {
            const results = await this.client.resolve(this.dictionary, unknown);
            results.forEach((result, i) => {
                const item = result.resolved ? itemOf(unknown[i], result) : null;
                if (item) {
                    this.items.set(unknown[i], item);
                }
                known.set(unknown[i], item ?? { reason: result.reason ?? "not resolved" });
            });
        }
        return known;
    }

    // Forgets what was resolved and the nodes made from it, after the dictionary changed (a new
    // stamp): names are resolved again on their next use. Pinned (monitored) nodes stay. Gives
    // how many nodes were dropped.
    reload() {
        this.items.clearUnpinned();
        return this.nodes.clearUnpinned();
    }

    // The node of a known name, made when it is not cached; null for an unknown name.
    nodeOf(name) {
        const cached = this.nodes.get(name);
        if (cached) {
            return cached;
        }
        const property = ItemProperties.split(name);
        const item = this.items.get(property ? property.owner : name);
        if (!item) {
            return null;
        }
        const node = property ? ItemProperties.makeNode(this, item, property.property)
            : item.nodeClass === NodeClass.Variable ? this.#makeVariable(item) : this.#makeObject(item);
        this.nodes.set(name, node);
        return node;
    }

    #installLookup() {
        const original = this.namespace.findNode2.bind(this.namespace);
        this.namespace.findNode2 = (nodeId) => {
            const found = original(nodeId);
            if (found || nodeId.identifierType !== NodeIdType.STRING) {
                return found;
            }
            return this.nodeOf(nodeId.value);
        };
    }

    #makeVariable(item) {
        const array = item.array ? { valueRank: 1, arrayDimensions: [item.array.length] } : { valueRank: -1 };
        return this.namespace.addVariable({
            nodeId: this.nodeIdOf(item.name),
            browseName: { name: browseNameOf(item.name), namespaceIndex: this.index },
            displayName: browseNameOf(item.name),
            description: item.comment || undefined,
            dataType: item.type.nodeId,
            ...array,
            accessLevel: this.writable ? "CurrentRead | CurrentWrite" : "CurrentRead",
            // What a session may do is answered per session, by the server's accessor.
            userAccessLevel: "CurrentRead",
            // Sampled by the core (at least 10 ms on the image, 50 ms on a PLC); 50 ms is also
            // the stack's own floor for a monitored item.
            minimumSamplingInterval: kMinimumSamplingInterval,
            // Reads of the value go to the service in one batch before they reach the node: a
            // path that reaches it instead is one this server does not serve yet.
            value: {
                timestamped_get: () => new DataValue({ statusCode: StatusCodes.BadNotSupported })
            }
        });
    }

    #makeObject(item) {
        return this.namespace.addObject({
            nodeId: this.nodeIdOf(item.name),
            browseName: { name: browseNameOf(item.name), namespaceIndex: this.index },
            displayName: browseNameOf(item.name),
            description: item.comment || undefined
        });
    }
}

// The item of a resolved name: a leaf (a variable) when its type is elementary or it is a bit.
function itemOf(name, result) {
    const bit = result.bit !== null && result.bit !== undefined;
    // The type the program writes (LINT, SINT) where the dictionary's name stands for several
    // (DT, BYTE); an elementary type without an OPC UA counterpart is shown as its text.
    const type = bit ? dataTypeOf("BOOL")
        : dataTypeOf(result.declaredType) ?? dataTypeOf(result.typeName) ??
          (result.kind === "EDT" ? textType() : null);
    // An array of an elementary type is a Variable of the whole array, its elements below it.
    const array = type === null ? ElementaryArray.parse(result.typeName) : null;
    return {
        name,
        leaf: type !== null,
        nodeClass: type !== null || array ? NodeClass.Variable : NodeClass.Object,
        type: type ?? array?.type ?? null,
        array,
        typeName: bit ? "BOOL" : result.declaredType ?? result.typeName ?? "",
        address: result.address ?? "",
        block: result.block ?? 0,
        offset: result.offset ?? 0,
        comment: result.comment ?? ""
    };
}
