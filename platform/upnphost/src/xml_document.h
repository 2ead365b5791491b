// Parsing of the XML the host reads (descriptions, control requests) with libxml2.
#pragma once

#include <libxml/tree.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace upnphost
{
struct XmlDocumentFree
{
    void operator()(xmlDoc* document) const { xmlFreeDoc(document); }
};
using XmlDocument = std::unique_ptr<xmlDoc, XmlDocumentFree>;

// A well-formed document, or null. A document type declaration is refused outright, so
// no entity beyond the predefined ones exists and nothing is fetched.
XmlDocument parseXml(std::string_view text);

// The element children of a node, all or those of one local name.
std::vector<xmlNode*> childElements(const xmlNode* node, std::string_view localName = {});
xmlNode* firstChild(const xmlNode* node, std::string_view localName);
// The local name and namespace of an element ("" without one).
std::string_view localName(const xmlNode* node);
std::string_view namespaceOf(const xmlNode* node);
// The text content of an element, entities and character references resolved.
std::string textOf(const xmlNode* node);
// The text of the first child of that name, "" without one.
std::string childText(const xmlNode* node, std::string_view localName);
} // namespace upnphost
