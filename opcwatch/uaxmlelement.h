// The element tree that the configuration file is read into: element names, text and
// children in document order, attributes kept as elements of their own.
#pragma once

#include <memory>
#include <string>
#include <vector>

class UaXmlElement
{
public:
    explicit UaXmlElement(std::u16string name) : m_name(std::move(name)) {}
    UaXmlElement(const UaXmlElement&) = delete;
    UaXmlElement& operator=(const UaXmlElement&) = delete;

    const std::u16string& name() const { return m_name; }
    const std::u16string& text() const { return m_text; }
    // The line of the file the element starts on; 0 when unknown.
    int line() const { return m_line; }
    void setLine(int line) { m_line = line; }

    // The first child of exactly this name (case matters), or null.
    const UaXmlElement* firstChild(std::u16string_view name) const;
    // Every child of this name, in document order.
    std::vector<const UaXmlElement*> children(std::u16string_view name) const;
    const std::vector<std::unique_ptr<UaXmlElement>>& allChildren() const { return m_children; }
    // Each attribute as an element: its name and its value as text.
    const std::vector<std::unique_ptr<UaXmlElement>>& attributes() const { return m_attributes; }

    void appendText(std::u16string_view text) { m_text += text; }
    UaXmlElement* appendChild(std::unique_ptr<UaXmlElement> child);
    void appendAttribute(std::u16string name, std::u16string value);

private:
    std::u16string m_name;
    std::u16string m_text;
    int m_line = 0;
    std::vector<std::unique_ptr<UaXmlElement>> m_children;
    std::vector<std::unique_ptr<UaXmlElement>> m_attributes;
};

// The top-level elements of one file; a well-formed file has exactly one. Deleting the
// document deletes every element.
class UaXmlDocument
{
public:
    UaXmlDocument() = default;
    UaXmlDocument(const UaXmlDocument&) = delete;
    UaXmlDocument& operator=(const UaXmlDocument&) = delete;

    // The first top-level element (the document element), or null.
    const UaXmlElement* rootElement() const
    {
        return m_elements.empty() ? nullptr : m_elements.front().get();
    }
    const std::vector<std::unique_ptr<UaXmlElement>>& elements() const { return m_elements; }

    UaXmlElement* appendElement(std::unique_ptr<UaXmlElement> element);
    void clear() { m_elements.clear(); }

private:
    std::vector<std::unique_ptr<UaXmlElement>> m_elements;
};
