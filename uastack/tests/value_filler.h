// Fills stack values of any field kind with deterministic generated content (tests, fuzz seeds).
#pragma once

#include <opcua.h>

#include <cstdint>

namespace uastacktest
{
class ValueFiller
{
public:
    explicit ValueFiller(uint32_t seed) : m_state(seed * 2654435761u + 1) {}

    // Fills an initialised structure of type; depth limits nesting of structures and variants.
    void fillStructure(const OpcUa_EncodeableType* type, void* value, int depth = 0);
    void fillValue(OpcUa_UInt16 kind, const OpcUa_EncodeableType* type, void* value, int depth);
    void fillVariant(OpcUa_Variant* v, int depth);

    uint32_t next();

private:
    void fillString(OpcUa_String* s);
    void fillByteString(OpcUa_ByteString* b);
    void fillNodeId(OpcUa_NodeId* n);
    void fillArray(OpcUa_UInt16 kind, const OpcUa_EncodeableType* type, void** elements, OpcUa_Int32* count,
                   int depth);

    uint32_t m_state;
};
} // namespace uastacktest
