#include "uasaxhandlers.h"

#include <os/text.h>

namespace
{
// Control characters (below 32, and 127) never reach a setting; blanks stay.
bool isKept(WCHAR c)
{
    return c >= 32 && c != 127;
}
} // namespace

STDMETHODIMP CUaSAXContentHandler::QueryInterface(REFIID iid, void** object)
{
    return os::queryInterface<ISAXContentHandler>(this, IID_ISAXContentHandler, iid, object);
}

STDMETHODIMP_(ULONG) CUaSAXContentHandler::Release()
{
    const ULONG left = --m_references;
    if (left == 0)
        delete this;
    return left;
}

STDMETHODIMP CUaSAXContentHandler::startElement(const WCHAR*, int, const WCHAR* localName,
                                                int localNameLength, const WCHAR*, int,
                                                ISAXAttributes* attributes)
{
    auto element =
        std::make_unique<UaXmlElement>(std::u16string(localName, static_cast<size_t>(localNameLength)));
    int count = 0;
    if (attributes && SUCCEEDED(attributes->getLength(&count)))
    {
        for (int i = 0; i < count; ++i)
        {
            const WCHAR* name = nullptr;
            const WCHAR* value = nullptr;
            int nameLength = 0;
            int valueLength = 0;
            if (FAILED(attributes->getLocalName(i, &name, &nameLength)) ||
                FAILED(attributes->getValue(i, &value, &valueLength)))
                continue;
            element->appendAttribute(std::u16string(name, static_cast<size_t>(nameLength)),
                                     std::u16string(value, static_cast<size_t>(valueLength)));
        }
    }
    int line = 0;
    if (m_locator && SUCCEEDED(m_locator->getLineNumber(&line)))
        element->setLine(line);
    UaXmlElement* added = m_openElements.empty() ? m_document->appendElement(std::move(element))
                                                 : m_openElements.back()->appendChild(std::move(element));
    m_openElements.push_back(added);
    return S_OK;
}

STDMETHODIMP CUaSAXContentHandler::endElement(const WCHAR*, int, const WCHAR*, int, const WCHAR*, int)
{
    if (!m_openElements.empty())
        m_openElements.pop_back();
    return S_OK;
}

STDMETHODIMP CUaSAXContentHandler::characters(const WCHAR* chars, int length)
{
    if (m_openElements.empty() || !chars)
        return S_OK;
    std::u16string kept;
    kept.reserve(static_cast<size_t>(length));
    for (int i = 0; i < length; ++i)
        if (isKept(chars[i]))
            kept.push_back(chars[i]);
    m_openElements.back()->appendText(kept);
    return S_OK;
}

STDMETHODIMP SAXErrorHandlerImpl::QueryInterface(REFIID iid, void** object)
{
    return os::queryInterface<ISAXErrorHandler>(this, IID_ISAXErrorHandler, iid, object);
}

STDMETHODIMP_(ULONG) SAXErrorHandlerImpl::Release()
{
    const ULONG left = --m_references;
    if (left == 0)
        delete this;
    return left;
}

STDMETHODIMP CUaSAXErrorRecorder::fatalError(ISAXLocator* locator, const WCHAR* message, HRESULT)
{
    if (m_recorded || !m_record)
        return S_OK;
    m_recorded = true;
    int line = 0;
    if (locator && SUCCEEDED(locator->getLineNumber(&line)))
        m_record->line = line;
    m_record->message = message ? os::toUtf8(message) : std::string();
    return S_OK;
}
