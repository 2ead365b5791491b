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

/* Data null: the null byte string (Length is then -1 or 0); else Length bytes, owned. */
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
#define OPCUA_DECLARE_BUILTIN(T)                                                               \
    OPCUA_EXPORT OpcUa_Void OpcUa_##T##_Initialize(OpcUa_##T* value);                           \
    OPCUA_EXPORT OpcUa_Void OpcUa_##T##_Clear(OpcUa_##T* value);                                \
    OPCUA_EXPORT OpcUa_StatusCode OpcUa_##T##_CopyTo(const OpcUa_##T* source, OpcUa_##T* target); \
    OPCUA_EXPORT OpcUa_Int OpcUa_##T##_Compare(const OpcUa_##T* a, const OpcUa_##T* b);

OPCUA_DECLARE_BUILTIN(Boolean)
OPCUA_DECLARE_BUILTIN(SByte)
OPCUA_DECLARE_BUILTIN(Byte)
OPCUA_DECLARE_BUILTIN(Int16)
OPCUA_DECLARE_BUILTIN(UInt16)
OPCUA_DECLARE_BUILTIN(Int32)
OPCUA_DECLARE_BUILTIN(UInt32)
OPCUA_DECLARE_BUILTIN(Int64)
OPCUA_DECLARE_BUILTIN(UInt64)
OPCUA_DECLARE_BUILTIN(Float)
OPCUA_DECLARE_BUILTIN(Double)
OPCUA_DECLARE_BUILTIN(String)
OPCUA_DECLARE_BUILTIN(DateTime)
OPCUA_DECLARE_BUILTIN(Guid)
OPCUA_DECLARE_BUILTIN(ByteString)
OPCUA_DECLARE_BUILTIN(XmlElement)
OPCUA_DECLARE_BUILTIN(NodeId)
OPCUA_DECLARE_BUILTIN(ExpandedNodeId)
OPCUA_DECLARE_BUILTIN(StatusCode)
OPCUA_DECLARE_BUILTIN(QualifiedName)
OPCUA_DECLARE_BUILTIN(LocalizedText)
OPCUA_DECLARE_BUILTIN(ExtensionObject)
OPCUA_DECLARE_BUILTIN(DataValue)
OPCUA_DECLARE_BUILTIN(Variant)
OPCUA_DECLARE_BUILTIN(DiagnosticInfo)

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
