// The SAX reader class: holds the handlers and runs one parse per parseURL call.
#include "parse_run.h"

#include <libxml/parser.h>

#include <atomic>

namespace
{
class SaxXmlReader final : public ISAXXMLReader
{
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        return os::queryInterface<ISAXXMLReader>(this, IID_ISAXXMLReader, iid, object);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_references; }
    STDMETHODIMP_(ULONG) Release() override
    {
        const ULONG left = --m_references;
        if (left == 0)
            delete this;
        return left;
    }

    STDMETHODIMP putContentHandler(ISAXContentHandler* handler) override { return hold(m_content, handler); }
    STDMETHODIMP putErrorHandler(ISAXErrorHandler* handler) override { return hold(m_errors, handler); }

    STDMETHODIMP parseURL(const WCHAR* url) override
    {
        if (!url)
            return E_POINTER;
        // The run keeps its own references, so a handler that replaces itself mid-parse stays alive.
        ISAXContentHandler* content = m_content;
        ISAXErrorHandler* errors = m_errors;
        if (content)
            content->AddRef();
        if (errors)
            errors->AddRef();
        saxreader::ParseRun run(content, errors);
        const HRESULT result = run.parseFile(url);
        if (content)
            content->Release();
        if (errors)
            errors->Release();
        return result;
    }

private:
    ~SaxXmlReader()
    {
        hold(m_content, static_cast<ISAXContentHandler*>(nullptr));
        hold(m_errors, static_cast<ISAXErrorHandler*>(nullptr));
    }

    template <typename Handler> static HRESULT hold(Handler*& slot, Handler* handler)
    {
        if (handler)
            handler->AddRef();
        if (slot)
            slot->Release();
        slot = handler;
        return S_OK;
    }

    std::atomic<ULONG> m_references{1};
    ISAXContentHandler* m_content = nullptr;
    ISAXErrorHandler* m_errors = nullptr;
};

// The class exists once the library is loaded, as for every class of the device's COM.
struct Registration
{
    Registration()
    {
        // libxml2's global set-up is not safe to race, so it happens here, once, at load.
        xmlInitParser();
        os::registerClass(CLSID_SAXXMLReader, os::createObject<SaxXmlReader>);
    }
    ~Registration() { os::unregisterClass(CLSID_SAXXMLReader); }
} g_registration;
} // namespace
