#include "uatypenodesns0.h"

#include "referencetypes.h"

bool UaReferenceTypeNs0::isSubtypeOf(const UaNodeId& referenceTypeId) const
{
    return StandardReferenceTypes::isProperSubtype(m_identifier, referenceTypeId);
}
