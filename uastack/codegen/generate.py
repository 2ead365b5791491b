#!/usr/bin/env python3
"""Generates the stack's type sources from the standard's data files.

Inputs: the binary type dictionary (layouts), the namespace-0 nodeset (DataType and encoding
NodeIds), the table of service message ids the nodeset does not carry, and the status code table.
Outputs (into --out): opcua_statuscodes.h, opcua_identifiers.h, opcua_types.h, opcua_types.cpp.
"""

import argparse
import os
import re
import sys
import xml.etree.ElementTree as ET

BSD = "{http://opcfoundation.org/BinarySchema/}"
UANS = "{http://opcfoundation.org/UA/2011/03/UANodeSet.xsd}"

# Built-in types: dictionary name -> (built-in id, C type)
BUILTINS = {
    "Boolean": (1, "OpcUa_Boolean"),
    "SByte": (2, "OpcUa_SByte"),
    "Byte": (3, "OpcUa_Byte"),
    "Int16": (4, "OpcUa_Int16"),
    "UInt16": (5, "OpcUa_UInt16"),
    "Int32": (6, "OpcUa_Int32"),
    "UInt32": (7, "OpcUa_UInt32"),
    "Int64": (8, "OpcUa_Int64"),
    "UInt64": (9, "OpcUa_UInt64"),
    "Float": (10, "OpcUa_Float"),
    "Double": (11, "OpcUa_Double"),
    "String": (12, "OpcUa_String"),
    "CharArray": (12, "OpcUa_String"),
    "DateTime": (13, "OpcUa_DateTime"),
    "Guid": (14, "OpcUa_Guid"),
    "ByteString": (15, "OpcUa_ByteString"),
    "XmlElement": (16, "OpcUa_XmlElement"),
    "NodeId": (17, "OpcUa_NodeId"),
    "ExpandedNodeId": (18, "OpcUa_ExpandedNodeId"),
    "StatusCode": (19, "OpcUa_StatusCode"),
    "QualifiedName": (20, "OpcUa_QualifiedName"),
    "LocalizedText": (21, "OpcUa_LocalizedText"),
    "ExtensionObject": (22, "OpcUa_ExtensionObject"),
    "DataValue": (23, "OpcUa_DataValue"),
    "Variant": (24, "OpcUa_Variant"),
    "DiagnosticInfo": (25, "OpcUa_DiagnosticInfo"),
}
# Dictionary entries that describe the built-in encodings themselves.
SKIPPED = {"NodeIdType", "TwoByteNodeId", "FourByteNodeId", "NumericNodeId", "StringNodeId", "GuidNodeId",
           "ByteStringNodeId"}

KIND_STRUCTURE = 100
KIND_ENUMERATION = 101


def fail(message):
    sys.stderr.write("generate.py: error: " + message + "\n")
    sys.exit(1)


class Field:
    def __init__(self, name, type_name, length_field, switch_field, switch_value, bits):
        self.name = name
        self.type_name = type_name
        self.length_field = length_field
        self.switch_field = switch_field
        self.switch_value = switch_value
        self.bits = bits


class Struct:
    def __init__(self, name, fields):
        self.name = name
        self.fields = fields
        self.type_id = 0
        self.encoding_id = 0
        self.xml_encoding_id = 0


class Enum:
    def __init__(self, name, bits, option_set, values):
        self.name = name
        self.bits = bits
        self.option_set = option_set
        self.values = values


def local_name(type_name):
    return type_name.split(":", 1)[1] if ":" in type_name else type_name


def read_dictionary(path):
    root = ET.parse(path).getroot()
    structs, enums = [], {}
    for node in root:
        name = node.get("Name")
        if node.tag == BSD + "EnumeratedType" and name not in SKIPPED:
            values = [(v.get("Name"), int(v.get("Value"))) for v in node.findall(BSD + "EnumeratedValue")]
            enums[name] = Enum(name, int(node.get("LengthInBits", "32")), node.get("IsOptionSet") == "true", values)
        elif node.tag == BSD + "StructuredType" and name not in SKIPPED and name not in BUILTINS:
            fields = []
            for f in node.findall(BSD + "Field"):
                bits = int(f.get("Length", "1")) if f.get("TypeName") == "opc:Bit" else 0
                fields.append(Field(f.get("Name"), f.get("TypeName"), f.get("LengthField"), f.get("SwitchField"),
                                    f.get("SwitchValue"), bits))
            structs.append(Struct(name, fields))
    return structs, enums


def read_nodeset_ids(path):
    """DataType name -> (type id, binary encoding id, xml encoding id) from the nodeset."""
    root = ET.parse(path).getroot()
    aliases = {}
    type_ids = {}
    for node in root:
        if node.tag == UANS + "UADataType":
            name = node.get("SymbolicName") or node.get("BrowseName")
            name = local_name(name)
            m = re.fullmatch(r"i=(\d+)", node.get("NodeId"))
            if m:
                type_ids[int(m.group(1))] = name
    encodings = {}
    for node in root:
        if node.tag != UANS + "UAObject":
            continue
        browse = node.get("BrowseName")
        if browse not in ("Default Binary", "Default XML"):
            continue
        m = re.fullmatch(r"i=(\d+)", node.get("NodeId"))
        if not m:
            continue
        for ref in node.iter(UANS + "Reference"):
            if ref.get("ReferenceType") == "HasEncoding" and ref.get("IsForward") == "false":
                t = re.fullmatch(r"i=(\d+)", ref.text.strip())
                if t and int(t.group(1)) in type_ids:
                    encodings.setdefault(int(t.group(1)), {})[browse] = int(m.group(1))
    result = {}
    for tid, name in type_ids.items():
        enc = encodings.get(tid, {})
        result[name] = (tid, enc.get("Default Binary", 0), enc.get("Default XML", 0))
    del aliases
    return result


def read_table(path, columns):
    rows = []
    with open(path) as f:
        for line in f:
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            parts = line.split()
            if len(parts) != columns:
                fail("%s: malformed line: %s" % (path, line))
            rows.append(parts)
    return rows


def c_type(type_name, enums):
    n = local_name(type_name)
    if n in BUILTINS:
        return BUILTINS[n][1]
    return "OpcUa_" + n


def field_kind(type_name, enums, struct_names):
    n = local_name(type_name)
    if n in BUILTINS:
        return str(BUILTINS[n][0]), "OpcUa_Null"
    if n in enums:
        e = enums[n]
        if e.bits == 32 and not e.option_set:
            return "OpcUa_FieldKind_Enumeration", "OpcUa_Null"
        return {8: "OpcUaType_Byte", 16: "OpcUaType_UInt16", 32: "OpcUaType_UInt32", 64: "OpcUaType_UInt64"}[e.bits], \
            "OpcUa_Null"
    if n in struct_names:
        return "OpcUa_FieldKind_Structure", "&OpcUa_%s_EncodeableType" % n
    fail("unknown field type " + type_name)


def structure_kind(s):
    if any(f.switch_value is not None for f in s.fields):
        return "Union"
    if any(f.bits for f in s.fields):
        return "OptionalFields"
    return "Plain"


def data_fields(s):
    """Fields that become members (length fields and bit fields are folded)."""
    lengths = {f.length_field for f in s.fields if f.length_field}
    kind = structure_kind(s)
    out = []
    for f in s.fields:
        if f.bits or f.name in lengths:
            continue
        if kind == "Union" and f.name == "SwitchField":
            continue
        out.append(f)
    return out


def optional_bits(s):
    """Bit position of each bit field name within the EncodingMask."""
    bits, pos = {}, 0
    for f in s.fields:
        if f.bits:
            bits[f.name] = pos
            pos += f.bits
    return bits


def order_structs(structs):
    by_name = {s.name: s for s in structs}
    done, order, visiting = set(), [], set()

    def visit(s):
        if s.name in done:
            return
        if s.name in visiting:
            fail("structure cycle through " + s.name)
        visiting.add(s.name)
        for f in s.fields:
            n = local_name(f.type_name)
            if n in by_name and n != s.name:
                visit(by_name[n])
        visiting.discard(s.name)
        done.add(s.name)
        order.append(s)

    for s in structs:
        visit(s)
    return order


def write_statuscodes(out, rows):
    lines = ["/* Status codes of the stack (generated). */", "#ifndef OPCUA_STATUSCODES_H",
             "#define OPCUA_STATUSCODES_H", ""]
    for name, value in rows:
        lines.append("#define OpcUa_%s 0x%08Xu" % (name, int(value, 16)))
    lines += ["",
              "/* A result is good when neither of its two top bits is set. */",
              "#define OpcUa_IsGood(x) ((((OpcUa_StatusCode)(x)) & 0xC0000000u) == 0u)",
              "#define OpcUa_IsNotGood(x) ((((OpcUa_StatusCode)(x)) & 0xC0000000u) != 0u)",
              "#define OpcUa_IsUncertain(x) ((((OpcUa_StatusCode)(x)) & 0xC0000000u) == 0x40000000u)",
              "#define OpcUa_IsNotUncertain(x) (!OpcUa_IsUncertain(x))",
              "#define OpcUa_IsBad(x) ((((OpcUa_StatusCode)(x)) & 0x80000000u) != 0u)",
              "#define OpcUa_IsNotBad(x) ((((OpcUa_StatusCode)(x)) & 0x80000000u) == 0u)",
              "#define OpcUa_IsEqual(expected, x) ((((OpcUa_StatusCode)(x)) & 0xFFFF0000u) == (OpcUa_StatusCode)(expected))",
              "", "#endif", ""]
    write(out, "opcua_statuscodes.h", lines)


def write_identifiers(out, structs, enums, ids):
    lines = ["/* NodeIds (namespace 0) of the standard DataTypes and their binary encodings (generated). */",
             "#ifndef OPCUA_IDENTIFIERS_H", "#define OPCUA_IDENTIFIERS_H", ""]
    for name in sorted(ids):
        tid, enc, xml = ids[name]
        lines.append("#define OpcUaId_%s %d" % (name, tid))
        if enc:
            lines.append("#define OpcUaId_%s_Encoding_DefaultBinary %d" % (name, enc))
        if xml:
            lines.append("#define OpcUaId_%s_Encoding_DefaultXml %d" % (name, xml))
    lines += ["", "#endif", ""]
    write(out, "opcua_identifiers.h", lines)


def write_header(out, structs, enums):
    h = ["/* Structures and enumerations of the standard type dictionary (generated). */",
         "#ifndef OPCUA_TYPES_H", "#define OPCUA_TYPES_H", "",
         "#include <opcua_builtintypes.h>", "#include <opcua_encodeable.h>", "",
         "/* Enumerations travel as Int32 and may hold any value a peer sends: in C++ they get that",
         "   underlying type, so that every such value is a valid one. */",
         "#ifdef __cplusplus", "#define OPCUA_ENUM_BASE : OpcUa_Int32", "#else", "#define OPCUA_ENUM_BASE", "#endif", "",
         "OPCUA_BEGIN_EXTERN_C", ""]
    for e in enums.values():
        if e.bits == 32 and not e.option_set:
            h.append("typedef enum _OpcUa_%s OPCUA_ENUM_BASE" % e.name)
            h.append("{")
            h.append(",\n".join("    OpcUa_%s_%s = %d" % (e.name, n, v) for n, v in e.values))
            h.append("} OpcUa_%s;" % e.name)
        else:
            base = {8: "OpcUa_Byte", 16: "OpcUa_UInt16", 32: "OpcUa_UInt32", 64: "OpcUa_UInt64"}[e.bits]
            h.append("typedef %s OpcUa_%s;" % (base, e.name))
            for n, v in e.values:
                h.append("#define OpcUa_%s_%s ((OpcUa_%s)%du)" % (e.name, n, e.name, v))
        h.append("")
    for s in structs:
        kind = structure_kind(s)
        h.append("typedef struct _OpcUa_%s" % s.name)
        h.append("{")
        members = data_fields(s)
        if kind == "OptionalFields":
            h.append("    OpcUa_UInt32 EncodingMask;")
        elif kind == "Union":
            h.append("    OpcUa_UInt32 SwitchField;")
        if not members and kind == "Plain":
            h.append("    OpcUa_Int32 Reserved; /* no fields */")
        for f in members:
            ct = c_type(f.type_name, enums)
            if f.length_field:
                h.append("    OpcUa_Int32 NoOf%s;" % f.name)
                h.append("    %s* %s;" % (ct, f.name))
            else:
                h.append("    %s %s;" % (ct, f.name))
        h.append("} OpcUa_%s;" % s.name)
        h.append("")
        h.append("OPCUA_EXPORT OpcUa_Void OpcUa_%s_Initialize(OpcUa_%s* value);" % (s.name, s.name))
        h.append("OPCUA_EXPORT OpcUa_Void OpcUa_%s_Clear(OpcUa_%s* value);" % (s.name, s.name))
        h.append("OPCUA_EXPORT OpcUa_StatusCode OpcUa_%s_GetSize(OpcUa_%s* value, OpcUa_Encoder* encoder, "
                 "OpcUa_Int32* size);" % (s.name, s.name))
        h.append("OPCUA_EXPORT OpcUa_StatusCode OpcUa_%s_Encode(OpcUa_%s* value, OpcUa_Encoder* encoder);"
                 % (s.name, s.name))
        h.append("OPCUA_EXPORT OpcUa_StatusCode OpcUa_%s_Decode(OpcUa_%s* value, OpcUa_Decoder* decoder);"
                 % (s.name, s.name))
        h.append("OPCUA_EXPORT extern OpcUa_EncodeableType OpcUa_%s_EncodeableType;" % s.name)
        h.append("")
    h += ["OPCUA_END_EXTERN_C", "", "#endif", ""]
    write(out, "opcua_types.h", h)


def write_source(out, structs, enums):
    names = {s.name for s in structs}
    c = ["/* Descriptors of the standard structures (generated). */", "#include <opcua_types.h>",
         "#include <opcua_identifiers.h>", "#include <opcua_binarycodec.hpp>", "#include \"generated_support.h\"", "",
         "#include <cstddef>", "#include <cstring>", ""]
    for s in structs:
        c.append("extern \"C\" OpcUa_EncodeableType OpcUa_%s_EncodeableType;" % s.name)
    c.append("")
    info = LayoutInfo(structs, enums)
    for s in structs:
        kind = structure_kind(s)
        bits = optional_bits(s)
        members = data_fields(s)
        if members:
            c.append("static const OpcUa_FieldDescription g_%sFields[] = {" % s.name)
            for f in members:
                k, ft = field_kind(f.type_name, enums, names)
                opt = -1
                sw = 0
                if kind == "OptionalFields" and f.switch_field:
                    if f.switch_field not in bits:
                        fail("%s.%s: unknown switch field %s" % (s.name, f.name, f.switch_field))
                    opt = bits[f.switch_field]
                if kind == "Union":
                    if f.switch_value is None:
                        fail("%s.%s: union member without switch value" % (s.name, f.name))
                    sw = int(f.switch_value)
                count = "offsetof(OpcUa_%s, NoOf%s)" % (s.name, f.name) if f.length_field else "0"
                c.append("    {\"%s\", %s, %s, %d, %d, offsetof(OpcUa_%s, %s), %s, %s}," % (
                    f.name, k, "OpcUa_True" if f.length_field else "OpcUa_False", opt, sw, s.name, f.name, count, ft))
            c.append("};")
        fields = "g_%sFields" % s.name if members else "OpcUa_Null"
        t = "&OpcUa_%s_EncodeableType" % s.name
        n = s.name
        c += info.lifetime(s)
        c.append("static OpcUa_Void initialize%s(OpcUa_Void* v)" % n)
        c.append("{")
        c.append("    if (v != OpcUa_Null)")
        c.append("        init%s(*static_cast<OpcUa_%s*>(v));" % (n, n))
        c.append("}")
        c.append("static OpcUa_Void clear%s(OpcUa_Void* v)" % n)
        c.append("{")
        c.append("    if (v == OpcUa_Null)")
        c.append("        return;")
        c.append("    release%s(*static_cast<OpcUa_%s*>(v));" % (n, n))
        c.append("    init%s(*static_cast<OpcUa_%s*>(v));" % (n, n))
        c.append("}")
        c.append("static OpcUa_StatusCode getSize%s(OpcUa_Void* v, OpcUa_Encoder* e, OpcUa_Int32* size) "
                 "{ return OpcUa_Structure_GetSize(%s, v, e, size); }" % (n, t))
        if kind == "Plain":
            c += info.direct_codec(s)
        else:
            c.append("static OpcUa_StatusCode encode%s(OpcUa_Void* v, OpcUa_Encoder* e) "
                     "{ return OpcUa_Structure_Encode(%s, v, e); }" % (n, t))
            c.append("static OpcUa_StatusCode decode%s(OpcUa_Void* v, OpcUa_Decoder* d) "
                     "{ return OpcUa_Structure_Decode(%s, v, d); }" % (n, t))
        c.append("extern \"C\" {")
        c.append("OPCUA_EXPORT OpcUa_Void OpcUa_%s_Initialize(OpcUa_%s* value) { initialize%s(value); }" % (n, n, n))
        c.append("OPCUA_EXPORT OpcUa_Void OpcUa_%s_Clear(OpcUa_%s* value) { clear%s(value); }" % (n, n, n))
        c.append("OPCUA_EXPORT OpcUa_StatusCode OpcUa_%s_GetSize(OpcUa_%s* value, OpcUa_Encoder* encoder, "
                 "OpcUa_Int32* size) { return getSize%s(value, encoder, size); }" % (n, n, n))
        c.append("OPCUA_EXPORT OpcUa_StatusCode OpcUa_%s_Encode(OpcUa_%s* value, OpcUa_Encoder* encoder) "
                 "{ return encode%s(value, encoder); }" % (n, n, n))
        c.append("OPCUA_EXPORT OpcUa_StatusCode OpcUa_%s_Decode(OpcUa_%s* value, OpcUa_Decoder* decoder) "
                 "{ return decode%s(value, decoder); }" % (n, n, n))
        c.append("OPCUA_EXPORT OpcUa_EncodeableType OpcUa_%s_EncodeableType = {" % n)
        c.append("    \"%s\", %d, %d, %d, OpcUa_Null, sizeof(OpcUa_%s)," % (
            n, s.type_id, s.encoding_id, s.xml_encoding_id, n))
        c.append("    initialize%s, clear%s, getSize%s, encode%s, decode%s," % (n, n, n, n, n))
        c.append("    OpcUa_StructureKind_%s, %d, %s};" % (kind, len(members), fields))
        c.append("}")
        c.append("")
    c.append("OpcUa_EncodeableType* const g_OpcUa_KnownEncodeableTypes[] = {")
    for s in structs:
        if s.type_id and s.encoding_id:
            c.append("    &OpcUa_%s_EncodeableType," % s.name)
    c.append("};")
    c.append("const OpcUa_UInt32 g_OpcUa_KnownEncodeableTypeCount = "
             "sizeof(g_OpcUa_KnownEncodeableTypes) / sizeof(g_OpcUa_KnownEncodeableTypes[0]);")
    c.append("")
    write(out, "opcua_types.cpp", c)


# Codec method per built-in type id (write<Name>/read<Name>).
CODEC_NAMES = {1: "Boolean", 2: "SByte", 3: "Byte", 4: "Int16", 5: "UInt16", 6: "Int32", 7: "UInt32", 8: "Int64",
               9: "UInt64", 10: "Float", 11: "Double", 12: "String", 13: "DateTime", 14: "Guid", 15: "ByteString",
               16: "XmlElement", 17: "NodeId", 18: "ExpandedNodeId", 19: "StatusCode", 20: "QualifiedName",
               21: "LocalizedText", 22: "ExtensionObject", 23: "DataValue", 24: "Variant", 25: "DiagnosticInfo"}
# Built-in types stored as plain bytes that own nothing.
PLAIN_BUILTINS = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 14, 19}
OPTION_SET_KINDS = {"OpcUaType_Byte": 3, "OpcUaType_UInt16": 5, "OpcUaType_UInt32": 7, "OpcUaType_UInt64": 9}


class LayoutInfo:
    """Per-structure facts the straight-line code needs: which own nothing, which start all zero."""

    def __init__(self, structs, enums):
        self.enums = enums
        self.names = {s.name for s in structs}
        self.plain = {s.name for s in structs if structure_kind(s) == "Plain"}
        self.owns_nothing = set()
        self.zero_init = set()
        for s in structs:  # nested structures come first
            fields = [self.field(f) for f in data_fields(s)]
            if all(not f.length_field and (k in PLAIN_BUILTINS or k == "E" or (k == "S" and t in self.owns_nothing))
                   for f, k, t in fields):
                self.owns_nothing.add(s.name)
            if all(f.length_field or (k not in (15, 16, 25) and (k != "S" or t in self.zero_init))
                   for f, k, t in fields):
                self.zero_init.add(s.name)

    def field(self, f):
        """(field, kind, nested structure name): kind is a built-in id, "S" or "E"."""
        k, _ = field_kind(f.type_name, self.enums, self.names)
        if k == "OpcUa_FieldKind_Structure":
            return f, "S", local_name(f.type_name)
        if k == "OpcUa_FieldKind_Enumeration":
            return f, "E", None
        return f, OPTION_SET_KINDS.get(k) or int(k), None

    def lifetime(self, s):
        """init<Name> (all fields in their initial state) and release<Name> (frees what it owns)."""
        n = s.name
        init = ["static inline void init%s(OpcUa_%s& x)" % (n, n), "{", "    std::memset(&x, 0, sizeof(x));"]
        release = ["static inline void release%s(OpcUa_%s& x)" % (n, n), "{"]
        for f, k, t in map(self.field, data_fields(s)):
            x = "x." + f.name
            if f.length_field:
                if k == "S" and t not in self.owns_nothing:
                    release.append("    OpcUa::releaseStructureArray(%s, x.NoOf%s, [](OpcUa_%s& v) { release%s(v); });"
                                   % (x, f.name, t, t))
                elif k == "S" or k == "E" or k in PLAIN_BUILTINS:
                    release.append("    OpcUa::freeBlock(%s);" % x)
                else:
                    release.append("    OpcUa::clearArray(%d, OpcUa_Null, %s, x.NoOf%s);" % (k, x, f.name))
                continue
            if k in (15, 16):
                init.append("    %s.Length = -1;" % x)
            elif k == 25:
                init.append("    OpcUa_DiagnosticInfo_Initialize(&%s);" % x)
            elif k == "S" and t not in self.zero_init:
                init.append("    init%s(%s);" % (t, x))
            if k == 12:
                release.append("    OpcUa::freeBlock(%s.strContent);" % x)
            elif k in (15, 16):
                release.append("    OpcUa::freeBlock(%s.Data);" % x)
            elif k == 17:
                release.append("    OpcUa::releaseNodeId(%s);" % x)
            elif k == 20:
                release.append("    OpcUa::freeBlock(%s.Name.strContent);" % x)
            elif k == 21:
                release.append("    OpcUa::freeBlock(%s.Locale.strContent);" % x)
                release.append("    OpcUa::freeBlock(%s.Text.strContent);" % x)
            elif k == "S" and t not in self.owns_nothing:
                release.append("    release%s(%s);" % (t, x))
            elif k in (18, 22, 23, 24, 25):
                release.append("    OpcUa_%s_Clear(&%s);" % (CODEC_NAMES[k], x))
        if len(release) == 2:
            release.append("    (void)x;")
        return init + ["}"] + release + ["}"]

    def direct_codec(self, s):
        """Straight-line encoder and decoder of a plain structure (no field-table walk, no call
        through a descriptor for plain nested structures and arrays of them)."""
        n = s.name
        enc = ["static inline void encodeFields%s(OpcUa::BinaryEncoder& w, const OpcUa_%s& x)" % (n, n), "{"]
        # Every read below sets its field, also once the decoder has failed: a failure can then
        # release the whole structure.
        dec = ["static inline void decodeFields%s(OpcUa::BinaryDecoder& r, OpcUa_%s& x)" % (n, n), "{"]
        fields = list(map(self.field, data_fields(s)))
        if not fields:
            enc += ["    (void)w;", "    (void)x;"]
            dec += ["    (void)r;", "    (void)x;"]
        for f, k, t in fields:
            x = "x." + f.name
            if f.length_field:
                if k == "S" and t in self.plain:
                    enc.append("    OpcUa::writeStructureArray(w, %s, x.NoOf%s, [](OpcUa::BinaryEncoder& e, const "
                               "OpcUa_%s& v) { encodeFields%s(e, v); });" % (x, f.name, t, t))
                    dec.append("    OpcUa::readStructureArray(r, &OpcUa_%s_EncodeableType, &%s, &x.NoOf%s, "
                               "[](OpcUa::BinaryDecoder& d, OpcUa_%s& v) { decodeFields%s(d, v); }, "
                               "[](OpcUa_%s& v) { release%s(v); });" % (t, x, f.name, t, t, t, t))
                    continue
                if k == "S":
                    kind, ft = "OpcUa_FieldKind_Structure", "&OpcUa_%s_EncodeableType" % t
                elif k == "E":
                    kind, ft = "OpcUa_FieldKind_Enumeration", "OpcUa_Null"
                else:
                    kind, ft = str(k), "OpcUa_Null"
                enc.append("    w.writeArray(%s, %s, %s, x.NoOf%s);" % (kind, ft, x, f.name))
                dec.append("    r.readArray(%s, %s, reinterpret_cast<void**>(&%s), &x.NoOf%s);" % (kind, ft, x, f.name))
            elif k == "S" and t in self.plain:
                enc += ["    if (w.enterStructure())", "    {", "        encodeFields%s(w, %s);" % (t, x),
                        "        w.leaveStructure();", "    }"]
                dec += ["    if (r.enterLevel())", "    {", "        decodeFields%s(r, %s);" % (t, x),
                        "        r.leaveLevel();", "    }", "    else", "        init%s(%s);" % (t, x)]
            elif k == "S":
                enc.append("    w.writeStructure(&OpcUa_%s_EncodeableType, &%s);" % (t, x))
                dec.append("    r.readStructure(&OpcUa_%s_EncodeableType, &%s);" % (t, x))
            elif k == "E":
                enc.append("    w.writeInt32(static_cast<OpcUa_Int32>(%s));" % x)
                dec.append("    r.readInt32(reinterpret_cast<OpcUa_Int32*>(&%s));" % x)
            else:
                enc.append("    w.write%s(%s);" % (CODEC_NAMES[k], x))
                dec.append("    r.read%s(&%s);" % (CODEC_NAMES[k], x))
        enc += ["}",
                "static OpcUa_StatusCode encode%s(OpcUa_Void* v, OpcUa_Encoder* e)" % n, "{",
                "    OpcUa::BinaryEncoder& w = *OpcUa::BinaryEncoder::from(e);",
                "    if (!w.enterStructure())", "        return w.status();",
                "    encodeFields%s(w, *static_cast<const OpcUa_%s*>(v));" % (n, n),
                "    return w.leaveStructure();", "}"]
        dec += ["}",
                "static OpcUa_StatusCode decode%s(OpcUa_Void* v, OpcUa_Decoder* d)" % n, "{",
                "    OpcUa::BinaryDecoder& r = *OpcUa::BinaryDecoder::from(d);",
                "    auto& x = *static_cast<OpcUa_%s*>(v);" % n,
                "    if (!r.enterLevel())", "    {", "        init%s(x);" % n, "        return r.status();", "    }",
                "    decodeFields%s(r, x);" % n, "    r.leaveLevel();", "    if (OpcUa_IsBad(r.status()))", "    {",
                "        release%s(x);" % n, "        init%s(x);" % n, "    }", "    return r.status();", "}"]
        return enc + dec


def write(out, name, lines):
    path = os.path.join(out, name)
    text = "\n".join(lines)
    if os.path.exists(path):
        with open(path) as f:
            if f.read() == text:
                return
    with open(path, "w") as f:
        f.write(text)


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--types", required=True)
    p.add_argument("--nodeset", required=True)
    p.add_argument("--service-ids", required=True)
    p.add_argument("--status-codes", required=True)
    p.add_argument("--out", required=True)
    a = p.parse_args()
    os.makedirs(a.out, exist_ok=True)

    structs, enums = read_dictionary(a.types)
    ids = read_nodeset_ids(a.nodeset)
    for name, tid, enc in read_table(a.service_ids, 3):
        if name in ids and ids[name][1]:
            if ids[name][:2] != (int(tid), int(enc)):
                fail("service id table disagrees with the nodeset for " + name)
            continue
        ids[name] = (int(tid), int(enc), 0)
    for s in structs:
        if s.name in ids:
            s.type_id, s.encoding_id, s.xml_encoding_id = ids[s.name]
    structs = order_structs(structs)

    codes = [(n, v) for n, v in read_table(a.status_codes, 2)]
    write_statuscodes(a.out, codes)
    write_identifiers(a.out, structs, enums, ids)
    write_header(a.out, structs, enums)
    write_source(a.out, structs, enums)


if __name__ == "__main__":
    main()
