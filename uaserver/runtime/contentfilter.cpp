#include "contentfilter.h"

#include <uatextforms.h>

#include <opcua_memory.h>

#include <cstring>

namespace
{
constexpr OpcUa_UInt32 g_elementOperandType = 592;
constexpr OpcUa_UInt32 g_literalOperandType = 595;
constexpr OpcUa_UInt32 g_simpleAttributeOperandType = 601;
constexpr OpcUa_UInt32 g_baseEventType = 2041;

const char* const g_operatorNames[] = {"Equals",
                                       "IsNull",
                                       "GreaterThan",
                                       "LessThan",
                                       "GreaterThanOrEqual",
                                       "LessThanOrEqual",
                                       "Like",
                                       "Not",
                                       "Between",
                                       "InList",
                                       "And",
                                       "Or",
                                       "Cast",
                                       "InView",
                                       "OfType",
                                       "RelatedTo",
                                       "BitwiseAnd",
                                       "BitwiseOr"};

// The decoded body of a standard type, or null: undecoded and other operands are left out.
const void* decodedBody(const OpcUa_ExtensionObject& operand, OpcUa_UInt32 typeId)
{
    if (operand.Encoding != OpcUa_ExtensionObjectEncoding_EncodeableObject ||
        !operand.Body.EncodeableObject.Type || operand.Body.EncodeableObject.Type->NamespaceUri ||
        operand.Body.EncodeableObject.Type->TypeId != typeId)
        return nullptr;
    return operand.Body.EncodeableObject.Object;
}

template <typename T> T* allocateArray(OpcUa_Int32 count)
{
    if (count <= 0)
        return nullptr;
    auto* array = static_cast<T*>(OpcUa_Memory_Alloc(static_cast<OpcUa_UInt32>(sizeof(T) * count)));
    if (array)
        std::memset(array, 0, sizeof(T) * static_cast<std::size_t>(count));
    return array;
}
} // namespace

ElementOperand::ElementOperand() = default;
ElementOperand::~ElementOperand() = default;

void ElementOperand::setElement(ContentFilterElement* pElement, OpcUa_UInt32 index)
{
    m_element.reset(pElement);
    m_index = index;
}

SimpleAttributeOperand::SimpleAttributeOperand() : m_typeDefinitionId(g_baseEventType, 0) {}

SimpleAttributeOperand::SimpleAttributeOperand(const OpcUa_SimpleAttributeOperand& wire)
    : m_typeDefinitionId(wire.TypeDefinitionId), m_attributeId(wire.AttributeId),
      m_indexRange(&wire.IndexRange)
{
    for (OpcUa_Int32 i = 0; i < wire.NoOfBrowsePath; ++i)
        m_browsePath.emplace_back(wire.BrowsePath[i]);
}

SimpleAttributeOperand::~SimpleAttributeOperand() = default;

void SimpleAttributeOperand::setBrowsePathElement(OpcUa_UInt32 index, const UaQualifiedName& name,
                                                  OpcUa_UInt32 count)
{
    // An index past the count the caller declared is ignored, even where the path is longer.
    if (index >= count)
        return;
    if (m_browsePath.size() < count)
        m_browsePath.resize(count);
    m_browsePath[index] = name;
}

void SimpleAttributeOperand::copyTo(OpcUa_SimpleAttributeOperand& wire) const
{
    OpcUa_SimpleAttributeOperand_Initialize(&wire);
    m_typeDefinitionId.copyTo(&wire.TypeDefinitionId);
    wire.NoOfBrowsePath = static_cast<OpcUa_Int32>(m_browsePath.size());
    wire.BrowsePath = allocateArray<OpcUa_QualifiedName>(wire.NoOfBrowsePath);
    for (std::size_t i = 0; wire.BrowsePath && i < m_browsePath.size(); ++i)
        m_browsePath[i].copyTo(&wire.BrowsePath[i]);
    wire.AttributeId = m_attributeId;
    m_indexRange.copyTo(&wire.IndexRange);
}

void SimpleAttributeOperand::shallowCopyTo(OpcUa_SimpleAttributeOperand& wire,
                                           std::vector<OpcUa_QualifiedName>& pathBuffer) const
{
    wire.TypeDefinitionId = *m_typeDefinitionId.toOpcUaNodeId();
    pathBuffer.clear();
    for (const UaQualifiedName& name : m_browsePath)
        pathBuffer.push_back(*name.toOpcUaQualifiedName());
    wire.NoOfBrowsePath = static_cast<OpcUa_Int32>(pathBuffer.size());
    wire.BrowsePath = pathBuffer.empty() ? nullptr : pathBuffer.data();
    wire.AttributeId = m_attributeId;
    wire.IndexRange = *m_indexRange.toOpcUaString();
}

UaString SimpleAttributeOperand::toString() const
{
    std::string path;
    for (std::size_t i = 0; i < m_browsePath.size(); ++i)
    {
        if (i > 0)
            path += "/";
        path += m_browsePath[i].toFullString().toUtf8();
    }
    const std::string text = "Path=" + path + " Type=" + m_typeDefinitionId.toFullString().toUtf8() +
                             " Attribute=" + std::to_string(m_attributeId);
    return UaString(text.c_str());
}

ContentFilterElement::ContentFilterElement(OpcUa_UInt32 filterOperator, OpcUa_Int32 index)
    : m_filterOperator(filterOperator), m_index(index)
{
}

ContentFilterElement::~ContentFilterElement() = default;

FilterOperand* ContentFilterElement::operand(OpcUa_UInt32 i) const
{
    return i < m_operands.size() ? m_operands[i].get() : nullptr;
}

void ContentFilterElement::setOperand(OpcUa_UInt32 i, FilterOperand* pOperand, OpcUa_UInt32 count)
{
    if (m_operands.empty())
        m_operands.resize(count);
    if (i < m_operands.size())
        m_operands[i].reset(pOperand);
    else
        delete pOperand;
}

void ContentFilterElement::appendOperand(FilterOperand* pOperand)
{
    m_operands.emplace_back(pOperand);
}

const char* ContentFilterElement::operatorName(OpcUa_UInt32 filterOperator)
{
    return filterOperator < std::size(g_operatorNames) ? g_operatorNames[filterOperator] : nullptr;
}

UaString ContentFilterElement::toString() const
{
    const char* name = operatorName(m_filterOperator);
    std::string text = std::string(name ? name : "Unknown Operator") + " ";
    for (std::size_t i = 0; i < m_operands.size(); ++i)
    {
        if (i > 0)
            text += " | ";
        const FilterOperand* operand = m_operands[i].get();
        if (!operand)
            text += "NULL";
        else if (operand->getType() == FilterOperand::SimpleAttribute)
            text += static_cast<const SimpleAttributeOperand*>(operand)->toString().toUtf8();
        else if (operand->getType() == FilterOperand::Element)
        {
            const auto* element = static_cast<const ElementOperand*>(operand);
            text += element->element() ? "[" + std::to_string(element->index()) + "]" : "NULL Element";
        }
        else if (operand->getType() == FilterOperand::Literal)
            text += static_cast<const LiteralOperand*>(operand)->value().toString().toUtf8();
        else
            text += "INVALID";
    }
    return UaString(text.c_str());
}

struct ContentFilter::Building
{
    const OpcUa_ContentFilter& wire;
    OpcUa_ContentFilterResult& result;
    bool& invalid;
};

void ContentFilter::clear()
{
    m_root.reset();
    m_elements.clear();
}

ContentFilterElement* ContentFilter::element(OpcUa_UInt32 i) const
{
    return i < m_elements.size() ? m_elements[i] : nullptr;
}

OpcUa_StatusCode ContentFilter::build(const OpcUa_ContentFilter& wire, OpcUa_ContentFilterResult& result,
                                      bool& invalid)
{
    clear();
    invalid = false;
    if (wire.NoOfElements <= 0 || !wire.Elements)
        return OpcUa_Good;
    result.ElementResults = allocateArray<OpcUa_ContentFilterElementResult>(wire.NoOfElements);
    if (!result.ElementResults)
        return OpcUa_BadOutOfMemory;
    result.NoOfElementResults = wire.NoOfElements;
    m_elements.assign(static_cast<std::size_t>(wire.NoOfElements), nullptr);
    m_root =
        std::make_unique<ContentFilterElement>(static_cast<OpcUa_UInt32>(wire.Elements[0].FilterOperator), 0);
    m_elements[0] = m_root.get();
    Building building{wire, result, invalid};
    return buildOperands(building, *m_root, 0);
}

OpcUa_StatusCode ContentFilter::buildOperands(Building& building, ContentFilterElement& element,
                                              OpcUa_UInt32 depth)
{
    const OpcUa_UInt32 k = static_cast<OpcUa_UInt32>(element.index());
    const OpcUa_ContentFilterElement& wire = building.wire.Elements[k];
    OpcUa_ContentFilterElementResult& result = building.result.ElementResults[k];
    const OpcUa_UInt32 count =
        wire.NoOfFilterOperands > 0 ? static_cast<OpcUa_UInt32>(wire.NoOfFilterOperands) : 0;
    // The operand codes exist from here on: they mark the element as built.
    result.OperandStatusCodes = allocateArray<OpcUa_StatusCode>(static_cast<OpcUa_Int32>(count));
    result.NoOfOperandStatusCodes = result.OperandStatusCodes ? static_cast<OpcUa_Int32>(count) : 0;
    for (OpcUa_UInt32 i = 0; i < count; ++i)
    {
        const OpcUa_ExtensionObject& operand = wire.FilterOperands[i];
        if (const auto* literal =
                static_cast<const OpcUa_LiteralOperand*>(decodedBody(operand, g_literalOperandType)))
        {
            element.setOperand(i, new LiteralOperand(UaVariant(literal->Value)), count);
            continue;
        }
        if (const auto* attribute = static_cast<const OpcUa_SimpleAttributeOperand*>(
                decodedBody(operand, g_simpleAttributeOperandType)))
        {
            element.setOperand(i, new SimpleAttributeOperand(*attribute), count);
            continue;
        }
        const auto* reference =
            static_cast<const OpcUa_ElementOperand*>(decodedBody(operand, g_elementOperandType));
        if (!reference)
            continue;
        const OpcUa_UInt32 target = reference->Index;
        const bool badIndex = target == k || target >= m_elements.size();
        const bool refused = badIndex ||
                             building.result.ElementResults[target].OperandStatusCodes != nullptr ||
                             m_elements[target] != nullptr || depth + 1 > MaxDepth;
        OpcUa_StatusCode status = OpcUa_BadEventFilterInvalid;
        // The operand is in place before its target is built: a failure below leaks nothing, and an
        // operand whose target is refused (reached twice, too deep) stays without one ("NULL Element").
        ElementOperand* elementOperand = nullptr;
        if (!badIndex)
        {
            elementOperand = new ElementOperand;
            element.setOperand(i, elementOperand, count);
        }
        if (!refused)
        {
            auto* child = new ContentFilterElement(
                static_cast<OpcUa_UInt32>(building.wire.Elements[target].FilterOperator),
                static_cast<OpcUa_Int32>(target));
            elementOperand->setElement(child, target);
            m_elements[target] = child;
            status = buildOperands(building, *child, depth + 1);
            if (OpcUa_IsGood(status))
                continue;
            // A failure below marks every element on the path, but the root only for its own operands.
            if (k == 0)
                return status;
        }
        if (result.OperandStatusCodes)
            result.OperandStatusCodes[i] = OpcUa_BadFilterOperandInvalid;
        result.StatusCode = OpcUa_BadFilterElementInvalid;
        building.invalid = true;
        return status;
    }
    return OpcUa_Good;
}
