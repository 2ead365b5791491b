#include "recording_handlers.h"

#include <os/text.h>

namespace saxtest
{
namespace
{
std::string text(const WCHAR* chars, int length)
{
    return os::toUtf8(std::u16string_view(chars, static_cast<size_t>(length)));
}
} // namespace

void RecordingContentHandler::add(const std::string& line)
{
    m_inText = false;
    log.push_back(line);
}

STDMETHODIMP RecordingContentHandler::putDocumentLocator(ISAXLocator* locator)
{
    add(locator ? "locator" : "locator null");
    return S_OK;
}

STDMETHODIMP RecordingContentHandler::startDocument()
{
    add("start-document");
    return S_OK;
}

STDMETHODIMP RecordingContentHandler::endDocument()
{
    add("end-document");
    return S_OK;
}

STDMETHODIMP RecordingContentHandler::startPrefixMapping(const WCHAR* prefix, int prefixLength,
                                                         const WCHAR* uri, int uriLength)
{
    add("prefix " + text(prefix, prefixLength) + "=" + text(uri, uriLength));
    return S_OK;
}

STDMETHODIMP RecordingContentHandler::endPrefixMapping(const WCHAR* prefix, int prefixLength)
{
    add("end-prefix " + text(prefix, prefixLength));
    return S_OK;
}

STDMETHODIMP RecordingContentHandler::startElement(const WCHAR* namespaceUri, int namespaceUriLength,
                                                   const WCHAR* localName, int localNameLength,
                                                   const WCHAR* qualifiedName, int qualifiedNameLength,
                                                   ISAXAttributes* attributes)
{
    std::string line = "start " + text(localName, localNameLength);
    if (namespaceUriLength > 0 || qualifiedNameLength != localNameLength)
        line += " (" + text(namespaceUri, namespaceUriLength) + " " +
                text(qualifiedName, qualifiedNameLength) + ")";
    int count = 0;
    attributes->getLength(&count);
    for (int i = 0; i < count; ++i)
    {
        const WCHAR* name = nullptr;
        const WCHAR* value = nullptr;
        int nameLength = 0;
        int valueLength = 0;
        attributes->getLocalName(i, &name, &nameLength);
        attributes->getValue(i, &value, &valueLength);
        line += " " + text(name, nameLength) + "=\"" + text(value, valueLength) + "\"";
    }
    const WCHAR* unused = nullptr;
    int unusedLength = 0;
    outOfRangeAnswers.push_back(attributes->getLocalName(count, &unused, &unusedLength));
    outOfRangeAnswers.push_back(attributes->getValue(-1, &unused, &unusedLength));
    outOfRangeAnswers.push_back(attributes->getValue(0, nullptr, &unusedLength));
    add(line);
    if (!failOn.empty() && failOn == std::u16string_view(localName, static_cast<size_t>(localNameLength)))
        return failWith;
    return S_OK;
}

STDMETHODIMP RecordingContentHandler::endElement(const WCHAR*, int, const WCHAR* localName,
                                                 int localNameLength, const WCHAR*, int)
{
    add("end " + text(localName, localNameLength));
    return S_OK;
}

STDMETHODIMP RecordingContentHandler::characters(const WCHAR* chars, int length)
{
    if (m_inText)
    {
        log.back() += text(chars, length);
    }
    else
    {
        log.push_back("text " + text(chars, length));
        m_inText = true;
    }
    return S_OK;
}

STDMETHODIMP RecordingContentHandler::ignorableWhitespace(const WCHAR* chars, int length)
{
    add("whitespace " + text(chars, length));
    return S_OK;
}

STDMETHODIMP RecordingContentHandler::processingInstruction(const WCHAR* target, int targetLength,
                                                            const WCHAR* data, int dataLength)
{
    add("pi " + text(target, targetLength) + " " + text(data, dataLength));
    return S_OK;
}

STDMETHODIMP RecordingContentHandler::skippedEntity(const WCHAR* name, int nameLength)
{
    add("skipped " + text(name, nameLength));
    return S_OK;
}

std::string RecordingContentHandler::joined() const
{
    std::string all;
    for (const std::string& line : log)
        all += (all.empty() ? "" : " | ") + line;
    return all;
}

HRESULT RecordingErrorHandler::record(const char* kind, ISAXLocator* locator, const WCHAR* message,
                                      HRESULT code)
{
    int line = -1;
    if (locator)
        locator->getLineNumber(&line);
    reports.push_back(Report{kind, os::toUtf8(message), code, line});
    return answer;
}

STDMETHODIMP RecordingErrorHandler::error(ISAXLocator* locator, const WCHAR* message, HRESULT code)
{
    return record("error", locator, message, code);
}

STDMETHODIMP RecordingErrorHandler::fatalError(ISAXLocator* locator, const WCHAR* message, HRESULT code)
{
    return record("fatal", locator, message, code);
}

STDMETHODIMP RecordingErrorHandler::ignorableWarning(ISAXLocator* locator, const WCHAR* message, HRESULT code)
{
    return record("warning", locator, message, code);
}
} // namespace saxtest
