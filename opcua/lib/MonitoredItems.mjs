// Monitored items on the dictionaries' variables, fed by the core's sampler instead of the
// stack's own timer. The stack keeps what is its own: the revised parameters, the filter, the
// queue and its discard policy, the monitoring mode; the values come from a SamplerFeed and are
// recorded into the item. A monitored node is pinned in its namespace's cache from the item's
// creation to its deletion (or its session's end), so it is never evicted under the item.
//
// Five methods of the stack's MonitoredItem are wrapped, once per process: setNode (pins),
// __start_sampling (subscribes instead of starting a timer), _stop_sampling (unsubscribes),
// modify (a new deadband alone restarts nothing in the stack) and dispose (unpins). An item
// on a node of no VarbankServer goes the stack's way unchanged.
import {
    AttributeIds,
    DataChangeFilter,
    DataValue,
    DeadbandType,
    MonitoredItem,
    NodeClass,
    StatusCodes,
    Variant,
    VariantArrayType
} from "node-opcua";

import { variantValueOf } from "./DataTypes.mjs";

const kRoute = Symbol("varbank route"); // on a MonitoredItem: how it is fed
const routers = new Set(); // the MonitoredItems of every server in this process

export class MonitoredItems {
    #pinned = new Map(); // LazyNamespace -> count of pins held by items
    #fed = 0;

    // `lazyOf(nodeId)`: the LazyNamespace of a node, or null; `feed`: a SamplerFeed.
    constructor(addressSpace, lazyOf, feed, log = () => {}) {
        this.addressSpace = addressSpace;
        this.lazyOf = lazyOf;
        this.feed = feed;
        this.log = log;
        installOnce();
        routers.add(this);
    }

    // Monitored items fed now and nodes pinned, for the log and the tests.
    stats() {
        let pinned = 0;
        this.#pinned.forEach((count) => (pinned += count));
        return { fed: this.#fed, pinned, ...this.feed.stats() };
    }

    // Stops routing this server's items (its feed is closed by its owner).
    detach() {
        routers.delete(this);
    }

    owns(node) {
        return node?.addressSpace === this.addressSpace && this.lazyOf(node.nodeId) !== null;
    }

    // The item was given its node: pin the node while the item lives.
    attach(item, node) {
        const lazy = this.lazyOf(node.nodeId);
        const name = lazy.nameOf(node.nodeId);
        if (!name || !lazy.nodes.pin(name)) {
            return;
        }
        this.#pinned.set(lazy, (this.#pinned.get(lazy) ?? 0) + 1);
        const known = lazy.item(name);
        item[kRoute] = {
            router: this,
            lazy,
            name,
            type: known?.type ?? null,
            fed: node.nodeClass === NodeClass.Variable && item.itemToMonitor?.attributeId === AttributeIds.Value &&
                !!known?.leaf,
            handle: null,
            first: true
        };
    }

    release(route) {
        route.lazy.nodes.unpin(route.name);
        const left = (this.#pinned.get(route.lazy) ?? 1) - 1;
        if (left > 0) {
            this.#pinned.set(route.lazy, left);
        } else {
            this.#pinned.delete(route.lazy);
            this.log(`opcua: ${route.lazy.dictionary}: no node monitored any more`);
        }
    }

    // Subscribes the item with its interval and deadband (again when they changed).
    start(item, route, recordFirst) {
        const intervalMs = Math.max(1, Math.ceil(item.samplingInterval));
        const deadband = deadbandOf(item.filter);
        const key = `${intervalMs}\u0000${deadband}`;
        if (route.handle && route.key === key) {
            return;
        }
        this.stop(route);
        route.key = key;
        route.first = recordFirst || route.first;
        route.handle = this.feed.add(route.lazy.dictionary, route.name, intervalMs, deadband, {
            value: (result) => record(item, route, dataValueOf(route.type, result)),
            down: (reason, refused) => record(item, route, new DataValue({
                statusCode: refused ? StatusCodes.BadResourceUnavailable : StatusCodes.BadCommunicationError,
                sourceTimestamp: new Date(),
                serverTimestamp: new Date()
            })),
            granted: (granted) => {
                item.samplingInterval = granted;
            }
        });
        this.#fed++;
    }

    stop(route) {
        if (route.handle) {
            this.feed.remove(route.handle);
            route.handle = null;
            this.#fed--;
        }
    }
}

function record(item, route, dataValue) {
    if (!item.itemToMonitor || !item.node) {
        return; // disposed meanwhile
    }
    const first = route.first;
    route.first = false;
    item.recordValue(dataValue, first);
}

// The absolute deadband of a DataChangeFilter; 0 for none. A percent deadband never gets here:
// the stack refuses it on a node without an EURange.
export function deadbandOf(filter) {
    return filter instanceof DataChangeFilter && filter.deadbandType === DeadbandType.Absolute &&
        Number.isFinite(filter.deadbandValue) && filter.deadbandValue > 0
        ? filter.deadbandValue
        : 0;
}

// The DataValue of one value the core sampled: { value, error, time, milliseconds? }, with its
// sample time as the source timestamp.
export function dataValueOf(type, result) {
    const sampled = new Date(result.time);
    const sourceTimestamp = Number.isNaN(sampled.getTime()) ? new Date() : sampled;
    const serverTimestamp = new Date();
    if (result.error || !type) {
        return new DataValue({ statusCode: StatusCodes.BadCommunicationError, sourceTimestamp, serverTimestamp });
    }
    const value = variantValueOf(type, result);
    if (value === undefined) {
        return new DataValue({ statusCode: StatusCodes.BadTypeMismatch, sourceTimestamp, serverTimestamp });
    }
    return new DataValue({
        value: new Variant({ dataType: type.builtIn, arrayType: VariantArrayType.Scalar, value }),
        statusCode: StatusCodes.Good,
        sourceTimestamp,
        serverTimestamp
    });
}

function routerOf(node) {
    for (const router of routers) {
        if (router.owns(node)) {
            return router;
        }
    }
    return null;
}

// The stack's methods wrapped, checked by Hooks.mjs before a server starts.
export const kWrapped = ["setNode", "__start_sampling", "_stop_sampling", "modify", "dispose"];
const kInstalled = Symbol.for("varbank.monitoredItems.installed");

function installOnce() {
    const prototype = MonitoredItem.prototype;
    if (prototype[kInstalled]) {
        return;
    }
    prototype[kInstalled] = true;
    const original = Object.fromEntries(kWrapped.map((name) => [name, prototype[name]]));

    prototype.setNode = function setNode(node) {
        original.setNode.call(this, node);
        routerOf(node)?.attach(this, node);
    };
    prototype.__start_sampling = function __start_sampling(recordInitialValue) {
        const route = this[kRoute];
        if (!route?.fed || !this.node) {
            return original.__start_sampling.call(this, recordInitialValue);
        }
        route.router.start(this, route, recordInitialValue);
    };
    prototype._stop_sampling = function _stop_sampling() {
        const route = this[kRoute];
        if (route?.handle) {
            route.router.stop(route);
        }
        return original._stop_sampling.call(this);
    };
    prototype.modify = function modify(timestampsToReturn, monitoringParameters) {
        const result = original.modify.call(this, timestampsToReturn, monitoringParameters);
        const route = this[kRoute];
        // A changed interval restarts the item through __start_sampling; a changed deadband
        // alone is taken here.
        if (route?.handle && result.statusCode === StatusCodes.Good) {
            route.router.start(this, route, false);
        }
        return result;
    };
    prototype.dispose = function dispose() {
        const route = this[kRoute];
        original.dispose.call(this);
        if (route) {
            this[kRoute] = undefined;
            route.router.release(route);
        }
    };
}
