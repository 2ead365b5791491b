#ifndef UABASE_UASERVICEDIAGNOSTICS_H
#define UABASE_UASERVICEDIAGNOSTICS_H

#include "uadiagnosticinfo.h"
#include "uapointerarray.h"
#include "uastacktypearray.h"

#include <opcua.h>

using UaDiagnosticInfos = UaStackTypeArray<OpcUa_DiagnosticInfo, ClearDiagnosticInfo>;

// Builds one DiagnosticInfo per operation of a service call from the operations' records (null
// where an operation has none), under the request's ReturnDiagnostics mask: 0x20 symbolic id,
// 0x40 localized text, 0x80 additional info. The texts go into the response header's string table,
// each distinct text once, in order of first use; the header is left alone when no operation has
// a record. `hasDiagnostics` is set when one has. Namespace URIs of symbolic ids are looked up in
// `namespaceUris` by namespace index (namespace 0 is always the standard one).
OpcUa_StatusCode buildDiagnosticInfos(OpcUa_UInt32 returnDiagnostics, const UaDiagnosticInfo* const* items,
                                      OpcUa_UInt32 count, UaDiagnosticInfos& out,
                                      OpcUa_Boolean& hasDiagnostics, OpcUa_ResponseHeader& responseHeader,
                                      const UaString* namespaceUris = nullptr,
                                      OpcUa_UInt32 namespaceCount = 0);

OpcUa_StatusCode buildDiagnosticInfos(OpcUa_UInt32 returnDiagnostics,
                                      const UaPointerArray<UaDiagnosticInfo>& items, UaDiagnosticInfos& out,
                                      OpcUa_Boolean& hasDiagnostics, OpcUa_ResponseHeader& responseHeader,
                                      const UaString* namespaceUris = nullptr,
                                      OpcUa_UInt32 namespaceCount = 0);

#endif
