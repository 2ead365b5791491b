// Every structure of the type table: filled with generated values, encoded, decoded and compared.
#include "value_filler.h"

#include <opcua_binarycodec.hpp>

#include <gtest/gtest.h>

#include <cstddef>
#include <set>
#include <vector>
#include <string>

namespace
{
struct Object
{
    OpcUa_EncodeableType* type;
    void* p = nullptr;
    explicit Object(OpcUa_EncodeableType* t) : type(t)
    {
        EXPECT_EQ(OpcUa_Good, OpcUa_EncodeableObject_Create(t, &p));
    }
    ~Object() { OpcUa_EncodeableObject_Delete(type, &p); }
};

TEST(UaStackTypeTable, EveryStructureRoundTripsThroughTheBinaryEncoding)
{
    OpcUa_UInt32 count = 0;
    OpcUa_EncodeableType* const* types = OpcUa_EncodeableTypeTable_GetAll(&count);
    ASSERT_GT(count, 250u);
    for (OpcUa_UInt32 i = 0; i < count; ++i)
    {
        OpcUa_EncodeableType* type = types[i];
        SCOPED_TRACE(type->TypeName);
        for (uint32_t seed = 1; seed <= 4; ++seed)
        {
            Object original(type);
            uastacktest::ValueFiller(seed * 7919 + i).fillStructure(type, original.p);

            OpcUa::BinaryEncoder encoder;
            ASSERT_EQ(OpcUa_Good, encoder.writeMessage(type, original.p));
            OpcUa_Int32 size = -1;
            ASSERT_EQ(OpcUa_Good, type->GetSize(original.p, &encoder, &size));
            OpcUa::BinaryDecoder probe(encoder.data(), encoder.size());
            OpcUa_NodeId id;
            ASSERT_EQ(OpcUa_Good, probe.readNodeId(&id));
            EXPECT_EQ(static_cast<size_t>(size), encoder.size() - probe.position());

            OpcUa::BinaryDecoder decoder(encoder.data(), encoder.size());
            OpcUa_EncodeableType* decodedType = nullptr;
            void* decoded = nullptr;
            ASSERT_EQ(OpcUa_Good, decoder.readMessage(&decodedType, &decoded));
            EXPECT_EQ(type, decodedType);
            EXPECT_EQ(0u, decoder.remaining());
            EXPECT_EQ(0, OpcUa_EncodeableObject_Compare(type, original.p, decoded));

            // A deep copy compares equal and survives the original.
            Object copy(type);
            type->Clear(copy.p);
            ASSERT_EQ(OpcUa_Good, OpcUa_EncodeableObject_CopyTo(type, decoded, copy.p));
            OpcUa_EncodeableObject_Delete(decodedType, &decoded);
            EXPECT_EQ(0, OpcUa_EncodeableObject_Compare(type, original.p, copy.p));
        }
    }
}

TEST(UaStackTypeTable, LookupFindsEachTypeByItsIdsAndEncodingIdsDifferFromTypeIds)
{
    OpcUa_UInt32 count = 0;
    OpcUa_EncodeableType* const* types = OpcUa_EncodeableTypeTable_GetAll(&count);
    std::set<OpcUa_UInt32> encodingIds;
    for (OpcUa_UInt32 i = 0; i < count; ++i)
    {
        EXPECT_EQ(types[i], OpcUa_EncodeableTypeTable_FindByTypeId(types[i]->TypeId));
        EXPECT_EQ(types[i], OpcUa_EncodeableTypeTable_FindByEncodingId(types[i]->BinaryEncodingTypeId));
        EXPECT_EQ(types[i], OpcUa_EncodeableTypeTable_FindByName(types[i]->TypeName));
        EXPECT_NE(types[i]->TypeId, types[i]->BinaryEncodingTypeId);
        EXPECT_TRUE(encodingIds.insert(types[i]->BinaryEncodingTypeId).second) << types[i]->TypeName;
    }
    // Well-known ids of the standard.
    EXPECT_EQ(631u, OpcUa_ReadRequest_EncodeableType.BinaryEncodingTypeId);
    EXPECT_EQ(634u, OpcUa_ReadResponse_EncodeableType.BinaryEncodingTypeId);
    EXPECT_EQ(338u, OpcUa_BuildInfo_EncodeableType.TypeId);
    EXPECT_EQ(340u, OpcUa_BuildInfo_EncodeableType.BinaryEncodingTypeId);
    EXPECT_EQ(&OpcUa_DataChangeNotification_EncodeableType, OpcUa_EncodeableTypeTable_FindByEncodingId(811));
    EXPECT_EQ(nullptr, OpcUa_EncodeableTypeTable_FindByEncodingId(999999));
}

TEST(UaStackEncodeableObject, CreateExtensionOwnsTheObjectAndEncodesWithTheBinaryEncodingId)
{
    OpcUa_ExtensionObject extension;
    OpcUa_ExtensionObject_Initialize(&extension);
    OpcUa_BuildInfo* info = nullptr;
    ASSERT_EQ(OpcUa_Good, OpcUa_EncodeableObject_CreateExtension(&OpcUa_BuildInfo_EncodeableType, &extension,
                                                                 reinterpret_cast<void**>(&info)));
    ASSERT_NE(nullptr, info);
    EXPECT_EQ(OpcUa_ExtensionObjectEncoding_EncodeableObject, extension.Encoding);
    EXPECT_EQ(338u, extension.TypeId.NodeId.Identifier.Numeric);
    OpcUa_String_AttachCopy(&info->ProductName, "Opcwatch");
    info->BuildDate = OpcUa_DateTime_FromInt64(1);

    OpcUa::BinaryEncoder encoder;
    ASSERT_EQ(OpcUa_Good, encoder.writeExtensionObject(extension));
    // NodeId 340 in the four-byte form, binary body flag, then the body length.
    const OpcUa_Byte head[] = {0x01, 0x00, 0x54, 0x01, 0x01};
    ASSERT_GT(encoder.size(), sizeof(head) + 4);
    EXPECT_EQ(0, memcmp(head, encoder.data(), sizeof(head)));
    OpcUa_Int32 bodyLength = 0;
    memcpy(&bodyLength, encoder.data() + 5, 4);
    EXPECT_EQ(encoder.size() - 9, static_cast<size_t>(bodyLength));

    OpcUa::BinaryDecoder decoder(encoder.data(), encoder.size());
    OpcUa_ExtensionObject decoded;
    ASSERT_EQ(OpcUa_Good, decoder.readExtensionObject(&decoded));
    EXPECT_EQ(&OpcUa_BuildInfo_EncodeableType, decoded.Body.EncodeableObject.Type);
    EXPECT_EQ(0, OpcUa_ExtensionObject_Compare(&extension, &decoded));
    OpcUa_ExtensionObject_Clear(&decoded);
    OpcUa_ExtensionObject_Clear(&extension);
    EXPECT_EQ(OpcUa_ExtensionObjectEncoding_None, extension.Encoding);
    EXPECT_EQ(nullptr, extension.Body.EncodeableObject.Object);
}

TEST(UaStackEncodeableObject, ClearLeavesTheStructureInItsInitialState)
{
    Object a(&OpcUa_ReadResponse_EncodeableType);
    uastacktest::ValueFiller(3).fillStructure(a.type, a.p);
    a.type->Clear(a.p);
    Object fresh(&OpcUa_ReadResponse_EncodeableType);
    EXPECT_EQ(0, memcmp(a.p, fresh.p, a.type->AllocationSize));
    void* none = nullptr;
    OpcUa_EncodeableObject_Delete(&OpcUa_ReadResponse_EncodeableType, &none); // accepts null
}
} // namespace

namespace
{
// Structures of newer dictionaries: one with optional fields, one union.
struct Optional
{
    OpcUa_UInt32 EncodingMask;
    OpcUa_Int32 Always;
    OpcUa_String Name;
    OpcUa_Int32 NoOfValues;
    OpcUa_Double* Values;
};

struct Choice
{
    OpcUa_UInt32 SwitchField;
    OpcUa_UInt16 Small;
    OpcUa_LocalizedText Text;
};

extern OpcUa_EncodeableType g_optionalType;
extern OpcUa_EncodeableType g_choiceType;

template <OpcUa_EncodeableType* T> struct Thunks
{
    static void init(void* v) { OpcUa_Structure_Initialize(T, v); }
    static void clear(void* v) { OpcUa_Structure_Clear(T, v); }
    static OpcUa_StatusCode size(void* v, OpcUa_Encoder* e, OpcUa_Int32* s)
    {
        return OpcUa_Structure_GetSize(T, v, e, s);
    }
    static OpcUa_StatusCode encode(void* v, OpcUa_Encoder* e) { return OpcUa_Structure_Encode(T, v, e); }
    static OpcUa_StatusCode decode(void* v, OpcUa_Decoder* d) { return OpcUa_Structure_Decode(T, v, d); }
};

const OpcUa_FieldDescription g_optionalFields[] = {
    {"Always", OpcUaType_Int32, OpcUa_False, -1, 0, offsetof(Optional, Always), 0, nullptr},
    {"Name", OpcUaType_String, OpcUa_False, 0, 0, offsetof(Optional, Name), 0, nullptr},
    {"Values", OpcUaType_Double, OpcUa_True, 1, 0, offsetof(Optional, Values), offsetof(Optional, NoOfValues),
     nullptr},
};
const OpcUa_FieldDescription g_choiceFields[] = {
    {"Small", OpcUaType_UInt16, OpcUa_False, -1, 1, offsetof(Choice, Small), 0, nullptr},
    {"Text", OpcUaType_LocalizedText, OpcUa_False, -1, 2, offsetof(Choice, Text), 0, nullptr},
};

OpcUa_EncodeableType g_optionalType = {"Optional",
                                       0,
                                       0,
                                       0,
                                       nullptr,
                                       sizeof(Optional),
                                       Thunks<&g_optionalType>::init,
                                       Thunks<&g_optionalType>::clear,
                                       Thunks<&g_optionalType>::size,
                                       Thunks<&g_optionalType>::encode,
                                       Thunks<&g_optionalType>::decode,
                                       OpcUa_StructureKind_OptionalFields,
                                       3,
                                       g_optionalFields};
OpcUa_EncodeableType g_choiceType = {"Choice",
                                     0,
                                     0,
                                     0,
                                     nullptr,
                                     sizeof(Choice),
                                     Thunks<&g_choiceType>::init,
                                     Thunks<&g_choiceType>::clear,
                                     Thunks<&g_choiceType>::size,
                                     Thunks<&g_choiceType>::encode,
                                     Thunks<&g_choiceType>::decode,
                                     OpcUa_StructureKind_Union,
                                     2,
                                     g_choiceFields};

std::vector<OpcUa_Byte> encodeStructure(OpcUa_EncodeableType* type, void* value)
{
    OpcUa::BinaryEncoder encoder;
    EXPECT_EQ(OpcUa_Good, encoder.writeStructure(type, value));
    return std::vector<OpcUa_Byte>(encoder.data(), encoder.data() + encoder.size());
}

TEST(UaStackNewerStructures, OptionalFieldsAreWrittenOnlyWhenTheirMaskBitIsSet)
{
    Object o(&g_optionalType);
    auto* v = static_cast<Optional*>(o.p);
    v->Always = 7;
    OpcUa_String_AttachCopy(&v->Name, "n");
    v->EncodingMask = 0x1; // Name present, Values absent
    EXPECT_EQ((std::vector<OpcUa_Byte>{1, 0, 0, 0, 7, 0, 0, 0, 1, 0, 0, 0, 'n'}),
              encodeStructure(o.type, o.p));
    v->EncodingMask = 0x2; // Values present (empty), Name absent
    std::vector<OpcUa_Byte> bytes = encodeStructure(o.type, o.p);
    EXPECT_EQ((std::vector<OpcUa_Byte>{2, 0, 0, 0, 7, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}), bytes);

    v->EncodingMask = 0x3;
    bytes = encodeStructure(o.type, o.p);
    Object d(&g_optionalType);
    OpcUa::BinaryDecoder decoder(bytes.data(), bytes.size());
    ASSERT_EQ(OpcUa_Good, decoder.readStructure(d.type, d.p));
    EXPECT_EQ(0, OpcUa_EncodeableObject_Compare(o.type, o.p, d.p));
}

TEST(UaStackNewerStructures, UnionWritesTheSelectedMemberAndRefusesAnUnknownSwitch)
{
    Object o(&g_choiceType);
    auto* v = static_cast<Choice*>(o.p);
    v->SwitchField = 1;
    v->Small = 0x0102;
    EXPECT_EQ((std::vector<OpcUa_Byte>{1, 0, 0, 0, 2, 1}), encodeStructure(o.type, o.p));
    v->SwitchField = 0;
    EXPECT_EQ((std::vector<OpcUa_Byte>{0, 0, 0, 0}), encodeStructure(o.type, o.p));
    v->SwitchField = 2;
    OpcUa_String_AttachCopy(&v->Text.Text, "t");
    std::vector<OpcUa_Byte> bytes = encodeStructure(o.type, o.p);
    Object d(&g_choiceType);
    OpcUa::BinaryDecoder decoder(bytes.data(), bytes.size());
    ASSERT_EQ(OpcUa_Good, decoder.readStructure(d.type, d.p));
    EXPECT_EQ(0, OpcUa_EncodeableObject_Compare(o.type, o.p, d.p));

    const OpcUa_Byte unknownSwitch[] = {3, 0, 0, 0, 1, 2};
    OpcUa::BinaryDecoder bad(unknownSwitch, sizeof(unknownSwitch));
    Object refused(&g_choiceType);
    EXPECT_EQ(OpcUa_BadDecodingError, bad.readStructure(refused.type, refused.p));
    v->SwitchField = 9;
    OpcUa::BinaryEncoder encoder;
    EXPECT_EQ(OpcUa_BadEncodingError, encoder.writeStructure(o.type, o.p));
}
} // namespace
