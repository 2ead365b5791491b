/* Basic scalar types and calling conventions of the communication stack. */
#ifndef OPCUA_PLATFORMDEFS_H
#define OPCUA_PLATFORMDEFS_H

#include <stddef.h>
#include <stdint.h>
#include <stdarg.h>

#ifdef __cplusplus
#define OPCUA_BEGIN_EXTERN_C                                                                                 \
    extern "C"                                                                                               \
    {
#define OPCUA_END_EXTERN_C }
#else
#define OPCUA_BEGIN_EXTERN_C
#define OPCUA_END_EXTERN_C
#endif

#define OPCUA_EXPORT __attribute__((visibility("default")))

typedef uint8_t OpcUa_Boolean;
typedef int8_t OpcUa_SByte;
typedef uint8_t OpcUa_Byte;
typedef int16_t OpcUa_Int16;
typedef uint16_t OpcUa_UInt16;
typedef int32_t OpcUa_Int32;
typedef uint32_t OpcUa_UInt32;
typedef int64_t OpcUa_Int64;
typedef uint64_t OpcUa_UInt64;
typedef float OpcUa_Float;
typedef double OpcUa_Double;
typedef int OpcUa_Int;
typedef unsigned int OpcUa_UInt;
typedef char OpcUa_CharA;
typedef char* OpcUa_StringA;
typedef unsigned char OpcUa_UCharA;
typedef void OpcUa_Void;
typedef void* OpcUa_Handle;
typedef uint32_t OpcUa_StatusCode;

#define OpcUa_True ((OpcUa_Boolean)1)
#define OpcUa_False ((OpcUa_Boolean)0)
#define OpcUa_Null NULL
#define OpcUa_Infinite 0xFFFFFFFFu

#define OpcUa_Int32_Max INT32_MAX
#define OpcUa_UInt32_Max UINT32_MAX

#endif
