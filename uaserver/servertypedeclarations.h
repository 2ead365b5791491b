#ifndef UASERVER_SERVERTYPEDECLARATIONS_H
#define UASERVER_SERVERTYPEDECLARATIONS_H

// The standard object types of the Server object's subtree with their instance declarations, in
// namespace 0. ServerType, ServerCapabilitiesType and ServerDiagnosticsType are built once per
// process: the type node's registration (StandardTypeNodes) is the flag, and its destruction clears
// it, so that a new namespace 0 builds them again. Each runs on the thread that starts the server.
namespace ServerTypeDeclarations
{
void createServerType();
void createServerCapabilitiesType();
// With ServerDiagnosticsType comes SessionDiagnosticsObjectType (i=2029), the type of the sessions'
// diagnostics objects below it.
void createServerDiagnosticsType();
// NonTransparentRedundancyType below ServerRedundancyType, for a server with redundant twins; a
// namespace that has it already keeps its own.
void createNonTransparentRedundancyType();
} // namespace ServerTypeDeclarations

#endif
