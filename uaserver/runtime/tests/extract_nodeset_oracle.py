#!/usr/bin/env python3
"""Extracts the facts the address-space walks compare against from a standard NodeSet.

  extract_nodeset_oracle.py source target                 namespace 0, NodeIds as bare numbers
  extract_nodeset_oracle.py source target URI=index ...   the namespaces of those URIs, NodeIds in
                                                          the server's text form ("i=58", "ns=2;i=1001")
                                                          with each file namespace mapped to its index

One line per node, fields separated by '|':
id|class|browse name|parent id|reference type id|IsAbstract|Symmetric|InverseName|DataType id|EnumStrings (';')
|browse-name namespace|modelling rule id|type definition id|ValueRank
The parent is the source of the node's inverse hierarchical reference (HasSubtype for types).
"""
import sys
import xml.etree.ElementTree as ET

NS = {"u": "http://opcfoundation.org/UA/2011/03/UANodeSet.xsd"}
TYPES_NS = "{http://opcfoundation.org/UA/2008/02/Types.xsd}"
STANDARD_URI = "http://opcfoundation.org/UA/"
HIERARCHICAL = {"33", "34", "35", "36", "44", "45", "46", "47", "48", "49", "56"}
CLASSES = {"UAObject": 1, "UAVariable": 2, "UAMethod": 4, "UAObjectType": 8, "UAVariableType": 16,
           "UAReferenceType": 32, "UADataType": 64, "UAView": 128}


class Ids:
    """NodeIds of the file in the server's namespaces."""

    def __init__(self, root, mapping):
        self.aliases = {a.get("Alias"): a.text.strip() for a in root.iterfind("u:Aliases/u:Alias", NS)}
        uris = [STANDARD_URI] + [u.text.strip() for u in root.iterfind("u:NamespaceUris/u:Uri", NS)]
        self.mapped = mapping is not None
        # File namespace index -> server index; namespace 0 always stays 0.
        self.index = {0: 0}
        for file_index, uri in enumerate(uris):
            if self.mapped and uri in mapping:
                self.index[file_index] = mapping[uri]

    def split(self, text):
        """(server namespace or None, identifier part such as 'i=58')."""
        text = self.aliases.get(text, text)
        ns = 0
        if text.startswith("ns="):
            head, text = text.split(";", 1)
            ns = int(head[3:])
        return self.index.get(ns), text

    def text(self, text):
        ns, ident = self.split(text)
        if not self.mapped:
            return ident[2:] if ns == 0 and ident.startswith("i=") else ""
        if ns is None:
            return "?" + ident
        return ident if ns == 0 else "ns=%d;%s" % (ns, ident)

    def browse_namespace(self, name):
        if ":" not in name:
            return 0, name
        prefix, rest = name.split(":", 1)
        return self.index.get(int(prefix), -1), rest

    def wanted(self, node_id):
        ns, ident = self.split(node_id)
        if not self.mapped:
            return ns == 0 and ident.startswith("i=")
        return ns is not None and ns != 0


def reference_id(ids, text):
    ns, ident = ids.split(text)
    return ident[2:] if ns == 0 and ident.startswith("i=") else ""


def main(source, target, mapping):
    root = ET.parse(source).getroot()
    ids = Ids(root, mapping)
    lines = []
    for element in root:
        tag = element.tag.split("}")[1]
        if tag not in CLASSES or not ids.wanted(element.get("NodeId")):
            continue
        parent, reference, rule, type_definition = "", "", "", ""
        for ref in element.iterfind("u:References/u:Reference", NS):
            ref_type = reference_id(ids, ref.get("ReferenceType"))
            forward = ref.get("IsForward") != "false"
            if not forward and ref_type in HIERARCHICAL and not parent:
                parent, reference = ids.text(ref.text.strip()), ref_type
            elif forward and ref_type == "37":
                rule = ids.text(ref.text.strip())
            elif forward and ref_type == "40":
                type_definition = ids.text(ref.text.strip())
        inverse = element.find("u:InverseName", NS)
        enum_strings = ""
        if element.get("BrowseName") == "EnumStrings":
            texts = element.iter(TYPES_NS + "Text")
            enum_strings = ";".join(t.text or "" for t in texts)
        data_type = element.get("DataType")
        if data_type is None and ids.mapped and tag in ("UAVariable", "UAVariableType"):
            data_type = "i=24"
        browse_ns, browse_name = ids.browse_namespace(element.get("BrowseName"))
        value_rank = element.get("ValueRank", "-1") if tag in ("UAVariable", "UAVariableType") else ""
        lines.append("|".join([
            ids.text(element.get("NodeId")), str(CLASSES[tag]), browse_name, parent, reference,
            element.get("IsAbstract", "false"), element.get("Symmetric", "false"),
            inverse.text.strip() if inverse is not None and inverse.text else "",
            ids.text(data_type) if data_type else "", enum_strings,
            str(browse_ns), rule, type_definition, value_rank]))
    with open(target, "w", encoding="utf-8") as out:
        out.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    pairs = [arg.rsplit("=", 1) for arg in sys.argv[3:]]
    main(sys.argv[1], sys.argv[2], {uri: int(index) for uri, index in pairs} if pairs else None)
