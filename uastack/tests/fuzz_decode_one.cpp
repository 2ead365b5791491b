#include "fuzz_decode_one.h"

#include <opcua_binarycodec.hpp>

namespace uastacktest
{
namespace
{
bool messageRoundTrip(const uint8_t* data, size_t size)
{
    OpcUa::BinaryDecoder decoder(data, size);
    OpcUa_EncodeableType* type = nullptr;
    void* object = nullptr;
    if (OpcUa_IsBad(decoder.readMessage(&type, &object)))
        return type == nullptr && object == nullptr;
    bool ok = true;
    OpcUa::BinaryEncoder encoder;
    if (OpcUa_IsGood(encoder.writeMessage(type, object)))
    {
        OpcUa::BinaryDecoder again(encoder.data(), encoder.size());
        OpcUa_EncodeableType* type2 = nullptr;
        void* object2 = nullptr;
        ok = OpcUa_IsGood(again.readMessage(&type2, &object2)) && type2 == type &&
             OpcUa_EncodeableObject_Compare(type, object, object2) == 0;
        OpcUa_EncodeableObject_Delete(type2, &object2);
    }
    OpcUa_EncodeableObject_Delete(type, &object);
    return ok;
}

bool variantRoundTrip(const uint8_t* data, size_t size)
{
    OpcUa::BinaryDecoder decoder(data, size);
    OpcUa_Variant v;
    if (OpcUa_IsBad(decoder.readVariant(&v)))
        return v.Datatype == 0 && v.ArrayType == 0;
    bool ok = true;
    OpcUa::BinaryEncoder encoder;
    if (OpcUa_IsGood(encoder.writeVariant(v)))
    {
        OpcUa::BinaryDecoder again(encoder.data(), encoder.size());
        OpcUa_Variant w;
        ok = OpcUa_IsGood(again.readVariant(&w)) && OpcUa_Variant_Compare(&v, &w) == 0;
        OpcUa_Variant_Clear(&w);
    }
    OpcUa_Variant_Clear(&v);
    return ok;
}
} // namespace

bool decodeOne(const uint8_t* data, size_t size)
{
    return messageRoundTrip(data, size) && variantRoundTrip(data, size);
}
} // namespace uastacktest
