// The properties of an item's node: its address, block, offset and type name as resolve gives
// them, each a Variable linked by HasProperty. A property's NodeId is the item name, "#" and
// the property ("s=Motor1.Speed#Offset"): "#" is never part of an item name, so the two never
// collide. Property nodes are made on first use, like the items' own nodes.
import { DataType, NodeClass, NodeId, Variant, resolveNodeId } from "node-opcua";

import { browseNameOf } from "./ItemPaths.mjs";

export const kPropertySeparator = "#";
const kHasProperty = resolveNodeId("ns=0;i=46");
const kPropertyType = resolveNodeId("ns=0;i=68");
const kHasTypeDefinition = resolveNodeId("ns=0;i=40");

// browse name -> how its value is taken from an item.
const kProperties = new Map([
    ["Address", { dataType: DataType.String, of: (item) => item.address ?? "" }],
    ["Block", { dataType: DataType.UInt32, of: (item) => item.block ?? 0 }],
    ["Offset", { dataType: DataType.UInt32, of: (item) => item.offset ?? 0 }],
    ["TypeName", { dataType: DataType.String, of: (item) => item.typeName ?? "" }]
]);

export class ItemProperties {
    static names() {
        return [...kProperties.keys()];
    }

    // { owner, property } of a property's name ("Motor1.Speed#Offset"); null for any other.
    static split(name) {
        const at = typeof name === "string" ? name.lastIndexOf(kPropertySeparator) : -1;
        if (at <= 0 || !kProperties.has(name.slice(at + 1))) {
            return null;
        }
        return { owner: name.slice(0, at), property: name.slice(at + 1) };
    }

    static nameOf(owner, property) {
        return `${owner}${kPropertySeparator}${property}`;
    }

    // The Variant of a property of `item`.
    static valueOf(item, property) {
        const { dataType, of } = kProperties.get(property);
        return new Variant({ dataType, value: of(item) });
    }

    // The node of a property of `item` in `lazy`'s namespace.
    static makeNode(lazy, item, property) {
        const value = ItemProperties.valueOf(item, property);
        return lazy.namespace.addVariable({
            nodeId: lazy.nodeIdOf(ItemProperties.nameOf(item.name, property)),
            browseName: { name: property, namespaceIndex: lazy.index },
            displayName: property,
            typeDefinition: kPropertyType,
            dataType: `ns=0;i=${value.dataType}`,
            valueRank: -1,
            accessLevel: "CurrentRead",
            userAccessLevel: "CurrentRead",
            value: { get: () => ItemProperties.valueOf(item, property) }
        });
    }

    // The forward HasProperty references of an item's node, for its browse.
    static references(lazy, ownerName) {
        return ItemProperties.names().map((property) => ({
            referenceTypeId: kHasProperty,
            isForward: true,
            nodeId: lazy.nodeIdOf(ItemProperties.nameOf(ownerName, property)),
            browseName: { name: property, namespaceIndex: lazy.index },
            displayName: { text: property },
            nodeClass: NodeClass.Variable,
            typeDefinition: kPropertyType
        }));
    }

    // A property node's own references: its type, and its item (inverse HasProperty).
    static ownReferences(lazy, addressSpace, owner, ownerItem) {
        const typeNode = addressSpace.findNode(kPropertyType);
        const browseName = browseNameOf(owner);
        return [
            {
                referenceTypeId: kHasTypeDefinition,
                isForward: true,
                nodeId: kPropertyType,
                browseName: typeNode.browseName,
                displayName: typeNode.displayName[0],
                nodeClass: typeNode.nodeClass,
                typeDefinition: NodeId.nullNodeId
            },
            {
                referenceTypeId: kHasProperty,
                isForward: false,
                nodeId: lazy.nodeIdOf(owner),
                browseName: { name: browseName, namespaceIndex: lazy.index },
                displayName: { text: browseName },
                nodeClass: ownerItem.nodeClass,
                typeDefinition: resolveNodeId(ownerItem.nodeClass === NodeClass.Variable ? "ns=0;i=63" : "ns=0;i=58")
            }
        ];
    }
}
