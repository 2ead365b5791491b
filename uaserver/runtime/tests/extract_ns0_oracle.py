#!/usr/bin/env python3
"""Extracts the facts the namespace-0 walk compares against from the standard NodeSet.

One line per node of namespace 0, fields separated by '|':
id|class|browse name|parent id|reference type id|IsAbstract|Symmetric|InverseName|DataType id|EnumStrings (';')
The parent is the source of the node's inverse hierarchical reference (HasSubtype for types).
"""
import sys
import xml.etree.ElementTree as ET

NS = {"u": "http://opcfoundation.org/UA/2011/03/UANodeSet.xsd"}
TYPES_NS = "{http://opcfoundation.org/UA/2008/02/Types.xsd}"
HIERARCHICAL = {"33", "34", "35", "36", "44", "45", "46", "47", "48", "49", "56"}
CLASSES = {"UAObject": 1, "UAVariable": 2, "UAMethod": 4, "UAObjectType": 8, "UAVariableType": 16,
           "UAReferenceType": 32, "UADataType": 64, "UAView": 128}


def numeric(text, aliases):
    text = aliases.get(text, text)
    return text[2:] if text.startswith("i=") else ""


def main(source, target):
    root = ET.parse(source).getroot()
    aliases = {a.get("Alias"): a.text.strip() for a in root.iterfind("u:Aliases/u:Alias", NS)}
    lines = []
    for element in root:
        tag = element.tag.split("}")[1]
        if tag not in CLASSES:
            continue
        node_id = element.get("NodeId")
        if not node_id.startswith("i="):
            continue
        parent, reference = "", ""
        for ref in element.iterfind("u:References/u:Reference", NS):
            ref_type = numeric(ref.get("ReferenceType"), aliases)
            if ref.get("IsForward") == "false" and ref_type in HIERARCHICAL and not parent:
                parent, reference = numeric(ref.text.strip(), aliases), ref_type
        inverse = element.find("u:InverseName", NS)
        enum_strings = ""
        if element.get("BrowseName") == "EnumStrings":
            texts = element.iter(TYPES_NS + "Text")
            enum_strings = ";".join(t.text or "" for t in texts)
        data_type = element.get("DataType")
        lines.append("|".join([
            node_id[2:], str(CLASSES[tag]), element.get("BrowseName").split(":")[-1], parent, reference,
            element.get("IsAbstract", "false"), element.get("Symmetric", "false"),
            inverse.text.strip() if inverse is not None and inverse.text else "",
            numeric(data_type, aliases) if data_type else "", enum_strings]))
    with open(target, "w", encoding="utf-8") as out:
        out.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
