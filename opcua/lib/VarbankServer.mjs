// The OPC UA server of the dictionaries: node-opcua's server with Browse and BrowseNext of the
// dictionaries' nodes paged from the service, and the engine's path translation, Value reads,
// writes and refresh routed around the nodes it does not hold. Every stack internal used here
// is checked by checkHooks() before the server starts.
import {
    AttributeIds,
    BrowseNextResponse,
    BrowseResponse,
    BrowseResult,
    DataType,
    NodeClass,
    OPCUAServer,
    StatusCodes,
    Variant,
    innerBrowse,
    innerBrowseNext,
    resolveNodeId
} from "node-opcua";

import { ContinuationPoints, isOurContinuationPoint } from "./ContinuationPoint.mjs";
import { DictionaryBrowser } from "./DictionaryBrowser.mjs";
import { LazyNamespace } from "./LazyNamespace.mjs";
import { MonitoredItems } from "./MonitoredItems.mjs";
import { PathTranslator } from "./PathTranslator.mjs";
import { SamplerFeed } from "./SamplerFeed.mjs";
import { statusOfServiceError } from "./ServiceStatus.mjs";
import { StampWatch } from "./StampWatch.mjs";
import { ValueReader } from "./ValueReader.mjs";
import { ValueWriter } from "./ValueWriter.mjs";

const kMaxReferencesPerNode = 9876; // the stack's own bound on a page of references

export class VarbankServer extends OPCUAServer {
    #lazies = new Map(); // namespace index -> LazyNamespace
    #byName = new Map(); // dictionary -> LazyNamespace
    #browser = null;
    #monitored = null;
    #watch = null;
    #client = null;
    #cacheOptions = {};
    #log = () => {};
    #writer = null;

    // Builds the namespaces of `dictionaries` (names) and routes the engine through them; call
    // once, after initialize(). `writer` is the ValueWriter of the service's writes. Monitored
    // items of their variables are fed by `feed` (by default a SamplerFeed of the client's
    // service; none when the client has no address).
    attachDictionaries(client, dictionaries, { log = () => {}, nodeCapacity, itemCapacity, writer, feed } = {}) {
        this.#log = log;
        this.#client = client;
        this.#cacheOptions = { nodeCapacity, itemCapacity };
        this.#writer = writer ?? new ValueWriter("", log);
        const addressSpace = this.engine.addressSpace;
        for (const dictionary of dictionaries) {
            this.#addDictionary(dictionary);
        }
        const points = new ContinuationPoints();
        this.#browser = new DictionaryBrowser(addressSpace, points);
        this.on("session_closed", (session) => points.forget(sessionKey(session)));
        this.#routeEngine();
        const source = feed ?? (client.baseUrl ? new SamplerFeed(client.baseUrl, { log, headers: client.headers }) : null);
        if (source) {
            this.#monitored = new MonitoredItems(addressSpace, (nodeId) => this.lazyOf(nodeId), source, log);
        }
    }

    // The monitored items fed by the core and the nodes they pin: { fed, pinned, connections,
    // names }; null without a feed.
    monitoringStats() {
        return this.#monitored?.stats() ?? null;
    }

    // Follows the service's dictionaries (listed now as [{ name, stamp }]): a reloaded one drops
    // its cached nodes, so clients see the new program on their next browse; an added one gets
    // its namespace.
    followDictionaries(dictionaries, intervalMs = 1000) {
        this.#watch = new StampWatch(this.#client, {
            changed: (name, stamp) => {
                const lazy = this.#byName.get(name);
                if (lazy) {
                    const dropped = lazy.reload();
                    this.#log(`opcua: ${name}: reloaded (stamp ${stamp}), ${dropped} cached nodes dropped`);
                }
            },
            added: (name) => {
                this.#addDictionary(name);
                this.#log(`opcua: ${name}: served (urn:varbank:${name})`);
            }
        }, { intervalMs, log: this.#log });
        this.#watch.start(dictionaries);
    }

    shutdown(...args) {
        this.#watch?.stop();
        return super.shutdown(...args);
    }

    #addDictionary(dictionary) {
        const lazy = new LazyNamespace(this.engine.addressSpace, dictionary, this.#client,
            { log: this.#log, ...this.#cacheOptions, writable: this.#writer.writable });
        this.#lazies.set(lazy.index, lazy);
        this.#byName.set(dictionary, lazy);
    }

    lazyOf(nodeId) {
        return nodeId ? this.#lazies.get(resolveNodeId(nodeId).namespace) ?? null : null;
    }

    dictionary(name) {
        return this.#byName.get(name) ?? null;
    }

    _on_BrowseRequest(message, channel) {
        const request = message.request;
        const ours = (request.nodesToBrowse ?? []).some((d) => this.lazyOf(d.nodeId));
        const view = request.view && !request.view.viewId.isEmpty();
        if (!ours || view) {
            return super._on_BrowseRequest(message, channel);
        }
        this._apply_on_SessionObject(BrowseResponse, message, channel, async (session, sendResponse, sendError) => {
            const limits = this.engine.serverCapabilities.operationLimits;
            if (limits.maxNodesPerBrowse > 0 && request.nodesToBrowse.length > limits.maxNodesPerBrowse) {
                return sendError(StatusCodes.BadTooManyOperations);
            }
            const maxReferences = Math.min(kMaxReferencesPerNode, request.requestedMaxReferencesPerNode);
            try {
                const results = await this.#browseAll(session, request.nodesToBrowse, maxReferences);
                sendResponse(new BrowseResponse({ results }));
            } catch (error) {
                this.#log(`opcua: browse failed: ${error.stack ?? error}`);
                sendError(StatusCodes.BadInternalError);
            }
        });
    }

    // The names of the items to monitor are resolved first, so that the stack finds their nodes.
    _on_CreateMonitoredItemsRequest(message, channel) {
        const items = message.request.itemsToCreate ?? [];
        this.#learnAll(items.map((item) => item.itemToMonitor.nodeId))
            .catch((error) => this.#log(`opcua: monitored items: resolve failed: ${error.message}`))
            .then(() => super._on_CreateMonitoredItemsRequest(message, channel));
    }

    _on_BrowseNextRequest(message, channel) {
        const request = message.request;
        const ours = (request.continuationPoints ?? []).some(isOurContinuationPoint);
        if (!ours) {
            return super._on_BrowseNextRequest(message, channel);
        }
        this._apply_on_SessionObject(BrowseNextResponse, message, channel, async (session, sendResponse, sendError) => {
            try {
                const results = await this.#browseNextAll(session, request);
                sendResponse(new BrowseNextResponse({ results }));
            } catch (error) {
                this.#log(`opcua: browse next failed: ${error.stack ?? error}`);
                sendError(StatusCodes.BadInternalError);
            }
        });
    }

    // Ours paged from the service, the others by the stack with the session's continuation
    // points; the results in the order asked.
    async #browseAll(session, nodesToBrowse, maxReferences) {
        const results = new Array(nodesToBrowse.length);
        const others = [];
        await Promise.all(nodesToBrowse.map(async (description, index) => {
            const lazy = this.lazyOf(description.nodeId);
            if (!lazy) {
                others.push(index);
                return;
            }
            results[index] = await this.#guarded(() =>
                this.#browser.browse(lazy, description, maxReferences, sessionKey(session)));
        }));
        if (others.length > 0) {
            const engine = {
                browseAll: (descriptions, callback) => {
                    this.engine.browseWithAutomaticExpansion(descriptions, session.sessionContext)
                        .then((r) => callback(null, r), (e) => callback(e));
                },
                context: session.sessionContext,
                continuationPointManager: session.continuationPointManager,
                requestedMaxReferencesPerNode: maxReferences,
                maxBrowseContinuationPoints: this.engine.serverCapabilities.maxBrowseContinuationPoints
            };
            const standard = await new Promise((resolve, reject) =>
                innerBrowse(engine, others.map((i) => nodesToBrowse[i]), (e, r) => (e ? reject(e) : resolve(r))));
            others.forEach((index, i) => (results[index] = standard[i]));
        }
        return results;
    }

    async #browseNextAll(session, request) {
        const points = request.continuationPoints;
        const results = new Array(points.length);
        const others = [];
        await Promise.all(points.map(async (point, index) => {
            if (!isOurContinuationPoint(point)) {
                others.push(index);
                return;
            }
            results[index] = await this.#guarded(() =>
                this.#browser.browseNext((name) => this.dictionary(name), point,
                    request.releaseContinuationPoints, sessionKey(session)));
        }));
        if (others.length > 0) {
            const standard = await new Promise((resolve, reject) =>
                innerBrowseNext({ continuationPointManager: session.continuationPointManager },
                    others.map((i) => points[i]), request.releaseContinuationPoints,
                    (e, r) => (e ? reject(e) : resolve(r))));
            others.forEach((index, i) => (results[index] = standard[i]));
        }
        return results;
    }

    // A browse whose service request failed gives the failure's status code.
    async #guarded(browse) {
        try {
            return await browse();
        } catch (error) {
            if (error?.status === undefined) {
                throw error;
            }
            this.#log(`opcua: browse: ${error.message}`);
            return new BrowseResult({ statusCode: statusOfServiceError(error) });
        }
    }

    #routeEngine() {
        const engine = this.engine;
        const lazyOf = (nodeId) => this.lazyOf(nodeId);
        const isOurs = (nodeId) => !!lazyOf(nodeId);

        const translator = new PathTranslator(engine.addressSpace,
            engine.translateBrowsePath.bind(engine), lazyOf, this.#log);
        engine.translateBrowsePaths = (browsePaths) => translator.translate(browsePaths);

        // The stack refreshes variables node by node; the dictionaries' values are read in
        // batches by the accessor below instead.
        const refresh = engine.refreshValues.bind(engine);
        engine.refreshValues = (nodesToRefresh, maxAge, callback) =>
            refresh(nodesToRefresh.filter((n) => !isOurs(n.nodeId)), maxAge, callback);

        const accessor = engine.addressSpaceAccessor;
        const read = accessor.read.bind(accessor);
        const write = accessor.write.bind(accessor);
        const reader = new ValueReader(this.#log);
        accessor.read = async (context, readRequest) => {
            const nodesToRead = readRequest.nodesToRead ?? [];
            if (!nodesToRead.some((n) => isOurs(n.nodeId))) {
                return read(context, readRequest);
            }
            const learned = await this.#learnAll(nodesToRead.map((n) => n.nodeId));
            const ours = await reader.read(nodesToRead, readRequest.timestampsToReturn, lazyOf, learned);
            const rest = nodesToRead.filter((_n, i) => !ours.has(i));
            const standard = rest.length === 0 ? [] : await read(context, {
                maxAge: readRequest.maxAge,
                timestampsToReturn: readRequest.timestampsToReturn,
                nodesToRead: rest
            });
            let next = 0;
            const results = nodesToRead.map((_n, i) => ours.get(i) ?? standard[next++]);
            return this.#withUserAccess(context, nodesToRead, results, learned);
        };
        // Writes of the dictionaries' values go to the service; nothing is kept in a node.
        accessor.write = async (context, nodesToWrite) => {
            if (!nodesToWrite.some((n) => isOurs(n.nodeId))) {
                return write(context, nodesToWrite);
            }
            const learned = await this.#learnAll(nodesToWrite.map((n) => n.nodeId));
            const ours = await this.#writer.write(context, nodesToWrite, lazyOf, learned);
            const rest = nodesToWrite.filter((_n, i) => !ours.has(i));
            const standard = rest.length === 0 ? [] : await write(context, rest);
            let next = 0;
            return nodesToWrite.map((_n, i) => ours.get(i) ?? standard[next++]);
        };
    }

    // The UserAccessLevel of the dictionaries' variables (not their properties) is the
    // session's: CurrentWrite only for a user session of a writable service.
    #withUserAccess(context, nodesToRead, results, learned) {
        return results.map((result, i) => {
            const { nodeId, attributeId } = nodesToRead[i];
            const lazy = attributeId === AttributeIds.UserAccessLevel ? this.lazyOf(nodeId) : null;
            const item = lazy ? learned.get(lazy)?.get(lazy.nameOf(resolveNodeId(nodeId))) : null;
            if (!item || item.property || item.nodeClass !== NodeClass.Variable ||
                result.statusCode !== StatusCodes.Good) {
                return result;
            }
            result.value = new Variant({ dataType: DataType.Byte, value: this.#writer.userAccessLevel(context) });
            return result;
        });
    }

    // Resolves the item names among `nodeIds`, so that the stack's lookups find their nodes.
    // Gives what was learned by namespace: name -> item or { reason }; a namespace whose
    // service could not be asked is left out.
    async #learnAll(nodeIds) {
        const byLazy = new Map();
        for (const nodeId of nodeIds) {
            const lazy = this.lazyOf(nodeId);
            const name = lazy?.nameOf(resolveNodeId(nodeId));
            if (name) {
                if (!byLazy.has(lazy)) {
                    byLazy.set(lazy, []);
                }
                byLazy.get(lazy).push(name);
            }
        }
        const learned = new Map();
        for (const [lazy, names] of byLazy) {
            try {
                learned.set(lazy, await lazy.learn(names));
            } catch (error) {
                this.#log(`opcua: ${lazy.dictionary}: resolve failed: ${error.message}`);
            }
        }
        return learned;
    }
}

// What binds a continuation point to the session that browsed.
function sessionKey(session) {
    return session.nodeId.toString();
}
