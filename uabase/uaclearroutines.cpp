#include "uaclearroutines.h"

#define UABASE_DEFINE_CLEAR(Name)                                                                            \
    void Clear##Name(OpcUa_##Name* value)                                                                    \
    {                                                                                                        \
        OpcUa_##Name##_Clear(value);                                                                         \
    }

UABASE_DEFINE_CLEAR(String)
UABASE_DEFINE_CLEAR(ByteString)
UABASE_DEFINE_CLEAR(Variant)
UABASE_DEFINE_CLEAR(DiagnosticInfo)
UABASE_DEFINE_CLEAR(QualifiedName)
UABASE_DEFINE_CLEAR(LocalizedText)
UABASE_DEFINE_CLEAR(NodeId)
UABASE_DEFINE_CLEAR(ExpandedNodeId)
UABASE_DEFINE_CLEAR(ExtensionObject)
UABASE_DEFINE_CLEAR(DataValue)

UABASE_STRUCTURE_CLEAR_ROUTINES(UABASE_DEFINE_CLEAR)
