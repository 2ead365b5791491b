/* Encodeable structure types: descriptors, creation, deletion and the type table. */
#ifndef OPCUA_ENCODEABLE_H
#define OPCUA_ENCODEABLE_H

#include <opcua_builtintypes.h>

OPCUA_BEGIN_EXTERN_C

/* Binary stream encoder and decoder (C++ classes OpcUa::BinaryEncoder/BinaryDecoder). */
typedef struct _OpcUa_Encoder OpcUa_Encoder;
typedef struct _OpcUa_Decoder OpcUa_Decoder;

typedef OpcUa_Void(OpcUa_EncodeableObject_PfnInitialize)(OpcUa_Void* value);
typedef OpcUa_Void(OpcUa_EncodeableObject_PfnClear)(OpcUa_Void* value);
typedef OpcUa_StatusCode(OpcUa_EncodeableObject_PfnGetSize)(OpcUa_Void* value, OpcUa_Encoder* encoder,
                                                            OpcUa_Int32* size);
typedef OpcUa_StatusCode(OpcUa_EncodeableObject_PfnEncode)(OpcUa_Void* value, OpcUa_Encoder* encoder);
/* Decodes into an uninitialised value; on failure the value is left cleared. */
typedef OpcUa_StatusCode(OpcUa_EncodeableObject_PfnDecode)(OpcUa_Void* value, OpcUa_Decoder* decoder);

/* How a field of a structure is stored and encoded. */
typedef enum _OpcUa_FieldKind
{
    /* 1 to 25: the built-in type of that id */
    OpcUa_FieldKind_Structure = 100,  /* an inline structure of FieldType */
    OpcUa_FieldKind_Enumeration = 101 /* an OpcUa_Int32 */
} OpcUa_FieldKind;

typedef struct _OpcUa_FieldDescription
{
    const OpcUa_CharA* Name;
    OpcUa_UInt16 Kind;       /* built-in type id or OpcUa_FieldKind */
    OpcUa_Boolean IsArray;   /* an OpcUa_Int32 count at CountOffset and a pointer at Offset */
    OpcUa_Int16 OptionalBit; /* >= 0: present when this bit of the EncodingMask is set */
    OpcUa_Int32 SwitchValue; /* > 0: union member, present when SwitchField equals it */
    OpcUa_UInt32 Offset;
    OpcUa_UInt32 CountOffset;
    const struct _OpcUa_EncodeableType* FieldType;
} OpcUa_FieldDescription;

typedef enum _OpcUa_StructureKind
{
    OpcUa_StructureKind_Plain = 0,
    OpcUa_StructureKind_OptionalFields = 1, /* first member: OpcUa_UInt32 EncodingMask */
    OpcUa_StructureKind_Union = 2           /* first member: OpcUa_UInt32 SwitchField */
} OpcUa_StructureKind;

typedef struct _OpcUa_EncodeableType
{
    const OpcUa_CharA* TypeName;
    OpcUa_UInt32 TypeId;               /* DataType NodeId (namespace 0) */
    OpcUa_UInt32 BinaryEncodingTypeId; /* its "Default Binary" encoding NodeId */
    OpcUa_UInt32 XmlEncodingTypeId;
    const OpcUa_CharA* NamespaceUri; /* null: the standard namespace */
    OpcUa_UInt32 AllocationSize;
    OpcUa_EncodeableObject_PfnInitialize* Initialize;
    OpcUa_EncodeableObject_PfnClear* Clear;
    OpcUa_EncodeableObject_PfnGetSize* GetSize;
    OpcUa_EncodeableObject_PfnEncode* Encode;
    OpcUa_EncodeableObject_PfnDecode* Decode;
    OpcUa_UInt32 StructureKind;
    OpcUa_UInt32 NoOfFields;
    const OpcUa_FieldDescription* Fields;
} OpcUa_EncodeableType;

/* Generic implementations over a descriptor's field table: a descriptor of one's own (for example a
   structure of another namespace) points its function members at thin wrappers of these. */
OPCUA_EXPORT OpcUa_Void OpcUa_Structure_Initialize(const OpcUa_EncodeableType* type, OpcUa_Void* value);
OPCUA_EXPORT OpcUa_Void OpcUa_Structure_Clear(const OpcUa_EncodeableType* type, OpcUa_Void* value);
OPCUA_EXPORT OpcUa_StatusCode OpcUa_Structure_GetSize(const OpcUa_EncodeableType* type, OpcUa_Void* value,
                                                      OpcUa_Encoder* encoder, OpcUa_Int32* size);
OPCUA_EXPORT OpcUa_StatusCode OpcUa_Structure_Encode(const OpcUa_EncodeableType* type, OpcUa_Void* value,
                                                     OpcUa_Encoder* encoder);
OPCUA_EXPORT OpcUa_StatusCode OpcUa_Structure_Decode(const OpcUa_EncodeableType* type, OpcUa_Void* value,
                                                     OpcUa_Decoder* decoder);

/* Allocates and initialises an object of type; *object is null on failure. */
OPCUA_EXPORT OpcUa_StatusCode OpcUa_EncodeableObject_Create(OpcUa_EncodeableType* type, OpcUa_Void** object);
/* Clears and frees *object and sets it to null; accepts null type or object (nothing to do). */
OPCUA_EXPORT OpcUa_Void OpcUa_EncodeableObject_Delete(OpcUa_EncodeableType* type, OpcUa_Void** object);
/* Creates an object of type owned by extension (which is cleared first); *object (may be null)
   receives a pointer to it. */
OPCUA_EXPORT OpcUa_StatusCode OpcUa_EncodeableObject_CreateExtension(OpcUa_EncodeableType* type,
                                                                     OpcUa_ExtensionObject* extension,
                                                                     OpcUa_Void** object);
/* Deep copy and comparison of two objects of one type. */
OPCUA_EXPORT OpcUa_StatusCode OpcUa_EncodeableObject_CopyTo(OpcUa_EncodeableType* type,
                                                            const OpcUa_Void* source, OpcUa_Void* target);
OPCUA_EXPORT OpcUa_Int OpcUa_EncodeableObject_Compare(OpcUa_EncodeableType* type, const OpcUa_Void* a,
                                                      const OpcUa_Void* b);

/* The table of every known type: lookup by DataType id or by binary encoding id (namespace 0).
   Null when unknown. */
OPCUA_EXPORT OpcUa_EncodeableType* OpcUa_EncodeableTypeTable_FindByTypeId(OpcUa_UInt32 typeId);
OPCUA_EXPORT OpcUa_EncodeableType* OpcUa_EncodeableTypeTable_FindByEncodingId(OpcUa_UInt32 encodingId);
OPCUA_EXPORT OpcUa_EncodeableType* OpcUa_EncodeableTypeTable_FindByName(const OpcUa_CharA* typeName);
/* Every descriptor of the table; *count receives their number. */
OPCUA_EXPORT OpcUa_EncodeableType* const* OpcUa_EncodeableTypeTable_GetAll(OpcUa_UInt32* count);

OPCUA_END_EXTERN_C

#endif
