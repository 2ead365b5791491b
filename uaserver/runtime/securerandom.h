#ifndef UASERVER_RUNTIME_SECURERANDOM_H
#define UASERVER_RUNTIME_SECURERANDOM_H

#include <uabytestring.h>

#include <opcua.h>

#include <cstddef>

// Secrets a client must not guess (authentication tokens, server nonces) come from the operating
// system's random source, never from a counter or the clock.
// False when the source failed; data is then not to be used.
bool fillSecureRandom(void* data, std::size_t size);
// length random bytes; empty when the source failed.
UaByteString secureRandomBytes(OpcUa_Int32 length);

#endif
