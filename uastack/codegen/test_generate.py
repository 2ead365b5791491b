#!/usr/bin/env python3
"""Checks the generator on a small dictionary with optional fields, a union and a nested array."""

import os
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))

DICTIONARY = """<?xml version="1.0" encoding="utf-8"?>
<opc:TypeDictionary xmlns:opc="http://opcfoundation.org/BinarySchema/" xmlns:ua="http://opcfoundation.org/UA/"
  xmlns:tns="http://opcfoundation.org/UA/" DefaultByteOrder="LittleEndian" TargetNamespace="http://opcfoundation.org/UA/">
  <opc:EnumeratedType Name="Colour" LengthInBits="32">
    <opc:EnumeratedValue Name="Red" Value="0" />
    <opc:EnumeratedValue Name="Blue" Value="7" />
  </opc:EnumeratedType>
  <opc:StructuredType Name="Inner" BaseType="ua:ExtensionObject">
    <opc:Field Name="Value" TypeName="opc:Double" />
  </opc:StructuredType>
  <opc:StructuredType Name="WithOptions" BaseType="ua:ExtensionObject">
    <opc:Field Name="FirstSpecified" TypeName="opc:Bit" />
    <opc:Field Name="SecondSpecified" TypeName="opc:Bit" />
    <opc:Field Name="Reserved1" TypeName="opc:Bit" Length="30" />
    <opc:Field Name="Colour" TypeName="tns:Colour" />
    <opc:Field Name="First" TypeName="opc:String" SwitchField="FirstSpecified" />
    <opc:Field Name="NoOfSecond" TypeName="opc:Int32" SwitchField="SecondSpecified" />
    <opc:Field Name="Second" TypeName="tns:Inner" LengthField="NoOfSecond" SwitchField="SecondSpecified" />
  </opc:StructuredType>
  <opc:StructuredType Name="Either" BaseType="ua:Union">
    <opc:Field Name="SwitchField" TypeName="opc:UInt32" />
    <opc:Field Name="Number" TypeName="opc:Int32" SwitchField="SwitchField" SwitchValue="1" />
    <opc:Field Name="Text" TypeName="opc:String" SwitchField="SwitchField" SwitchValue="2" />
  </opc:StructuredType>
</opc:TypeDictionary>
"""

NODESET = """<?xml version="1.0" encoding="utf-8"?>
<UANodeSet xmlns="http://opcfoundation.org/UA/2011/03/UANodeSet.xsd">
  <UADataType NodeId="i=9001" BrowseName="Inner" />
  <UAObject NodeId="i=9003" BrowseName="Default Binary">
    <References><Reference ReferenceType="HasEncoding" IsForward="false">i=9001</Reference></References>
  </UAObject>
  <UADataType NodeId="i=9010" BrowseName="WithOptions" />
  <UAObject NodeId="i=9017" BrowseName="Default Binary">
    <References><Reference ReferenceType="HasEncoding" IsForward="false">i=9010</Reference></References>
  </UAObject>
</UANodeSet>
"""


class GeneratorTest(unittest.TestCase):
    def generate(self, service_ids="Either 9020 9022\n"):
        d = tempfile.mkdtemp()
        paths = {}
        for name, text in (("types.bsd", DICTIONARY), ("nodeset.xml", NODESET), ("ids.txt", service_ids),
                           ("codes.txt", "Good 0x00000000\nBadThing 0x80AA0000\n")):
            paths[name] = os.path.join(d, name)
            with open(paths[name], "w") as f:
                f.write(text)
        out = os.path.join(d, "out")
        result = subprocess.run([sys.executable, os.path.join(HERE, "generate.py"), "--types", paths["types.bsd"],
                                 "--nodeset", paths["nodeset.xml"], "--service-ids", paths["ids.txt"],
                                 "--status-codes", paths["codes.txt"], "--out", out], capture_output=True, text=True)
        return result, out

    def read(self, out, name):
        with open(os.path.join(out, name)) as f:
            return f.read()

    def test_layouts_ids_and_kinds(self):
        result, out = self.generate()
        self.assertEqual(0, result.returncode, result.stderr)
        header = self.read(out, "opcua_types.h")
        self.assertIn("OpcUa_Colour_Blue = 7", header)
        self.assertRegex(header, r"OpcUa_UInt32 EncodingMask;\s+OpcUa_Colour Colour;\s+OpcUa_String First;\s+"
                                 r"OpcUa_Int32 NoOfSecond;\s+OpcUa_Inner\* Second;")
        self.assertRegex(header, r"OpcUa_UInt32 SwitchField;\s+OpcUa_Int32 Number;\s+OpcUa_String Text;")
        source = self.read(out, "opcua_types.cpp")
        self.assertIn('"WithOptions", 9010, 9017', source)
        self.assertIn('"Either", 9020, 9022', source)
        self.assertIn('{"First", 12, OpcUa_False, 0, 0,', source)
        self.assertIn('{"Second", OpcUa_FieldKind_Structure, OpcUa_True, 1, 0,', source)
        self.assertIn('{"Text", 12, OpcUa_False, -1, 2,', source)
        self.assertIn("OpcUa_StructureKind_OptionalFields, 3,", source)
        self.assertIn("OpcUa_StructureKind_Union, 2,", source)
        self.assertIn("#define OpcUa_BadThing 0x80AA0000u", self.read(out, "opcua_statuscodes.h"))
        self.assertIn("#define OpcUaId_Inner_Encoding_DefaultBinary 9003", self.read(out, "opcua_identifiers.h"))

    def test_id_table_that_contradicts_the_nodeset_is_refused(self):
        result, _ = self.generate("Inner 9001 9999\n")
        self.assertNotEqual(0, result.returncode)
        self.assertIn("disagrees", result.stderr)


if __name__ == "__main__":
    unittest.main()
