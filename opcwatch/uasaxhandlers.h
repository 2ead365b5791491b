// The SAX handlers that build a UaXmlDocument from the platform's SAX reader.
#pragma once

#include "uaxmlelement.h"

#include <saxreader/sax.h>

#include <atomic>
#include <string>
#include <vector>

// Every content-handler call succeeds and does nothing; a handler overrides what it needs.
class SAXContentHandlerImpl : public ISAXContentHandler
{
public:
    STDMETHODIMP putDocumentLocator(ISAXLocator*) override { return S_OK; }
    STDMETHODIMP startDocument() override { return S_OK; }
    STDMETHODIMP endDocument() override { return S_OK; }
    STDMETHODIMP startPrefixMapping(const WCHAR*, int, const WCHAR*, int) override { return S_OK; }
    STDMETHODIMP endPrefixMapping(const WCHAR*, int) override { return S_OK; }
    STDMETHODIMP startElement(const WCHAR*, int, const WCHAR*, int, const WCHAR*, int,
                              ISAXAttributes*) override
    {
        return S_OK;
    }
    STDMETHODIMP endElement(const WCHAR*, int, const WCHAR*, int, const WCHAR*, int) override { return S_OK; }
    STDMETHODIMP characters(const WCHAR*, int) override { return S_OK; }
    STDMETHODIMP ignorableWhitespace(const WCHAR*, int) override { return S_OK; }
    STDMETHODIMP processingInstruction(const WCHAR*, int, const WCHAR*, int) override { return S_OK; }
    STDMETHODIMP skippedEntity(const WCHAR*, int) override { return S_OK; }

protected:
    virtual ~SAXContentHandlerImpl() = default;
};

// Fills a document (not owned) with elements, their attributes and their text; the
// last Release deletes the handler.
class CUaSAXContentHandler : public SAXContentHandlerImpl
{
public:
    explicit CUaSAXContentHandler(UaXmlDocument* document) : m_document(document) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_references; }
    STDMETHODIMP_(ULONG) Release() override;

    // Each element takes the line it starts on from the reader's position.
    STDMETHODIMP putDocumentLocator(ISAXLocator* locator) override
    {
        m_locator = locator;
        return S_OK;
    }
    STDMETHODIMP startElement(const WCHAR* namespaceUri, int namespaceUriLength, const WCHAR* localName,
                              int localNameLength, const WCHAR* qualifiedName, int qualifiedNameLength,
                              ISAXAttributes* attributes) override;
    STDMETHODIMP endElement(const WCHAR* namespaceUri, int namespaceUriLength, const WCHAR* localName,
                            int localNameLength, const WCHAR* qualifiedName,
                            int qualifiedNameLength) override;
    STDMETHODIMP characters(const WCHAR* chars, int length) override;

protected:
    ~CUaSAXContentHandler() override = default;

private:
    std::atomic<ULONG> m_references{1};
    std::vector<UaXmlElement*> m_openElements;
    UaXmlDocument* m_document;
    ISAXLocator* m_locator = nullptr; // the reader's, valid while it parses
};

// Accepts every error and warning: whether a parse fails is the reader's decision.
class SAXErrorHandlerImpl : public ISAXErrorHandler
{
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_references; }
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP error(ISAXLocator*, const WCHAR*, HRESULT) override { return S_OK; }
    STDMETHODIMP fatalError(ISAXLocator*, const WCHAR*, HRESULT) override { return S_OK; }
    STDMETHODIMP ignorableWarning(ISAXLocator*, const WCHAR*, HRESULT) override { return S_OK; }

protected:
    virtual ~SAXErrorHandlerImpl() = default;

private:
    std::atomic<ULONG> m_references{1};
};

// Where a parse failed: the reader's first fatal error with its line (0 when none came).
struct UaXmlParseError
{
    int line = 0;
    std::string message;
};

// Accepts every error like SAXErrorHandlerImpl and keeps the first fatal one in a record that
// outlives the handler.
class CUaSAXErrorRecorder : public SAXErrorHandlerImpl
{
public:
    explicit CUaSAXErrorRecorder(UaXmlParseError* record) : m_record(record) {}
    STDMETHODIMP fatalError(ISAXLocator* locator, const WCHAR* message, HRESULT) override;

private:
    UaXmlParseError* m_record;
    bool m_recorded = false;
};
