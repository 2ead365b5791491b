/* The communication stack: types, encoding and platform services. */
#ifndef OPCUA_H
#define OPCUA_H

#include <opcua_platformdefs.h>
#include <opcua_statuscodes.h>
#include <opcua_builtintypes.h>
#include <opcua_memory.h>
#include <opcua_platform.h>
#include <opcua_proxystub.h>
#include <opcua_encodeable.h>
#include <opcua_identifiers.h>
#include <opcua_types.h>

#if defined(__has_include)
#if __has_include(<opcua_transport.h>)
#include <opcua_transport.h>
#endif
#endif

#endif
