#ifndef UASERVER_STATUSNAMETEXT_H
#define UASERVER_STATUSNAMETEXT_H

#include <opcua.h>

#include <string>

// A status as the traces name it: "OpcUa_BadNothingToDo", or "0x80ff0000" for an unnamed code.
std::string statusNameText(OpcUa_StatusCode code);

#endif
