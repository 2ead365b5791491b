#ifndef UABASE_UATEXTFORMS_H
#define UABASE_UATEXTFORMS_H

#include "uastring.h"

#include <opcua.h>

// Single-line texts of identifiers, some standard structures and server states, as traces and the
// text form of values show them. Produced only, never parsed back.
namespace TextForms
{
// "NS<ns>|Numeric|<n>", "NS<ns>|String|<s>", "NS<ns>|Guid|<guid>", "NS<ns>|Opaque|0x<hex>" (cut to
// 255 characters); empty for an unknown identifier type.
UaString nodeIdFull(const OpcUa_NodeId& id);
// The identifier alone; empty for an unknown identifier type.
UaString nodeIdIdentifier(const OpcUa_NodeId& id);
// "ns=<ns>|<name>".
UaString qualifiedName(const OpcUa_QualifiedName& name);
// The display text of a decoded structure in an extension object; empty for other bodies.
UaString extensionObject(const OpcUa_ExtensionObject& object);
// "Server State Running" and the like.
UaString serverState(OpcUa_Int32 state);
// "Server State Running (Id=<serverId>)" and the like.
UaString redundantServerState(OpcUa_Int32 state, const UaString& serverId);
} // namespace TextForms

#endif
