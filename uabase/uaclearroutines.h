#ifndef UABASE_UACLEARROUTINES_H
#define UABASE_UACLEARROUTINES_H

#include <opcua.h>

// Element clear routines for UaStackTypeArray: each empties one element with the stack's clear.

// Scalar elements own nothing.
template <typename T> inline void ClearNothing(T*) {}

#define UABASE_DECLARE_CLEAR(Name) void Clear##Name(OpcUa_##Name* value);

UABASE_DECLARE_CLEAR(String)
UABASE_DECLARE_CLEAR(ByteString)
UABASE_DECLARE_CLEAR(Variant)
UABASE_DECLARE_CLEAR(DiagnosticInfo)
UABASE_DECLARE_CLEAR(QualifiedName)
UABASE_DECLARE_CLEAR(LocalizedText)
UABASE_DECLARE_CLEAR(NodeId)
UABASE_DECLARE_CLEAR(ExpandedNodeId)
UABASE_DECLARE_CLEAR(ExtensionObject)
UABASE_DECLARE_CLEAR(DataValue)

#define UABASE_STRUCTURE_CLEAR_ROUTINES(X)                                                                   \
    X(ApplicationDescription)                                                                                \
    X(EndpointDescription)                                                                                   \
    X(BrowseDescription)                                                                                     \
    X(BrowseResult)                                                                                          \
    X(ReferenceDescription)                                                                                  \
    X(RelativePathElement)                                                                                   \
    X(BrowsePath)                                                                                            \
    X(BrowsePathResult)                                                                                      \
    X(BrowsePathTarget)                                                                                      \
    X(ReadValueId)                                                                                           \
    X(WriteValue)                                                                                            \
    X(HistoryReadValueId)                                                                                    \
    X(HistoryReadResult)                                                                                     \
    X(ModificationInfo)                                                                                      \
    X(HistoryUpdateResult)                                                                                   \
    X(HistoryEventFieldList)                                                                                 \
    X(CallMethodRequest)                                                                                     \
    X(CallMethodResult)                                                                                      \
    X(MonitoredItemCreateRequest)                                                                            \
    X(MonitoredItemCreateResult)                                                                             \
    X(MonitoredItemModifyRequest)                                                                            \
    X(MonitoredItemModifyResult)                                                                             \
    X(MonitoredItemNotification)                                                                             \
    X(EventFieldList)                                                                                        \
    X(SimpleAttributeOperand)                                                                                \
    X(AddNodesItem)                                                                                          \
    X(AddNodesResult)                                                                                        \
    X(AddReferencesItem)                                                                                     \
    X(DeleteNodesItem)                                                                                       \
    X(DeleteReferencesItem)                                                                                  \
    X(NodeTypeDescription)                                                                                   \
    X(QueryDataSet)                                                                                          \
    X(ParsingResult)

UABASE_STRUCTURE_CLEAR_ROUTINES(UABASE_DECLARE_CLEAR)

#endif
