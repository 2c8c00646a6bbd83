// The node-opcua internals this server replaces or calls, checked for their presence and shape
// before it starts: an upgrade of the stack that moves one of them must stop the start with a
// message, not serve a half-working address space.
import { createRequire } from "node:module";

import * as opcua from "node-opcua";

const require = createRequire(import.meta.url);

export const kStackVersion = require("node-opcua/package.json").version;

// What node-opcua's server class must offer. Each check is named by the text shown when it
// fails.
const kServerChecks = [
    ["OPCUAServer#_on_BrowseRequest(message, channel)", (s) => hasMethod(s, "_on_BrowseRequest", 2)],
    ["OPCUAServer#_on_BrowseNextRequest(message, channel)", (s) => hasMethod(s, "_on_BrowseNextRequest", 2)],
    ["OPCUAServer#_apply_on_SessionObject(ResponseClass, message, channel, action)",
        (s) => hasMethod(s, "_apply_on_SessionObject", 4)],
    ["a request is dispatched to this[`_on_${name}`]",
        (s) => typeof s.on_request === "function" && s.on_request.toString().includes("`_on_${request.schema.name}`")],
    ["the Read handler calls engine.refreshValues then engine.read",
        (s) => /refreshValues\([\s\S]*this\.engine\.read\(/.test(s._on_ReadRequest?.toString() ?? "")],
    ["the TranslateBrowsePaths handler calls engine.translateBrowsePaths",
        (s) => (s._on_TranslateBrowsePathsToNodeIdsRequest?.toString() ?? "").includes(".translateBrowsePaths(")]
];

// What an initialized engine must offer.
const kEngineChecks = [
    ["ServerEngine#translateBrowsePaths(browsePaths)", (e) => hasMethod(e, "translateBrowsePaths", 1)],
    ["ServerEngine#translateBrowsePath(browsePath)", (e) => hasMethod(e, "translateBrowsePath", 1)],
    ["ServerEngine#refreshValues(nodesToRefresh, maxAge, callback)", (e) => hasMethod(e, "refreshValues", 3)],
    ["ServerEngine#browseWithAutomaticExpansion(nodesToBrowse, context)",
        (e) => hasMethod(e, "browseWithAutomaticExpansion", 2)],
    ["ServerEngine#read delegates to engine.addressSpaceAccessor.read",
        (e) => (e.read?.toString() ?? "").includes("this.addressSpaceAccessor.read(")],
    ["ServerEngine#write delegates to engine.addressSpaceAccessor.write",
        (e) => (e.write?.toString() ?? "").includes("this.addressSpaceAccessor.write(")],
    ["engine.addressSpaceAccessor.read(context, readRequest)", (e) => hasMethod(e.addressSpaceAccessor, "read", 2)],
    ["engine.addressSpaceAccessor.write(context, nodesToWrite)", (e) => hasMethod(e.addressSpaceAccessor, "write", 2)],
    ["the accessor finds nodes through namespace.findNode2",
        (e) => (e.addressSpaceAccessor?.__findNode?.toString() ?? "").includes(".findNode2(")],
    ["engine.serverCapabilities.operationLimits", (e) => typeof e.serverCapabilities?.operationLimits === "object"],
    ["AddressSpace#findNode delegates to namespace.findNode2",
        (e) => (e.addressSpace?.findNode?.toString() ?? "").includes(".findNode2(")],
    ["Namespace#findNode2(nodeId) is an own-replaceable method",
        (e) => hasMethod(e.addressSpace?.getOwnNamespace?.(), "findNode2", 1)],
    ["Namespace#deleteNode(node)", (e) => hasMethod(e.addressSpace?.getOwnNamespace?.(), "deleteNode", 1)]
];

// What the monitored items rely on (MonitoredItems.mjs wraps setNode, __start_sampling,
// _stop_sampling, modify and dispose; their shape is checked, the wrapped code is not).
const kMonitoredItemChecks = [
    ["MonitoredItem#setNode(node)", (m) => hasMethod(m, "setNode", 1)],
    ["MonitoredItem#_start_sampling defers to __start_sampling(recordInitialValue)",
        (m) => hasMethod(m, "__start_sampling", 1) && m._start_sampling.toString().includes("this.__start_sampling(")],
    ["MonitoredItem#_stop_sampling(), called by terminate",
        (m) => hasMethod(m, "_stop_sampling", 0) && m.terminate.toString().includes("this._stop_sampling()")],
    ["MonitoredItem#setMonitoringMode starts and stops sampling",
        (m) => /_stop_sampling\(\)[\s\S]*_start_sampling\(/.test(m.setMonitoringMode?.toString() ?? "")],
    ["MonitoredItem#modify(timestampsToReturn, monitoringParameters)", (m) => hasMethod(m, "modify", 2)],
    ["MonitoredItem#dispose()", (m) => hasMethod(m, "dispose", 0)],
    ["MonitoredItem#recordValue(dataValue, skipChangeTest, indexRange)", (m) => hasMethod(m, "recordValue", 3)],
    ["Subscription#preCreateMonitoredItem gives the item its node with setNode",
        () => (opcua.Subscription?.prototype.preCreateMonitoredItem?.toString() ?? "").includes(".setNode(node)")],
    ["OPCUAServer#_on_CreateMonitoredItemsRequest(message, channel) calls preCreateMonitoredItem",
        () => hasMethod(opcua.OPCUAServer.prototype, "_on_CreateMonitoredItemsRequest", 2) &&
            opcua.OPCUAServer.prototype._on_CreateMonitoredItemsRequest.toString().includes(".preCreateMonitoredItem(")]
];

const kModuleChecks = [
    ["innerBrowse(engine, nodesToBrowse, callback)", () => typeof opcua.innerBrowse === "function" && opcua.innerBrowse.length === 3],
    ["innerBrowseNext(engine, continuationPoints, release, callback)",
        () => typeof opcua.innerBrowseNext === "function" && opcua.innerBrowseNext.length === 4],
    ["apply_timestamps(dataValue, timestampsToReturn, attributeId)", () => typeof opcua.apply_timestamps === "function"],
    ["extractRange(dataValue, indexRange)", () => typeof opcua.extractRange === "function"],
    ["a session's identity is context.session.userIdentityToken (SessionContext#getUserName)",
        () => (opcua.SessionContext?.prototype.getUserName?.toString() ?? "").includes("this.session.userIdentityToken")]
];

function hasMethod(object, name, length) {
    return !!object && typeof object[name] === "function" && object[name].length === length;
}

function failures(checks, subject) {
    return checks.filter(([, check]) => {
        try {
            return !check(subject);
        } catch {
            return true;
        }
    }).map(([text]) => text);
}

// The internals missing or changed: [] when every one is as expected. `engine` is a server's
// engine after initialize(); it is checked only when given.
export function missingHooks(engine) {
    return [
        ...failures(kModuleChecks, null),
        ...failures(kServerChecks, opcua.OPCUAServer.prototype),
        ...failures(kMonitoredItemChecks, opcua.MonitoredItem.prototype),
        ...(engine ? failures(kEngineChecks, engine) : [])
    ];
}

// Throws an Error naming every internal missing or changed.
export function checkHooks(engine) {
    const missing = missingHooks(engine);
    if (missing.length > 0) {
        throw new Error(`node-opcua ${kStackVersion} does not offer what this server relies on: ` +
            missing.join("; ") + ` (install the version of opcua/package-lock.json with scripts/setup.sh)`);
    }
}
