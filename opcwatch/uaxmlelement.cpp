#include "uaxmlelement.h"

const UaXmlElement* UaXmlElement::firstChild(std::u16string_view name) const
{
    for (const auto& child : m_children)
        if (child->m_name == name)
            return child.get();
    return nullptr;
}

std::vector<const UaXmlElement*> UaXmlElement::children(std::u16string_view name) const
{
    std::vector<const UaXmlElement*> found;
    for (const auto& child : m_children)
        if (child->m_name == name)
            found.push_back(child.get());
    return found;
}

UaXmlElement* UaXmlElement::appendChild(std::unique_ptr<UaXmlElement> child)
{
    m_children.push_back(std::move(child));
    return m_children.back().get();
}

void UaXmlElement::appendAttribute(std::u16string name, std::u16string value)
{
    auto attribute = std::make_unique<UaXmlElement>(std::move(name));
    attribute->m_text = std::move(value);
    m_attributes.push_back(std::move(attribute));
}

UaXmlElement* UaXmlDocument::appendElement(std::unique_ptr<UaXmlElement> element)
{
    m_elements.push_back(std::move(element));
    return m_elements.back().get();
}
