#include "counteruserdata.h"

OpcUa_StatusCode CounterUserData::getValue(OpcUa_Variant& value) const
{
    if (!m_pCounter)
        return OpcUa_BadNodeIdInvalid;
    OpcUa_Variant_Clear(&value);
    value.Datatype = OpcUaType_Int32;
    value.ArrayType = OpcUa_VariantArrayType_Scalar;
    value.Value.Int32 = m_pCounter->load(std::memory_order_relaxed);
    return OpcUa_Good;
}
