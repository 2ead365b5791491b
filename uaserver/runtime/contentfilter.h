#ifndef UASERVER_RUNTIME_CONTENTFILTER_H
#define UASERVER_RUNTIME_CONTENTFILTER_H

#include <uanodeid.h>
#include <uaqualifiedname.h>
#include <uastring.h>
#include <uavariant.h>

#include <opcua.h>

#include <memory>
#include <vector>

class ContentFilterElement;

// One operand of a where-clause element, as the filter keeps it after building.
class FilterOperand
{
public:
    enum Kind
    {
        Element = 0,
        Literal = 1,
        SimpleAttribute = 2
    };

    FilterOperand() = default;
    virtual ~FilterOperand() = default;
    FilterOperand(const FilterOperand&) = delete;
    FilterOperand& operator=(const FilterOperand&) = delete;

    virtual OpcUa_UInt32 getType() const = 0;
};

// Refers to another element of the same filter and owns it.
class ElementOperand : public FilterOperand
{
public:
    ElementOperand();
    ~ElementOperand() override;

    OpcUa_UInt32 getType() const override { return Element; }
    // Null until the referenced element is built.
    ContentFilterElement* element() const { return m_element.get(); }
    OpcUa_UInt32 index() const { return m_index; }
    // Takes the element (the one held before is deleted).
    void setElement(ContentFilterElement* pElement, OpcUa_UInt32 index);

private:
    std::unique_ptr<ContentFilterElement> m_element;
    OpcUa_UInt32 m_index = 0;
};

class LiteralOperand : public FilterOperand
{
public:
    explicit LiteralOperand(const UaVariant& value) : m_value(value) {}
    OpcUa_UInt32 getType() const override { return Literal; }
    UaVariant getValue() const { return m_value; }
    const UaVariant& value() const { return m_value; }

private:
    UaVariant m_value;
};

// A field of an event named by a browse path below an event type.
class SimpleAttributeOperand : public FilterOperand
{
public:
    SimpleAttributeOperand();
    explicit SimpleAttributeOperand(const OpcUa_SimpleAttributeOperand& wire);
    ~SimpleAttributeOperand() override;

    OpcUa_UInt32 getType() const override { return SimpleAttribute; }

    const UaNodeId& typeDefinitionId() const { return m_typeDefinitionId; }
    void setTypeDefinitionId(const UaNodeId& typeDefinitionId) { m_typeDefinitionId = typeDefinitionId; }
    const std::vector<UaQualifiedName>& browsePath() const { return m_browsePath; }
    // Grows the path to count elements when shorter and replaces element index.
    void setBrowsePathElement(OpcUa_UInt32 index, const UaQualifiedName& name, OpcUa_UInt32 count);
    OpcUa_UInt32 attributeId() const { return m_attributeId; }
    void setAttributeId(OpcUa_UInt32 attributeId) { m_attributeId = attributeId; }
    const UaString& indexRange() const { return m_indexRange; }
    void setIndexRange(const UaString& indexRange) { m_indexRange = indexRange; }

    // The event field the operand was resolved to; 0 until then or when it names none.
    OpcUa_UInt32 fieldIndex() const { return m_fieldIndex; }
    void setFieldIndex(OpcUa_UInt32 fieldIndex) { m_fieldIndex = fieldIndex; }

    // Deep: the structure owns new copies (clear it). Shallow: it shares this object's memory and
    // must not be cleared; it is valid while this object is unchanged.
    void copyTo(OpcUa_SimpleAttributeOperand& wire) const;
    void shallowCopyTo(OpcUa_SimpleAttributeOperand& wire,
                       std::vector<OpcUa_QualifiedName>& pathBuffer) const;

    // "Path=<ns=i|name/...> Type=<type> Attribute=<id>".
    UaString toString() const;

private:
    UaNodeId m_typeDefinitionId;
    std::vector<UaQualifiedName> m_browsePath;
    OpcUa_UInt32 m_attributeId = 13;
    UaString m_indexRange;
    OpcUa_UInt32 m_fieldIndex = 0;
};

// One element of a where clause: an operator and its operands (a missing operand is null).
class ContentFilterElement
{
public:
    ContentFilterElement(OpcUa_UInt32 filterOperator, OpcUa_Int32 index);
    ~ContentFilterElement();
    ContentFilterElement(const ContentFilterElement&) = delete;
    ContentFilterElement& operator=(const ContentFilterElement&) = delete;

    OpcUa_UInt32 filterOperator() const { return m_filterOperator; }
    OpcUa_Int32 index() const { return m_index; }
    OpcUa_UInt32 operandCount() const { return static_cast<OpcUa_UInt32>(m_operands.size()); }
    // Null for a missing operand or an index not below the count.
    FilterOperand* operand(OpcUa_UInt32 i) const;
    // The array is created with count entries by the first operand stored.
    void setOperand(OpcUa_UInt32 i, FilterOperand* pOperand, OpcUa_UInt32 count);
    // Appends an operand the filter adds itself.
    void appendOperand(FilterOperand* pOperand);

    // The operator's name followed by one blank, then the operands separated by " | ".
    UaString toString() const;
    // "Equals", "IsNull", ...; null for a value above 17.
    static const char* operatorName(OpcUa_UInt32 filterOperator);

private:
    OpcUa_UInt32 m_filterOperator;
    std::vector<std::unique_ptr<FilterOperand>> m_operands;
    OpcUa_Int32 m_index;
};

// The where clause as a tree of owned elements, built from the flat wire list in which element
// operands refer to other elements by index and element 0 is the root. Only the root is owned by
// the list; every other element belongs to the element operand that refers to it, so each element
// has exactly one owner and the tree can hold no loop.
class ContentFilter
{
public:
    // Deeper elements are refused, so that neither building nor evaluating can exhaust the stack.
    static constexpr OpcUa_UInt32 MaxDepth = 64;

    ContentFilter() = default;
    ContentFilter(const ContentFilter&) = delete;
    ContentFilter& operator=(const ContentFilter&) = delete;

    // Builds the tree and sizes the result to one element result per wire element. A reference to
    // the element itself, past the count, to an element already built (a second reference or a
    // loop) or more than MaxDepth levels below the root marks the referring operand
    // BadFilterOperandInvalid and its element BadFilterElementInvalid, sets invalid and gives
    // BadEventFilterInvalid; what was built until then stays owned by the tree.
    OpcUa_StatusCode build(const OpcUa_ContentFilter& wire, OpcUa_ContentFilterResult& result, bool& invalid);
    void clear();

    OpcUa_UInt32 elementCount() const { return static_cast<OpcUa_UInt32>(m_elements.size()); }
    // Null for an element never reached from the root or an index not below the count.
    ContentFilterElement* element(OpcUa_UInt32 i) const;
    ContentFilterElement* root() const { return m_root.get(); }

private:
    struct Building;
    OpcUa_StatusCode buildOperands(Building& building, ContentFilterElement& element, OpcUa_UInt32 depth);

    std::unique_ptr<ContentFilterElement> m_root;
    std::vector<ContentFilterElement*> m_elements;
};

#endif
