/* Built-in types of the binary encoding, with initialise, clear, copy and compare. */
#ifndef OPCUA_BUILTINTYPES_H
#define OPCUA_BUILTINTYPES_H

#include <opcua_platformdefs.h>
#include <opcua_statuscodes.h>

OPCUA_BEGIN_EXTERN_C

/* Built-in type ids as carried by a variant's Datatype. */
typedef enum _OpcUa_BuiltInType
{
    OpcUaType_Null = 0,
    OpcUaType_Boolean = 1,
    OpcUaType_SByte = 2,
    OpcUaType_Byte = 3,
    OpcUaType_Int16 = 4,
    OpcUaType_UInt16 = 5,
    OpcUaType_Int32 = 6,
    OpcUaType_UInt32 = 7,
    OpcUaType_Int64 = 8,
    OpcUaType_UInt64 = 9,
    OpcUaType_Float = 10,
    OpcUaType_Double = 11,
    OpcUaType_String = 12,
    OpcUaType_DateTime = 13,
    OpcUaType_Guid = 14,
    OpcUaType_ByteString = 15,
    OpcUaType_XmlElement = 16,
    OpcUaType_NodeId = 17,
    OpcUaType_ExpandedNodeId = 18,
    OpcUaType_StatusCode = 19,
    OpcUaType_QualifiedName = 20,
    OpcUaType_LocalizedText = 21,
    OpcUaType_ExtensionObject = 22,
    OpcUaType_DataValue = 23,
    OpcUaType_Variant = 24,
    OpcUaType_DiagnosticInfo = 25
} OpcUa_BuiltInType;

/* 100-nanosecond ticks since 1601-01-01 UTC, low half first. */
typedef struct _OpcUa_DateTime
{
    OpcUa_UInt32 dwLowDateTime;
    OpcUa_UInt32 dwHighDateTime;
} OpcUa_DateTime;

typedef struct _OpcUa_Guid
{
    OpcUa_UInt32 Data1;
    OpcUa_UInt16 Data2;
    OpcUa_UInt16 Data3;
    OpcUa_Byte Data4[8];
} OpcUa_Guid;

/* UTF-8 text. strContent null: the null string; otherwise uLength bytes followed by a 0 byte,
   owned by the string and released by OpcUa_String_Clear. flags is reserved (0). */
typedef struct _OpcUa_String
{
    OpcUa_UInt16 flags;
    OpcUa_UInt32 uLength;
    OpcUa_CharA* strContent;
} OpcUa_String;

/* Length -1 (below 0): the null byte string; else Length bytes at Data, owned (Data may be null
   when Length is 0: the empty byte string). */
typedef struct _OpcUa_ByteString
{
    OpcUa_Int32 Length;
    OpcUa_Byte* Data;
} OpcUa_ByteString;

typedef OpcUa_ByteString OpcUa_XmlElement;

typedef enum _OpcUa_IdentifierType
{
    OpcUa_IdentifierType_Numeric = 0,
    OpcUa_IdentifierType_String = 1,
    OpcUa_IdentifierType_Guid = 2,
    OpcUa_IdentifierType_Opaque = 3
} OpcUa_IdentifierType;

typedef struct _OpcUa_NodeId
{
    OpcUa_UInt16 IdentifierType;
    OpcUa_UInt16 NamespaceIndex;
    union
    {
        OpcUa_UInt32 Numeric;
        OpcUa_String String;
        OpcUa_Guid* Guid;
        OpcUa_ByteString ByteString;
    } Identifier;
} OpcUa_NodeId;

typedef struct _OpcUa_ExpandedNodeId
{
    OpcUa_NodeId NodeId;
    OpcUa_String NamespaceUri;
    OpcUa_UInt32 ServerIndex;
} OpcUa_ExpandedNodeId;

typedef struct _OpcUa_QualifiedName
{
    OpcUa_UInt16 NamespaceIndex;
    OpcUa_UInt16 Reserved;
    OpcUa_String Name;
} OpcUa_QualifiedName;

typedef struct _OpcUa_LocalizedText
{
    OpcUa_String Locale;
    OpcUa_String Text;
} OpcUa_LocalizedText;

struct _OpcUa_EncodeableType;

typedef enum _OpcUa_ExtensionObjectEncoding
{
    OpcUa_ExtensionObjectEncoding_None = 0,
    OpcUa_ExtensionObjectEncoding_Binary = 1,
    OpcUa_ExtensionObjectEncoding_Xml = 2,
    OpcUa_ExtensionObjectEncoding_EncodeableObject = 3
} OpcUa_ExtensionObjectEncoding;

/* Body by Encoding: None empty; Binary/Xml an encoded body whose type is TypeId (the encoding
   id); EncodeableObject a decoded structure of Type, owned (TypeId then holds Type->TypeId). */
typedef struct _OpcUa_ExtensionObject
{
    OpcUa_ExpandedNodeId TypeId;
    OpcUa_Int32 Encoding;
    union
    {
        OpcUa_ByteString Binary;
        OpcUa_XmlElement Xml;
        struct
        {
            struct _OpcUa_EncodeableType* Type;
            OpcUa_Void* Object;
        } EncodeableObject;
    } Body;
    OpcUa_Int32 BodySize;
} OpcUa_ExtensionObject;

struct _OpcUa_DataValue;
struct _OpcUa_Variant;
struct _OpcUa_DiagnosticInfo;

typedef enum _OpcUa_VariantArrayType
{
    OpcUa_VariantArrayType_Scalar = 0,
    OpcUa_VariantArrayType_Array = 1,
    OpcUa_VariantArrayType_Matrix = 2
} OpcUa_VariantArrayType;

/* Element pointer of an array or matrix, by Datatype. */
typedef union _OpcUa_VariantArrayUnion
{
    OpcUa_Void* Array;
    OpcUa_Boolean* BooleanArray;
    OpcUa_SByte* SByteArray;
    OpcUa_Byte* ByteArray;
    OpcUa_Int16* Int16Array;
    OpcUa_UInt16* UInt16Array;
    OpcUa_Int32* Int32Array;
    OpcUa_UInt32* UInt32Array;
    OpcUa_Int64* Int64Array;
    OpcUa_UInt64* UInt64Array;
    OpcUa_Float* FloatArray;
    OpcUa_Double* DoubleArray;
    OpcUa_String* StringArray;
    OpcUa_DateTime* DateTimeArray;
    OpcUa_Guid* GuidArray;
    OpcUa_ByteString* ByteStringArray;
    OpcUa_XmlElement* XmlElementArray;
    OpcUa_NodeId* NodeIdArray;
    OpcUa_ExpandedNodeId* ExpandedNodeIdArray;
    OpcUa_StatusCode* StatusCodeArray;
    OpcUa_QualifiedName* QualifiedNameArray;
    OpcUa_LocalizedText* LocalizedTextArray;
    OpcUa_ExtensionObject* ExtensionObjectArray;
    struct _OpcUa_DataValue* DataValueArray;
    struct _OpcUa_Variant* VariantArray;
    struct _OpcUa_DiagnosticInfo* DiagnosticInfoArray;
} OpcUa_VariantArrayUnion;

typedef struct _OpcUa_VariantArrayValue
{
    OpcUa_Int32 Length;
    OpcUa_VariantArrayUnion Value;
} OpcUa_VariantArrayValue;

/* Elements in row-major order; their count is the product of the dimensions. */
typedef struct _OpcUa_VariantMatrixValue
{
    OpcUa_Int32 NoOfDimensions;
    OpcUa_Int32* Dimensions;
    OpcUa_VariantArrayUnion Value;
} OpcUa_VariantMatrixValue;

typedef union _OpcUa_VariantUnion
{
    OpcUa_Boolean Boolean;
    OpcUa_SByte SByte;
    OpcUa_Byte Byte;
    OpcUa_Int16 Int16;
    OpcUa_UInt16 UInt16;
    OpcUa_Int32 Int32;
    OpcUa_UInt32 UInt32;
    OpcUa_Int64 Int64;
    OpcUa_UInt64 UInt64;
    OpcUa_Float Float;
    OpcUa_Double Double;
    OpcUa_String String;
    OpcUa_DateTime DateTime;
    OpcUa_Guid* Guid;
    OpcUa_ByteString ByteString;
    OpcUa_XmlElement XmlElement;
    OpcUa_NodeId* NodeId;
    OpcUa_ExpandedNodeId* ExpandedNodeId;
    OpcUa_StatusCode StatusCode;
    OpcUa_QualifiedName* QualifiedName;
    OpcUa_LocalizedText* LocalizedText;
    OpcUa_ExtensionObject* ExtensionObject;
    struct _OpcUa_DataValue* DataValue;
    struct _OpcUa_DiagnosticInfo* DiagnosticInfo;
    OpcUa_VariantArrayValue Array;
    OpcUa_VariantMatrixValue Matrix;
} OpcUa_VariantUnion;

/* Owns everything it points to; OpcUa_Variant_Clear releases it. */
typedef struct _OpcUa_Variant
{
    OpcUa_Byte Datatype;
    OpcUa_Byte ArrayType;
    OpcUa_UInt16 Reserved;
    OpcUa_VariantUnion Value;
} OpcUa_Variant;

typedef struct _OpcUa_DataValue
{
    OpcUa_Variant Value;
    OpcUa_StatusCode StatusCode;
    OpcUa_DateTime SourceTimestamp;
    OpcUa_DateTime ServerTimestamp;
    OpcUa_UInt16 SourcePicoseconds;
    OpcUa_UInt16 ServerPicoseconds;
} OpcUa_DataValue;

/* Index fields are -1 when absent (OpcUa_DiagnosticInfo_Initialize sets them so). */
typedef struct _OpcUa_DiagnosticInfo
{
    OpcUa_Int32 SymbolicId;
    OpcUa_Int32 NamespaceUri;
    OpcUa_Int32 Locale;
    OpcUa_Int32 LocalizedText;
    OpcUa_String AdditionalInfo;
    OpcUa_StatusCode InnerStatusCode;
    struct _OpcUa_DiagnosticInfo* InnerDiagnosticInfo;
} OpcUa_DiagnosticInfo;

/* Per type T:  T_Initialize(T*) sets the initial (null) state;  T_Clear(T*) frees what it owns and
   leaves the initial state;  T_CopyTo(const T* src, T* dst) deep-copies into a target that owns
   nothing (it is overwritten; on failure it is left initialised and owns nothing);
   T_Compare(const T*, const T*) 0 when equal, else the sign of a total order. */
OPCUA_EXPORT OpcUa_Void OpcUa_Boolean_Initialize(OpcUa_Boolean* value);
OPCUA_EXPORT OpcUa_Void OpcUa_Boolean_Clear(OpcUa_Boolean* value);
OPCUA_EXPORT OpcUa_StatusCode OpcUa_Boolean_CopyTo(const OpcUa_Boolean* source, OpcUa_Boolean* target);
OPCUA_EXPORT OpcUa_Int OpcUa_Boolean_Compare(const OpcUa_Boolean* a, const OpcUa_Boolean* b);

OPCUA_EXPORT OpcUa_Void OpcUa_SByte_Initialize(OpcUa_SByte* value);
OPCUA_EXPORT OpcUa_Void OpcUa_SByte_Clear(OpcUa_SByte* value);
OPCUA_EXPORT OpcUa_StatusCode OpcUa_SByte_CopyTo(const OpcUa_SByte* source, OpcUa_SByte* target);
OPCUA_EXPORT OpcUa_Int OpcUa_SByte_Compare(const OpcUa_SByte* a, const OpcUa_SByte* b);

OPCUA_EXPORT OpcUa_Void OpcUa_Byte_Initialize(OpcUa_Byte* value);
OPCUA_EXPORT OpcUa_Void OpcUa_Byte_Clear(OpcUa_Byte* value);
OPCUA_EXPORT OpcUa_StatusCode OpcUa_Byte_CopyTo(const OpcUa_Byte* source, OpcUa_Byte* target);
OPCUA_EXPORT OpcUa_Int OpcUa_Byte_Compare(const OpcUa_Byte* a, const OpcUa_Byte* b);

OPCUA_EXPORT OpcUa_Void OpcUa_Int16_Initialize(OpcUa_Int16* value);
OPCUA_EXPORT OpcUa_Void OpcUa_Int16_Clear(OpcUa_Int16* value);
OPCUA_EXPORT OpcUa_StatusCode OpcUa_Int16_CopyTo(const OpcUa_Int16* source, OpcUa_Int16* target);
OPCUA_EXPORT OpcUa_Int OpcUa_Int16_Compare(const OpcUa_Int16* a, const OpcUa_Int16* b);

OPCUA_EXPORT OpcUa_Void OpcUa_UInt16_Initialize(OpcUa_UInt16* value);
OPCUA_EXPORT OpcUa_Void OpcUa_UInt16_Clear(OpcUa_UInt16* value);
OPCUA_EXPORT OpcUa_StatusCode OpcUa_UInt16_CopyTo(const OpcUa_UInt16* source, OpcUa_UInt16* target);
OPCUA_EXPORT OpcUa_Int OpcUa_UInt16_Compare(const OpcUa_UInt16* a, const OpcUa_UInt16* b);

OPCUA_EXPORT OpcUa_Void OpcUa_Int32_Initialize(OpcUa_Int32* value);
OPCUA_EXPORT OpcUa_Void OpcUa_Int32_Clear(OpcUa_Int32* value);
OPCUA_EXPORT OpcUa_StatusCode OpcUa_Int32_CopyTo(const OpcUa_Int32* source, OpcUa_Int32* target);
OPCUA_EXPORT OpcUa_Int OpcUa_Int32_Compare(const OpcUa_Int32* a, const OpcUa_Int32* b);

OPCUA_EXPORT OpcUa_Void OpcUa_UInt32_Initialize(OpcUa_UInt32* value);
OPCUA_EXPORT OpcUa_Void OpcUa_UInt32_Clear(OpcUa_UInt32* value);
OPCUA_EXPORT OpcUa_StatusCode OpcUa_UInt32_CopyTo(const OpcUa_UInt32* source, OpcUa_UInt32* target);
OPCUA_EXPORT OpcUa_Int OpcUa_UInt32_Compare(const OpcUa_UInt32* a, const OpcUa_UInt32* b);

OPCUA_EXPORT OpcUa_Void OpcUa_Int64_Initialize(OpcUa_Int64* value);
OPCUA_EXPORT OpcUa_Void OpcUa_Int64_Clear(OpcUa_Int64* value);
OPCUA_EXPORT OpcUa_StatusCode OpcUa_Int64_CopyTo(const OpcUa_Int64* source, OpcUa_Int64* target);
OPCUA_EXPORT OpcUa_Int OpcUa_Int64_Compare(const OpcUa_Int64* a, const OpcUa_Int64* b);

OPCUA_EXPORT OpcUa_Void OpcUa_UInt64_Initialize(OpcUa_UInt64* value);
OPCUA_EXPORT OpcUa_Void OpcUa_UInt64_Clear(OpcUa_UInt64* value);
OPCUA_EXPORT OpcUa_StatusCode OpcUa_UInt64_CopyTo(const OpcUa_UInt64* source, OpcUa_UInt64* target);
OPCUA_EXPORT OpcUa_Int OpcUa_UInt64_Compare(const OpcUa_UInt64* a, const OpcUa_UInt64* b);

OPCUA_EXPORT OpcUa_Void OpcUa_Float_Initialize(OpcUa_Float* value);
OPCUA_EXPORT OpcUa_Void OpcUa_Float_Clear(OpcUa_Float* value);
OPCUA_EXPORT OpcUa_StatusCode OpcUa_Float_CopyTo(const OpcUa_Float* source, OpcUa_Float* target);
OPCUA_EXPORT OpcUa_Int OpcUa_Float_Compare(const OpcUa_Float* a, const OpcUa_Float* b);

OPCUA_EXPORT OpcUa_Void OpcUa_Double_Initialize(OpcUa_Double* value);
OPCUA_EXPORT OpcUa_Void OpcUa_Double_Clear(OpcUa_Double* value);
OPCUA_EXPORT OpcUa_StatusCode OpcUa_Double_CopyTo(const OpcUa_Double* source, OpcUa_Double* target);
OPCUA_EXPORT OpcUa_Int OpcUa_Double_Compare(const OpcUa_Double* a, const OpcUa_Double* b);

OPCUA_EXPORT OpcUa_Void OpcUa_String_Initialize(OpcUa_String* value);
OPCUA_EXPORT OpcUa_Void OpcUa_String_Clear(OpcUa_String* value);
OPCUA_EXPORT OpcUa_StatusCode OpcUa_String_CopyTo(const OpcUa_String* source, OpcUa_String* target);
OPCUA_EXPORT OpcUa_Int OpcUa_String_Compare(const OpcUa_String* a, const OpcUa_String* b);

OPCUA_EXPORT OpcUa_Void OpcUa_DateTime_Initialize(OpcUa_DateTime* value);
OPCUA_EXPORT OpcUa_Void OpcUa_DateTime_Clear(OpcUa_DateTime* value);
OPCUA_EXPORT OpcUa_StatusCode OpcUa_DateTime_CopyTo(const OpcUa_DateTime* source, OpcUa_DateTime* target);
OPCUA_EXPORT OpcUa_Int OpcUa_DateTime_Compare(const OpcUa_DateTime* a, const OpcUa_DateTime* b);

OPCUA_EXPORT OpcUa_Void OpcUa_Guid_Initialize(OpcUa_Guid* value);
OPCUA_EXPORT OpcUa_Void OpcUa_Guid_Clear(OpcUa_Guid* value);
OPCUA_EXPORT OpcUa_StatusCode OpcUa_Guid_CopyTo(const OpcUa_Guid* source, OpcUa_Guid* target);
OPCUA_EXPORT OpcUa_Int OpcUa_Guid_Compare(const OpcUa_Guid* a, const OpcUa_Guid* b);

OPCUA_EXPORT OpcUa_Void OpcUa_ByteString_Initialize(OpcUa_ByteString* value);
OPCUA_EXPORT OpcUa_Void OpcUa_ByteString_Clear(OpcUa_ByteString* value);
OPCUA_EXPORT OpcUa_StatusCode OpcUa_ByteString_CopyTo(const OpcUa_ByteString* source,
                                                      OpcUa_ByteString* target);
OPCUA_EXPORT OpcUa_Int OpcUa_ByteString_Compare(const OpcUa_ByteString* a, const OpcUa_ByteString* b);

OPCUA_EXPORT OpcUa_Void OpcUa_XmlElement_Initialize(OpcUa_XmlElement* value);
OPCUA_EXPORT OpcUa_Void OpcUa_XmlElement_Clear(OpcUa_XmlElement* value);
OPCUA_EXPORT OpcUa_StatusCode OpcUa_XmlElement_CopyTo(const OpcUa_XmlElement* source,
                                                      OpcUa_XmlElement* target);
OPCUA_EXPORT OpcUa_Int OpcUa_XmlElement_Compare(const OpcUa_XmlElement* a, const OpcUa_XmlElement* b);

OPCUA_EXPORT OpcUa_Void OpcUa_NodeId_Initialize(OpcUa_NodeId* value);
OPCUA_EXPORT OpcUa_Void OpcUa_NodeId_Clear(OpcUa_NodeId* value);
OPCUA_EXPORT OpcUa_StatusCode OpcUa_NodeId_CopyTo(const OpcUa_NodeId* source, OpcUa_NodeId* target);
OPCUA_EXPORT OpcUa_Int OpcUa_NodeId_Compare(const OpcUa_NodeId* a, const OpcUa_NodeId* b);

OPCUA_EXPORT OpcUa_Void OpcUa_ExpandedNodeId_Initialize(OpcUa_ExpandedNodeId* value);
OPCUA_EXPORT OpcUa_Void OpcUa_ExpandedNodeId_Clear(OpcUa_ExpandedNodeId* value);
OPCUA_EXPORT OpcUa_StatusCode OpcUa_ExpandedNodeId_CopyTo(const OpcUa_ExpandedNodeId* source,
                                                          OpcUa_ExpandedNodeId* target);
OPCUA_EXPORT OpcUa_Int OpcUa_ExpandedNodeId_Compare(const OpcUa_ExpandedNodeId* a,
                                                    const OpcUa_ExpandedNodeId* b);

OPCUA_EXPORT OpcUa_Void OpcUa_StatusCode_Initialize(OpcUa_StatusCode* value);
OPCUA_EXPORT OpcUa_Void OpcUa_StatusCode_Clear(OpcUa_StatusCode* value);
OPCUA_EXPORT OpcUa_StatusCode OpcUa_StatusCode_CopyTo(const OpcUa_StatusCode* source,
                                                      OpcUa_StatusCode* target);
OPCUA_EXPORT OpcUa_Int OpcUa_StatusCode_Compare(const OpcUa_StatusCode* a, const OpcUa_StatusCode* b);

OPCUA_EXPORT OpcUa_Void OpcUa_QualifiedName_Initialize(OpcUa_QualifiedName* value);
OPCUA_EXPORT OpcUa_Void OpcUa_QualifiedName_Clear(OpcUa_QualifiedName* value);
OPCUA_EXPORT OpcUa_StatusCode OpcUa_QualifiedName_CopyTo(const OpcUa_QualifiedName* source,
                                                         OpcUa_QualifiedName* target);
OPCUA_EXPORT OpcUa_Int OpcUa_QualifiedName_Compare(const OpcUa_QualifiedName* a,
                                                   const OpcUa_QualifiedName* b);

OPCUA_EXPORT OpcUa_Void OpcUa_LocalizedText_Initialize(OpcUa_LocalizedText* value);
OPCUA_EXPORT OpcUa_Void OpcUa_LocalizedText_Clear(OpcUa_LocalizedText* value);
OPCUA_EXPORT OpcUa_StatusCode OpcUa_LocalizedText_CopyTo(const OpcUa_LocalizedText* source,
                                                         OpcUa_LocalizedText* target);
OPCUA_EXPORT OpcUa_Int OpcUa_LocalizedText_Compare(const OpcUa_LocalizedText* a,
                                                   const OpcUa_LocalizedText* b);

OPCUA_EXPORT OpcUa_Void OpcUa_ExtensionObject_Initialize(OpcUa_ExtensionObject* value);
OPCUA_EXPORT OpcUa_Void OpcUa_ExtensionObject_Clear(OpcUa_ExtensionObject* value);
OPCUA_EXPORT OpcUa_StatusCode OpcUa_ExtensionObject_CopyTo(const OpcUa_ExtensionObject* source,
                                                           OpcUa_ExtensionObject* target);
OPCUA_EXPORT OpcUa_Int OpcUa_ExtensionObject_Compare(const OpcUa_ExtensionObject* a,
                                                     const OpcUa_ExtensionObject* b);

OPCUA_EXPORT OpcUa_Void OpcUa_DataValue_Initialize(OpcUa_DataValue* value);
OPCUA_EXPORT OpcUa_Void OpcUa_DataValue_Clear(OpcUa_DataValue* value);
OPCUA_EXPORT OpcUa_StatusCode OpcUa_DataValue_CopyTo(const OpcUa_DataValue* source, OpcUa_DataValue* target);
OPCUA_EXPORT OpcUa_Int OpcUa_DataValue_Compare(const OpcUa_DataValue* a, const OpcUa_DataValue* b);

OPCUA_EXPORT OpcUa_Void OpcUa_Variant_Initialize(OpcUa_Variant* value);
OPCUA_EXPORT OpcUa_Void OpcUa_Variant_Clear(OpcUa_Variant* value);
OPCUA_EXPORT OpcUa_StatusCode OpcUa_Variant_CopyTo(const OpcUa_Variant* source, OpcUa_Variant* target);
OPCUA_EXPORT OpcUa_Int OpcUa_Variant_Compare(const OpcUa_Variant* a, const OpcUa_Variant* b);

OPCUA_EXPORT OpcUa_Void OpcUa_DiagnosticInfo_Initialize(OpcUa_DiagnosticInfo* value);
OPCUA_EXPORT OpcUa_Void OpcUa_DiagnosticInfo_Clear(OpcUa_DiagnosticInfo* value);
OPCUA_EXPORT OpcUa_StatusCode OpcUa_DiagnosticInfo_CopyTo(const OpcUa_DiagnosticInfo* source,
                                                          OpcUa_DiagnosticInfo* target);
OPCUA_EXPORT OpcUa_Int OpcUa_DiagnosticInfo_Compare(const OpcUa_DiagnosticInfo* a,
                                                    const OpcUa_DiagnosticInfo* b);

/* The null NodeId: numeric 0 in namespace 0. */
OPCUA_EXPORT OpcUa_Boolean OpcUa_NodeId_IsNull(const OpcUa_NodeId* value);
OPCUA_EXPORT OpcUa_Boolean OpcUa_Guid_IsNull(const OpcUa_Guid* value);
OPCUA_EXPORT OpcUa_Boolean OpcUa_DateTime_IsNull(const OpcUa_DateTime* value);
/* 100-ns ticks as one signed number and back. */
OPCUA_EXPORT OpcUa_Int64 OpcUa_DateTime_ToInt64(OpcUa_DateTime value);
OPCUA_EXPORT OpcUa_DateTime OpcUa_DateTime_FromInt64(OpcUa_Int64 ticks);

/* Element size of a built-in type in arrays (0 for type 0 and unknown types). */
OPCUA_EXPORT OpcUa_UInt32 OpcUa_BuiltInType_GetSize(OpcUa_Byte type);

/* Null values that may be passed where a constant is expected. */
OPCUA_EXPORT extern const OpcUa_Guid OpcUa_Guid_Null;

OPCUA_END_EXTERN_C

#endif
