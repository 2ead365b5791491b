// One parsed document and the nodes taken out of it; node objects share it, so it
// lives as long as any of them.
#pragma once

#include <windows.h>

#include <libxml/tree.h>

#include <memory>
#include <string>
#include <vector>

namespace xmldom
{
class Tree
{
public:
    // An empty document (no document element).
    Tree();
    ~Tree();
    Tree(const Tree&) = delete;
    Tree& operator=(const Tree&) = delete;

    // Parses UTF-8 text (or, with fromFile, a file's bytes in the encoding they declare).
    // Empty or blank text gives an empty document. Null and *result set on failure.
    static std::shared_ptr<Tree> parse(const std::string& text, bool fromFile, HRESULT* result);

    xmlDocPtr doc() const { return m_doc; }
    // Keeps a node that belongs to no parent until the tree goes; forgets it once linked.
    void detach(xmlNodePtr node);
    void attach(xmlNodePtr node);

    // The document as text, without a declaration when the loaded one had none.
    std::string serialize() const;

private:
    xmlDocPtr m_doc = nullptr;
    std::vector<xmlNodePtr> m_detached;
    bool m_declaration = false;
};

// File access with device paths; results as HRESULTs of the file error.
HRESULT readFile(const std::u16string& path, std::string& contents);
HRESULT replaceFile(const std::u16string& path, const std::string& contents);

BSTR toBstr(const xmlChar* text);
std::string toUtf8(const OLECHAR* text);
} // namespace xmldom
