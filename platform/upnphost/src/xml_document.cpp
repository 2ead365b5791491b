#include "xml_document.h"

#include <libxml/parser.h>

#include <mutex>

namespace upnphost
{
namespace
{
std::string_view view(const xmlChar* text)
{
    return text ? std::string_view(reinterpret_cast<const char*>(text)) : std::string_view();
}

// Every text or CDATA below the node, in document order.
void collectText(const xmlNode* node, std::string& out)
{
    for (const xmlNode* child = node->children; child; child = child->next)
    {
        if (child->type == XML_TEXT_NODE || child->type == XML_CDATA_SECTION_NODE)
            out.append(view(child->content));
        else if (child->type == XML_ELEMENT_NODE)
            collectText(child, out);
    }
}
} // namespace

XmlDocument parseXml(std::string_view text)
{
    static std::once_flag initialised;
    std::call_once(initialised, [] { xmlInitParser(); });
    if (text.find("<!DOCTYPE") != std::string_view::npos || text.size() > static_cast<size_t>(INT32_MAX))
        return nullptr;
    xmlParserCtxtPtr context = xmlNewParserCtxt();
    if (!context)
        return nullptr;
    // Parse errors go to the caller's answer, not to the host's standard error.
    xmlDoc* document = xmlCtxtReadMemory(context, text.data(), static_cast<int>(text.size()), nullptr,
                                         nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    const bool wellFormed = context->wellFormed != 0;
    xmlFreeParserCtxt(context);
    XmlDocument result(document);
    if (!wellFormed || (result && (result->intSubset || result->extSubset)))
        return nullptr;
    return result;
}

std::vector<xmlNode*> childElements(const xmlNode* node, std::string_view name)
{
    std::vector<xmlNode*> children;
    if (!node)
        return children;
    for (xmlNode* child = node->children; child; child = child->next)
        if (child->type == XML_ELEMENT_NODE && (name.empty() || localName(child) == name))
            children.push_back(child);
    return children;
}

xmlNode* firstChild(const xmlNode* node, std::string_view name)
{
    const auto children = childElements(node, name);
    return children.empty() ? nullptr : children.front();
}

std::string_view localName(const xmlNode* node)
{
    return view(node->name);
}

std::string_view namespaceOf(const xmlNode* node)
{
    return node->ns ? view(node->ns->href) : std::string_view();
}

std::string textOf(const xmlNode* node)
{
    std::string text;
    if (node)
        collectText(node, text);
    return text;
}

std::string childText(const xmlNode* node, std::string_view name)
{
    return textOf(firstChild(node, name));
}
} // namespace upnphost
