/* Memory, text and formatting services of the stack's platform layer. */
#ifndef OPCUA_MEMORY_H
#define OPCUA_MEMORY_H

#include <opcua_builtintypes.h>

OPCUA_BEGIN_EXTERN_C

/* Blocks handed into stack structures must come from here: the structures' clears free them. */
OPCUA_EXPORT OpcUa_Void* OpcUa_Memory_Alloc(OpcUa_UInt32 size);
OPCUA_EXPORT OpcUa_Void* OpcUa_Memory_ReAlloc(OpcUa_Void* buffer, OpcUa_UInt32 size);
/* Accepts null. */
OPCUA_EXPORT OpcUa_Void OpcUa_Memory_Free(OpcUa_Void* buffer);
/* Copies count bytes; BadOutOfRange when they do not fit into targetSize, BadInvalidArgument for
   null pointers (a count of 0 copies nothing and succeeds). */
OPCUA_EXPORT OpcUa_StatusCode OpcUa_Memory_MemCpy(OpcUa_Void* target, OpcUa_UInt32 targetSize,
                                                  const OpcUa_Void* source, OpcUa_UInt32 count);

/* Length argument meaning "the whole string". */
#define OPCUA_STRING_LENDONTCARE 0xFFFFFFFFu

OPCUA_EXPORT OpcUa_Boolean OpcUa_String_IsNull(const OpcUa_String* value);
OPCUA_EXPORT OpcUa_Boolean OpcUa_String_IsEmpty(const OpcUa_String* value);
/* Replaces target's content with a copy of the 0-terminated text (null text: the null string). */
OPCUA_EXPORT OpcUa_StatusCode OpcUa_String_AttachCopy(OpcUa_String* target, const OpcUa_CharA* text);
/* Replaces target's content with a copy of at most length bytes of source. */
OPCUA_EXPORT OpcUa_StatusCode OpcUa_String_StrnCpy(OpcUa_String* target, const OpcUa_String* source,
                                                   OpcUa_UInt32 length);
/* Compares at most length bytes; 0 when equal, else the sign of the order (a null string orders
   like an empty one). With ignoreCase ASCII letters compare without regard to case. */
OPCUA_EXPORT OpcUa_Int32 OpcUa_String_StrnCmp(const OpcUa_String* a, const OpcUa_String* b,
                                              OpcUa_UInt32 length, OpcUa_Boolean ignoreCase);
/* Size in bytes. */
OPCUA_EXPORT OpcUa_UInt32 OpcUa_String_StrSize(const OpcUa_String* value);
/* Length in UTF-8 characters. */
OPCUA_EXPORT OpcUa_UInt32 OpcUa_String_StrLen(const OpcUa_String* value);
/* The 0-terminated bytes; "" for the null string. Valid while the string is unchanged. */
OPCUA_EXPORT const OpcUa_CharA* OpcUa_String_GetRawString(const OpcUa_String* value);

/* printf-style formatting into a bounded buffer, always 0-terminated when size > 0. Accepts the
   "I64" length prefix ("%I64d", "%I64u", "%I64x") besides the C ones. Returns the number of
   characters written, or -1 when the text was cut to fit (or on a bad argument). */
OPCUA_EXPORT OpcUa_Int32 OpcUa_StringA_snprintf(OpcUa_CharA* buffer, size_t size, const OpcUa_CharA* format,
                                                ...);
OPCUA_EXPORT OpcUa_Int32 OpcUa_StringA_vsnprintf(OpcUa_CharA* buffer, size_t size, const OpcUa_CharA* format,
                                                 va_list args);

OPCUA_END_EXTERN_C

#endif
