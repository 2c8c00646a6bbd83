// Browse and BrowseNext of a dictionary's nodes, paged from the service's browse: a node's own
// references first (its type, its parent), then its children a page at a time. Nothing is kept
// between pages: the continuation point carries the position.
import {
    BrowseDirection,
    BrowseResult,
    NodeClass,
    NodeId,
    ReferenceDescription,
    StatusCodes,
    resolveNodeId
} from "node-opcua";

import { browseNameOf, parentOf } from "./ItemPaths.mjs";

const kDefaultPageSize = 1000; // when a client leaves the page size to the server
const kMaxPageSize = 10000; // what the service's browse gives at most
const kBaseObjectType = resolveNodeId("ns=0;i=58");
const kBaseDataVariableType = resolveNodeId("ns=0;i=63");
const kHasComponent = resolveNodeId("ns=0;i=47");
const kHasTypeDefinition = resolveNodeId("ns=0;i=40");
const kOrganizes = resolveNodeId("ns=0;i=35");

// Which result fields a client asked for (ResultMask bits).
const kMask = { referenceType: 1, isForward: 2, nodeClass: 4, browseName: 8, displayName: 16, typeDefinition: 32 };

export class DictionaryBrowser {
    // points: the ContinuationPoints that sign this server's points.
    constructor(addressSpace, points) {
        this.addressSpace = addressSpace;
        this.points = points;
    }

    // One BrowseResult for a node of `lazy`'s namespace, browsed by `session` (its id).
    async browse(lazy, description, maxReferences, session) {
        const name = lazy.nameOf(resolveNodeId(description.nodeId));
        if (name === null) {
            return new BrowseResult({ statusCode: StatusCodes.BadNodeIdUnknown });
        }
        const referenceType = description.referenceTypeId ? resolveNodeId(description.referenceTypeId) : null;
        const filters = {
            direction: description.browseDirection ?? BrowseDirection.Forward,
            referenceTypeId: referenceType && !referenceType.isEmpty() ? referenceType.toString() : "",
            includeSubtypes: !!description.includeSubtypes,
            nodeClassMask: description.nodeClassMask ?? 0,
            resultMask: description.resultMask ?? 63
        };
        if (filters.direction > BrowseDirection.Both) {
            return new BrowseResult({ statusCode: StatusCodes.BadBrowseDirectionInvalid });
        }
        if (filters.referenceTypeId && !this.#referenceType(filters.referenceTypeId)) {
            return new BrowseResult({ statusCode: StatusCodes.BadReferenceTypeIdInvalid });
        }
        const limit = Math.min(maxReferences > 0 ? maxReferences : kDefaultPageSize, kMaxPageSize);
        const state = { dictionary: lazy.dictionary, path: name, fixed: 0, children: "", filters, limit };
        return this.#page(lazy, state, session);
    }

    // One BrowseResult for a continuation point of ours, of the page size of the Browse that
    // made the first; a released point answers Good and ends its browse.
    async browseNext(lazyOf, continuationPoint, release, session) {
        const state = this.points.decode(continuationPoint, session);
        const lazy = state ? lazyOf(state.dictionary) : null;
        if (!lazy) {
            return new BrowseResult({ statusCode: StatusCodes.BadContinuationPointInvalid });
        }
        if (release) {
            this.points.release(state, session);
            return new BrowseResult({ statusCode: StatusCodes.Good });
        }
        return this.#page(lazy, state, session);
    }

    async #page(lazy, state, session) {
        const limit = state.limit;
        const path = state.path;
        let item = null;
        if (path !== "") {
            item = (await lazy.learn([path])).get(path);
            if (!item || item.reason !== undefined) {
                return new BrowseResult({ statusCode: StatusCodes.BadNodeIdUnknown });
            }
        }
        const own = this.#ownReferences(lazy, path, item).filter((r) => this.#wanted(r, state.filters));
        const references = own.slice(state.fixed, state.fixed + limit);
        const fixed = state.fixed + references.length;
        // The service's continuation: "" before the first child, null once all were sent.
        let children = (path === "" || !item.leaf) && this.#wantsChildren(state.filters) ? state.children : null;
        if (fixed >= own.length && children !== null && references.length < limit) {
            const page = await lazy.client.browse(lazy.dictionary, path, limit - references.length, children);
            for (const child of page.children) {
                const reference = this.#childReference(lazy, child);
                if (this.#wanted(reference, state.filters)) {
                    references.push(reference);
                }
            }
            children = page.continuation ?? null;
        }
        const more = fixed < own.length || children !== null;
        const continuationPoint = more
            ? this.points.encode({ ...state, fixed, children }, session)
            : undefined;
        return new BrowseResult({
            statusCode: StatusCodes.Good,
            continuationPoint,
            references: references.map((r) => this.#masked(r, state.filters.resultMask))
        });
    }

    // The node's type, and its parent (inverse).
    #ownReferences(lazy, path, item) {
        const type = path === "" || !item.leaf ? kBaseObjectType : kBaseDataVariableType;
        const typeNode = this.addressSpace.findNode(type);
        const references = [
            {
                referenceTypeId: kHasTypeDefinition,
                isForward: true,
                nodeId: type,
                browseName: typeNode.browseName,
                displayName: typeNode.displayName[0],
                nodeClass: typeNode.nodeClass,
                typeDefinition: NodeId.nullNodeId
            }
        ];
        if (path === "") {
            const objects = this.addressSpace.rootFolder.objects;
            references.push({
                referenceTypeId: kOrganizes,
                isForward: false,
                nodeId: objects.nodeId,
                browseName: objects.browseName,
                displayName: objects.displayName[0],
                nodeClass: NodeClass.Object,
                typeDefinition: resolveNodeId("ns=0;i=61")
            });
        } else {
            const parent = parentOf(path);
            const browseName = parent === "" ? lazy.dictionary : browseNameOf(parent);
            references.push({
                referenceTypeId: kHasComponent,
                isForward: false,
                nodeId: lazy.nodeIdOf(parent),
                browseName: { name: browseName, namespaceIndex: lazy.index },
                displayName: { text: browseName },
                nodeClass: NodeClass.Object,
                typeDefinition: kBaseObjectType
            });
        }
        return references;
    }

    #childReference(lazy, child) {
        return {
            referenceTypeId: kHasComponent,
            isForward: true,
            nodeId: lazy.nodeIdOf(child.path),
            browseName: { name: child.name, namespaceIndex: lazy.index },
            displayName: { text: child.name },
            nodeClass: child.hasChildren ? NodeClass.Object : NodeClass.Variable,
            typeDefinition: child.hasChildren ? kBaseObjectType : kBaseDataVariableType
        };
    }

    #wantsChildren(filters) {
        return filters.direction !== BrowseDirection.Inverse &&
            this.#typeMatches(kHasComponent, filters);
    }

    #wanted(reference, filters) {
        const direction =
            filters.direction === BrowseDirection.Both ||
            (filters.direction === BrowseDirection.Forward) === reference.isForward;
        const nodeClass = filters.nodeClassMask === 0 || (filters.nodeClassMask & reference.nodeClass) !== 0;
        return direction && nodeClass && this.#typeMatches(reference.referenceTypeId, filters);
    }

    #typeMatches(referenceTypeId, filters) {
        if (!filters.referenceTypeId) {
            return true;
        }
        if (referenceTypeId.toString() === filters.referenceTypeId) {
            return true;
        }
        const asked = this.#referenceType(filters.referenceTypeId);
        const ours = this.#referenceType(referenceTypeId.toString());
        return filters.includeSubtypes && !!asked && !!ours && ours.isSubtypeOf(asked);
    }

    #referenceType(nodeIdText) {
        const node = this.addressSpace.findNode(resolveNodeId(nodeIdText));
        return node && node.nodeClass === NodeClass.ReferenceType ? node : null;
    }

    #masked(reference, resultMask) {
        const has = (bit) => (resultMask & bit) !== 0;
        return new ReferenceDescription({
            referenceTypeId: has(kMask.referenceType) ? reference.referenceTypeId : NodeId.nullNodeId,
            isForward: has(kMask.isForward) ? reference.isForward : false,
            nodeId: reference.nodeId,
            browseName: has(kMask.browseName) ? reference.browseName : null,
            displayName: has(kMask.displayName) ? reference.displayName : null,
            nodeClass: has(kMask.nodeClass) ? reference.nodeClass : NodeClass.Unspecified,
            typeDefinition: has(kMask.typeDefinition) ? reference.typeDefinition : NodeId.nullNodeId
        });
    }
}
