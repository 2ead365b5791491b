#include "methodcallcheck.h"

#include <browsecontext.h>
#include <nodemanager.h>
#include <referencetypes.h>
#include <servicecontext.h>
#include <standardnodeids.h>
#include <uanode.h>
#include <uanodeinterfaces.h>

#include <uadatavalue.h>
#include <uastructurearrays.h>
#include <uatrace.h>

#include <algorithm>
#include <vector>

namespace
{
constexpr OpcUa_UInt32 kStructure = 22;
constexpr OpcUa_UInt32 kEnumeration = 29;
// A chain of supertypes longer than this has a loop.
constexpr int kMaxTypeDepth = 64;

struct Target
{
    UaNodeId nodeId;
    UaQualifiedName browseName;
};

// The targets of node's references of referenceTypeId (subtypes included) in direction.
std::vector<Target> targetsOf(NodeManager& root, const UaNodeId& node, OpcUa_UInt32 referenceTypeId,
                              OpcUa_BrowseDirection direction, OpcUa_UInt32 nodeClassMask = 0)
{
    OpcUa_BrowseDescription description;
    OpcUa_BrowseDescription_Initialize(&description);
    node.copyTo(&description.NodeId);
    description.BrowseDirection = direction;
    UaNodeId(referenceTypeId, 0).copyTo(&description.ReferenceTypeId);
    description.IncludeSubtypes = OpcUa_True;
    description.NodeClassMask = nodeClassMask;
    description.ResultMask = OpcUa_BrowseResultMask_BrowseName;
    std::vector<Target> targets;
    {
        BrowseContext context(nullptr, description, 0);
        do
        {
            UaReferenceDescriptionArray references;
            if (root.browse(ServiceContext(), context, references).isBad())
                break;
            for (OpcUa_UInt32 i = 0; i < references.length(); ++i)
                targets.push_back(
                    {UaNodeId(references[i].NodeId.NodeId), UaQualifiedName(references[i].BrowseName)});
        } while (!context.isDone());
    }
    OpcUa_BrowseDescription_Clear(&description);
    return targets;
}

// typeId and its supertypes, nearest first.
std::vector<UaNodeId> typeChain(NodeManager& root, const UaNodeId& typeId)
{
    std::vector<UaNodeId> chain{typeId};
    for (int depth = 0; depth < kMaxTypeDepth; ++depth)
    {
        const std::vector<Target> super =
            targetsOf(root, chain.back(), ReferenceTypeId::HasSubtype, OpcUa_BrowseDirection_Inverse);
        if (super.empty() || std::find(chain.begin(), chain.end(), super.front().nodeId) != chain.end())
            break;
        chain.push_back(super.front().nodeId);
    }
    return chain;
}

bool hasMethod(NodeManager& root, const UaNodeId& node, const UaNodeId& methodId)
{
    for (const Target& target : targetsOf(root, node, ReferenceTypeId::HasComponent,
                                          OpcUa_BrowseDirection_Forward, OpcUa_NodeClass_Method))
        if (target.nodeId == methodId)
            return true;
    return false;
}

bool contains(const std::vector<UaNodeId>& chain, OpcUa_UInt32 numericId)
{
    return std::find(chain.begin(), chain.end(), UaNodeId(numericId, 0)) != chain.end();
}

// Whether a value of built-in type builtIn may stand where declared is declared: the same type, a
// subtype of it (a Double for a Number), or the built-in type a declared subtype is encoded as
// (a Double for a Duration, an Int32 for an enumeration, an ExtensionObject for a structure).
bool typeFits(NodeManager& root, const UaNodeId& declared, OpcUa_Byte builtIn)
{
    if (builtIn == 0)
        return declared == UaNodeId(StandardNodeId::BaseDataType, 0);
    const UaNodeId given(builtIn, 0);
    if (declared == given || declared == UaNodeId(StandardNodeId::BaseDataType, 0))
        return true;
    const std::vector<UaNodeId> givenChain = typeChain(root, given);
    if (std::find(givenChain.begin(), givenChain.end(), declared) != givenChain.end())
        return true;
    const std::vector<UaNodeId> declaredChain = typeChain(root, declared);
    if (std::find(declaredChain.begin(), declaredChain.end(), given) != declaredChain.end())
        return true;
    return (builtIn == OpcUaType_Int32 && contains(declaredChain, kEnumeration)) ||
           (builtIn == OpcUaType_ExtensionObject && contains(declaredChain, kStructure));
}

bool shapeFits(OpcUa_Int32 valueRank, const OpcUa_Variant& value)
{
    const bool scalar = value.ArrayType == OpcUa_VariantArrayType_Scalar;
    switch (valueRank)
    {
    case -2: // any
        return true;
    case -3: // scalar or one dimension
        return scalar || value.ArrayType == OpcUa_VariantArrayType_Array;
    case -1:
        return scalar;
    case 0: // one or more dimensions
        return !scalar;
    case 1:
        return value.ArrayType == OpcUa_VariantArrayType_Array;
    default:
        return value.ArrayType == OpcUa_VariantArrayType_Matrix;
    }
}

// The declared input arguments of a method; false when it declares none (no property, or one
// whose value is not a list of decoded arguments).
bool declaredArguments(NodeManager& root, const UaNodeId& methodId,
                       std::vector<std::pair<UaNodeId, OpcUa_Int32>>& arguments)
{
    for (const Target& property :
         targetsOf(root, methodId, ReferenceTypeId::HasProperty, OpcUa_BrowseDirection_Forward))
    {
        if (property.browseName != UaQualifiedName("InputArguments", 0))
            continue;
        UaNode* node = root.getNode(property.nodeId);
        auto* variable = dynamic_cast<UaVariable*>(node);
        bool known = false;
        if (variable != nullptr)
        {
            const UaDataValue dataValue = variable->value(nullptr);
            const OpcUa_Variant& value = static_cast<const OpcUa_DataValue*>(dataValue)->Value;
            known = value.Datatype == OpcUaType_ExtensionObject &&
                    value.ArrayType == OpcUa_VariantArrayType_Array;
            for (OpcUa_Int32 i = 0; known && i < value.Value.Array.Length; ++i)
            {
                const OpcUa_ExtensionObject& entry = value.Value.Array.Value.ExtensionObjectArray[i];
                known = entry.Encoding == OpcUa_ExtensionObjectEncoding_EncodeableObject &&
                        entry.Body.EncodeableObject.Type != nullptr &&
                        entry.Body.EncodeableObject.Type->TypeId == OpcUa_Argument_EncodeableType.TypeId &&
                        entry.Body.EncodeableObject.Object != nullptr;
                if (known)
                {
                    const auto* argument =
                        static_cast<const OpcUa_Argument*>(entry.Body.EncodeableObject.Object);
                    arguments.emplace_back(UaNodeId(argument->DataType), argument->ValueRank);
                }
            }
        }
        if (node != nullptr)
            node->releaseReference();
        return known;
    }
    return false;
}
} // namespace

namespace MethodCallCheck
{
UaStatus checkOwnership(NodeManager& root, const UaNodeId& objectId, const UaNodeId& methodId)
{
    if (hasMethod(root, objectId, methodId))
        return OpcUa_Good;
    const std::vector<Target> types =
        targetsOf(root, objectId, ReferenceTypeId::HasTypeDefinition, OpcUa_BrowseDirection_Forward);
    if (!types.empty())
        for (const UaNodeId& type : typeChain(root, types.front().nodeId))
            if (hasMethod(root, type, methodId))
                return OpcUa_Good;
    UaTrace::traceLevel1("Error: Call - method %s is no component of object %s or of its type [ret=0x%lx]",
                         methodId.toFullString().toUtf8(), objectId.toFullString().toUtf8(),
                         static_cast<unsigned long>(OpcUa_BadMethodInvalid));
    return OpcUa_BadMethodInvalid;
}

UaStatus checkArguments(NodeManager& root, const UaNodeId& methodId, const UaVariantArray& arguments,
                        UaStatusCodeArray& inputArgumentResults)
{
    inputArgumentResults.clear();
    std::vector<std::pair<UaNodeId, OpcUa_Int32>> declared;
    if (!declaredArguments(root, methodId, declared))
        return OpcUa_Good;
    if (arguments.length() < declared.size())
        return OpcUa_BadArgumentsMissing;
    if (arguments.length() > declared.size())
        return OpcUa_BadTooManyArguments;
    UaStatus status = OpcUa_Good;
    inputArgumentResults.create(arguments.length());
    for (OpcUa_UInt32 i = 0; i < arguments.length(); ++i)
    {
        const OpcUa_Variant& argument = arguments[i];
        if (typeFits(root, declared[i].first, argument.Datatype) && shapeFits(declared[i].second, argument))
            continue;
        inputArgumentResults[i] = OpcUa_BadTypeMismatch;
        status = OpcUa_BadInvalidArgument;
    }
    if (status.isGood())
        inputArgumentResults.clear();
    return status;
}
} // namespace MethodCallCheck
