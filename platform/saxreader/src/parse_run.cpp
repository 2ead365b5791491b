#include "parse_run.h"

#include <os/text.h>

#include <libxml/SAX2.h>
#include <libxml/xmlerror.h>

#include <cstring>
#include <memory>

namespace saxreader
{
namespace
{
constexpr DWORD kChunkSize = 64 * 1024;

std::u16string wide(const xmlChar* text)
{
    return text ? os::toUtf16(reinterpret_cast<const char*>(text)) : std::u16string();
}

std::u16string wide(const xmlChar* begin, const xmlChar* end)
{
    return os::toUtf16(
        std::string_view(reinterpret_cast<const char*>(begin), static_cast<size_t>(end - begin)));
}

int length(const std::u16string& text)
{
    return static_cast<int>(text.size());
}

std::u16string qualified(const xmlChar* prefix, const std::u16string& localName)
{
    return prefix ? wide(prefix) + u":" + localName : localName;
}
} // namespace

STDMETHODIMP Locator::QueryInterface(REFIID iid, void** object)
{
    return os::queryInterface<ISAXLocator>(this, IID_ISAXLocator, iid, object);
}

STDMETHODIMP Locator::getColumnNumber(int* column)
{
    if (!column)
        return E_POINTER;
    *column = m_pinnedLine ? m_pinnedColumn : (m_context ? xmlSAX2GetColumnNumber(m_context) : 0);
    return S_OK;
}

STDMETHODIMP Locator::getLineNumber(int* line)
{
    if (!line)
        return E_POINTER;
    *line = m_pinnedLine ? m_pinnedLine : (m_context ? xmlSAX2GetLineNumber(m_context) : 0);
    return S_OK;
}

void Locator::pin(int line, int column)
{
    m_pinnedLine = line;
    m_pinnedColumn = column;
}

STDMETHODIMP Attributes::QueryInterface(REFIID iid, void** object)
{
    return os::queryInterface<ISAXAttributes>(this, IID_ISAXAttributes, iid, object);
}

STDMETHODIMP Attributes::getLength(int* count)
{
    if (!count)
        return E_POINTER;
    *count = static_cast<int>(m_entries.size());
    return S_OK;
}

STDMETHODIMP Attributes::getLocalName(int index, const WCHAR** localName, int* localNameLength)
{
    return field(index, &Entry::localName, localName, localNameLength);
}

STDMETHODIMP Attributes::getValue(int index, const WCHAR** value, int* valueLength)
{
    return field(index, &Entry::value, value, valueLength);
}

HRESULT Attributes::field(int index, std::u16string Entry::*member, const WCHAR** text, int* textLength) const
{
    if (!text || !textLength)
        return E_POINTER;
    if (index < 0 || index >= static_cast<int>(m_entries.size()))
        return E_INVALIDARG;
    const std::u16string& found = m_entries[static_cast<size_t>(index)].*member;
    *text = found.c_str();
    *textLength = length(found);
    return S_OK;
}

void Attributes::assign(int count, const xmlChar** attributes)
{
    m_entries.clear();
    for (int i = 0; i < count; ++i)
    {
        const xmlChar** fields = attributes + 5 * i;
        m_entries.push_back(Entry{wide(fields[0]), wide(fields[3], fields[4])});
    }
}

ParseRun::ParseRun(ISAXContentHandler* content, ISAXErrorHandler* errors)
    : m_content(content), m_errors(errors)
{
}

HRESULT ParseRun::parseFile(const WCHAR* path)
{
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
    {
        const HRESULT code = HRESULT_FROM_WIN32(GetLastError());
        report(XML_ERR_FATAL, "cannot open the file " + os::toUtf8(path), code);
        return code;
    }
    const HRESULT result = feed(file);
    CloseHandle(file);
    return result;
}

HRESULT ParseRun::feed(HANDLE file)
{
    xmlSAXHandler sax;
    std::memset(&sax, 0, sizeof sax);
    sax.initialized = XML_SAX2_MAGIC;
    sax.startDocument = onStartDocument;
    sax.endDocument = onEndDocument;
    sax.startElementNs = onStartElement;
    sax.endElementNs = onEndElement;
    sax.characters = onCharacters;
    sax.ignorableWhitespace = onCharacters;
    sax.cdataBlock = onCharacters;
    sax.processingInstruction = onProcessingInstruction;
    sax.internalSubset = onDocumentType;
    sax.serror = onError;

    std::unique_ptr<xmlParserCtxt, void (*)(xmlParserCtxtPtr)> context(
        xmlCreatePushParserCtxt(&sax, this, nullptr, 0, nullptr), xmlFreeParserCtxt);
    if (!context)
        return E_OUTOFMEMORY;
    // Entities can be replaced safely: without a document type only the predefined ones exist.
    xmlCtxtUseOptions(context.get(), XML_PARSE_NONET | XML_PARSE_NOENT);
    m_context = context.get();
    m_locator.follow(m_context);
    if (m_content)
        check(m_content->putDocumentLocator(&m_locator));

    std::vector<char> buffer(kChunkSize);
    while (active())
    {
        DWORD read = 0;
        if (!ReadFile(file, buffer.data(), kChunkSize, &read, nullptr))
        {
            const HRESULT code = HRESULT_FROM_WIN32(GetLastError());
            report(XML_ERR_FATAL, "cannot read the file", code);
            fail(code);
            break;
        }
        xmlParseChunk(m_context, buffer.data(), static_cast<int>(read), read == 0);
        if (read == 0)
            break;
    }
    // libxml2 reports each fault it finds; this catches one it only flagged.
    if (active() && (!m_context->wellFormed || !m_context->nsWellFormed))
    {
        report(XML_ERR_FATAL, "the document is not well formed", SAX_E_NOT_WELL_FORMED);
        fail(SAX_E_NOT_WELL_FORMED);
    }
    m_locator.follow(nullptr);
    if (m_context->myDoc)
        xmlFreeDoc(m_context->myDoc);
    m_context = nullptr;
    return m_result;
}

void ParseRun::fail(HRESULT code)
{
    if (active())
        m_result = code;
    // Stopping the parser inside a callback would free the input under it; silencing
    // it is enough, and the feeding loop ends after this chunk.
    if (m_context)
        m_context->disableSAX = 1;
}

void ParseRun::check(HRESULT handlerResult)
{
    if (FAILED(handlerResult))
        fail(handlerResult);
}

void ParseRun::report(int level, const std::string& message, HRESULT code)
{
    if (!m_errors)
        return;
    const std::u16string text = os::toUtf16(message);
    // The error handler's answer never changes the outcome.
    if (level == XML_ERR_WARNING)
        m_errors->ignorableWarning(&m_locator, text.c_str(), code);
    else if (level == XML_ERR_ERROR)
        m_errors->error(&m_locator, text.c_str(), code);
    else
        m_errors->fatalError(&m_locator, text.c_str(), code);
}

void ParseRun::onStartDocument(void* user)
{
    ParseRun& run = of(user);
    if (run.active() && run.m_content)
        run.check(run.m_content->startDocument());
}

void ParseRun::onEndDocument(void* user)
{
    ParseRun& run = of(user);
    if (run.active() && run.m_content)
        run.check(run.m_content->endDocument());
}

void ParseRun::onStartElement(void* user, const xmlChar* localName, const xmlChar* prefix, const xmlChar* uri,
                              int namespaceCount, const xmlChar** namespaces, int attributeCount, int,
                              const xmlChar** attributes)
{
    ParseRun& run = of(user);
    std::vector<std::u16string>& declared = run.m_declaredPrefixes.emplace_back();
    if (!run.active() || !run.m_content)
        return;
    for (int i = 0; i < namespaceCount && run.active(); ++i)
    {
        const std::u16string declaredPrefix = wide(namespaces[2 * i]);
        const std::u16string declaredUri = wide(namespaces[2 * i + 1]);
        run.check(run.m_content->startPrefixMapping(declaredPrefix.c_str(), length(declaredPrefix),
                                                    declaredUri.c_str(), length(declaredUri)));
        declared.push_back(declaredPrefix);
    }
    if (!run.active())
        return;
    const std::u16string name = wide(localName);
    const std::u16string qualifiedName = qualified(prefix, name);
    const std::u16string namespaceUri = wide(uri);
    run.m_attributes.assign(attributeCount, attributes);
    run.check(run.m_content->startElement(namespaceUri.c_str(), length(namespaceUri), name.c_str(),
                                          length(name), qualifiedName.c_str(), length(qualifiedName),
                                          &run.m_attributes));
}

void ParseRun::onEndElement(void* user, const xmlChar* localName, const xmlChar* prefix, const xmlChar* uri)
{
    ParseRun& run = of(user);
    std::vector<std::u16string> declared;
    if (!run.m_declaredPrefixes.empty())
    {
        declared = std::move(run.m_declaredPrefixes.back());
        run.m_declaredPrefixes.pop_back();
    }
    if (!run.active() || !run.m_content)
        return;
    const std::u16string name = wide(localName);
    const std::u16string qualifiedName = qualified(prefix, name);
    const std::u16string namespaceUri = wide(uri);
    run.check(run.m_content->endElement(namespaceUri.c_str(), length(namespaceUri), name.c_str(),
                                        length(name), qualifiedName.c_str(), length(qualifiedName)));
    for (auto it = declared.rbegin(); it != declared.rend() && run.active(); ++it)
        run.check(run.m_content->endPrefixMapping(it->c_str(), length(*it)));
}

void ParseRun::onCharacters(void* user, const xmlChar* chars, int count)
{
    ParseRun& run = of(user);
    if (!run.active() || !run.m_content)
        return;
    const std::u16string text = wide(chars, chars + count);
    run.check(run.m_content->characters(text.c_str(), length(text)));
}

void ParseRun::onProcessingInstruction(void* user, const xmlChar* target, const xmlChar* data)
{
    ParseRun& run = of(user);
    if (!run.active() || !run.m_content)
        return;
    const std::u16string name = wide(target);
    const std::u16string text = wide(data);
    run.check(run.m_content->processingInstruction(name.c_str(), length(name), text.c_str(), length(text)));
}

void ParseRun::onDocumentType(void* user, const xmlChar*, const xmlChar*, const xmlChar*)
{
    ParseRun& run = of(user);
    if (!run.active())
        return;
    run.report(XML_ERR_FATAL, "document type declarations are not allowed", SAX_E_DTD_PROHIBITED);
    run.fail(SAX_E_DTD_PROHIBITED);
}

void ParseRun::onError(void* user, xmlErrorPtr error)
{
    ParseRun& run = of(user);
    if (!error || !run.active())
        return;
    std::string message = error->message ? error->message : "XML error";
    while (!message.empty() && (message.back() == '\n' || message.back() == ' '))
        message.pop_back();
    run.m_locator.pin(error->line, error->int2);
    if (error->level == XML_ERR_WARNING)
    {
        run.report(XML_ERR_WARNING, message, S_OK);
    }
    else
    {
        // Also a recoverable error (an undeclared prefix) fails: the caller gets no half-read names.
        run.report(error->level, message, SAX_E_NOT_WELL_FORMED);
        run.fail(SAX_E_NOT_WELL_FORMED);
    }
    run.m_locator.pin(0, 0);
}
} // namespace saxreader
