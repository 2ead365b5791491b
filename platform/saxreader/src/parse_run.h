// One parse of one file: feeds the file to libxml2's SAX2 push parser and turns its
// callbacks into calls on the reader's handlers.
#pragma once

#include <saxreader/sax.h>

#include <libxml/parser.h>

#include <atomic>
#include <string>
#include <vector>

namespace saxreader
{
// Objects the handlers see during a call; they live as long as the parse, so the
// reference count only counts.
class Locator final : public ISAXLocator
{
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_references; }
    STDMETHODIMP_(ULONG) Release() override { return --m_references; }
    STDMETHODIMP getColumnNumber(int* column) override;
    STDMETHODIMP getLineNumber(int* line) override;

    void follow(xmlParserCtxtPtr context) { m_context = context; }
    // Pins the position of an error while it is reported; 0 follows the parser again.
    void pin(int line, int column);

private:
    std::atomic<ULONG> m_references{1};
    xmlParserCtxtPtr m_context = nullptr;
    int m_pinnedLine = 0;
    int m_pinnedColumn = 0;
};

class Attributes final : public ISAXAttributes
{
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_references; }
    STDMETHODIMP_(ULONG) Release() override { return --m_references; }
    STDMETHODIMP getLength(int* length) override;
    STDMETHODIMP getLocalName(int index, const WCHAR** localName, int* localNameLength) override;
    STDMETHODIMP getValue(int index, const WCHAR** value, int* valueLength) override;

    // From libxml2's five pointers per attribute: local name, prefix, URI, value, value end.
    void assign(int count, const xmlChar** attributes);

private:
    struct Entry
    {
        std::u16string localName;
        std::u16string value;
    };
    HRESULT field(int index, std::u16string Entry::*member, const WCHAR** text, int* textLength) const;

    std::atomic<ULONG> m_references{1};
    std::vector<Entry> m_entries;
};

class ParseRun
{
public:
    // Either handler may be null; the caller keeps both alive for the run.
    ParseRun(ISAXContentHandler* content, ISAXErrorHandler* errors);
    ParseRun(const ParseRun&) = delete;
    ParseRun& operator=(const ParseRun&) = delete;

    HRESULT parseFile(const WCHAR* path);

private:
    HRESULT feed(HANDLE file);
    bool active() const { return SUCCEEDED(m_result); }
    // Keeps the first failure and silences the parser; the feeding loop then stops.
    void fail(HRESULT code);
    void check(HRESULT handlerResult);
    void report(int level, const std::string& message, HRESULT code);

    static ParseRun& of(void* user) { return *static_cast<ParseRun*>(user); }
    static void onStartDocument(void* user);
    static void onEndDocument(void* user);
    static void onStartElement(void* user, const xmlChar* localName, const xmlChar* prefix,
                               const xmlChar* uri, int namespaceCount, const xmlChar** namespaces,
                               int attributeCount, int defaultedCount, const xmlChar** attributes);
    static void onEndElement(void* user, const xmlChar* localName, const xmlChar* prefix, const xmlChar* uri);
    static void onCharacters(void* user, const xmlChar* chars, int length);
    static void onProcessingInstruction(void* user, const xmlChar* target, const xmlChar* data);
    static void onDocumentType(void* user, const xmlChar* name, const xmlChar* publicId,
                               const xmlChar* systemId);
    static void onError(void* user, xmlErrorPtr error);

    ISAXContentHandler* m_content;
    ISAXErrorHandler* m_errors;
    xmlParserCtxtPtr m_context = nullptr;
    HRESULT m_result = S_OK;
    Locator m_locator;
    Attributes m_attributes;
    // The prefixes each open element declared, ended after the element.
    std::vector<std::vector<std::u16string>> m_declaredPrefixes;
};
} // namespace saxreader
