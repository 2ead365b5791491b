// Handlers that write every call they get into a log, for the reader tests.
#pragma once

#include <saxreader/sax.h>

#include <atomic>
#include <string>
#include <vector>

namespace saxtest
{
// Reference counting without deletion: the objects live on the test's stack, and the
// count shows whether the reader gave back every reference it took.
template <typename Interface> class Counted : public Interface
{
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        return os::queryInterface<Interface>(this, ownIid(), iid, object);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_references; }
    STDMETHODIMP_(ULONG) Release() override { return --m_references; }
    ULONG references() const { return m_references; }

protected:
    virtual REFIID ownIid() const = 0;

private:
    std::atomic<ULONG> m_references{1};
};

// One line per call; adjacent text chunks are joined into one "text" line, since where
// the parser splits text is its own business.
class RecordingContentHandler : public Counted<ISAXContentHandler>
{
public:
    std::vector<std::string> log;
    // startElement of an element with this local name answers this result.
    std::u16string failOn;
    HRESULT failWith = S_OK;
    // What the attribute interface answered to calls outside its range, per element.
    std::vector<HRESULT> outOfRangeAnswers;

    STDMETHODIMP putDocumentLocator(ISAXLocator* locator) override;
    STDMETHODIMP startDocument() override;
    STDMETHODIMP endDocument() override;
    STDMETHODIMP startPrefixMapping(const WCHAR* prefix, int prefixLength, const WCHAR* uri,
                                    int uriLength) override;
    STDMETHODIMP endPrefixMapping(const WCHAR* prefix, int prefixLength) override;
    STDMETHODIMP startElement(const WCHAR* namespaceUri, int namespaceUriLength, const WCHAR* localName,
                              int localNameLength, const WCHAR* qualifiedName, int qualifiedNameLength,
                              ISAXAttributes* attributes) override;
    STDMETHODIMP endElement(const WCHAR* namespaceUri, int namespaceUriLength, const WCHAR* localName,
                            int localNameLength, const WCHAR* qualifiedName,
                            int qualifiedNameLength) override;
    STDMETHODIMP characters(const WCHAR* chars, int length) override;
    STDMETHODIMP ignorableWhitespace(const WCHAR* chars, int length) override;
    STDMETHODIMP processingInstruction(const WCHAR* target, int targetLength, const WCHAR* data,
                                       int dataLength) override;
    STDMETHODIMP skippedEntity(const WCHAR* name, int nameLength) override;

    // The log joined with " | ".
    std::string joined() const;

protected:
    REFIID ownIid() const override { return IID_ISAXContentHandler; }

private:
    void add(const std::string& line);
    bool m_inText = false;
};

class RecordingErrorHandler : public Counted<ISAXErrorHandler>
{
public:
    struct Report
    {
        std::string kind;
        std::string message;
        HRESULT code;
        int line;
    };
    std::vector<Report> reports;
    // What every call answers; it must not change the outcome of a parse.
    HRESULT answer = S_OK;

    STDMETHODIMP error(ISAXLocator* locator, const WCHAR* message, HRESULT code) override;
    STDMETHODIMP fatalError(ISAXLocator* locator, const WCHAR* message, HRESULT code) override;
    STDMETHODIMP ignorableWarning(ISAXLocator* locator, const WCHAR* message, HRESULT code) override;

protected:
    REFIID ownIid() const override { return IID_ISAXErrorHandler; }

private:
    HRESULT record(const char* kind, ISAXLocator* locator, const WCHAR* message, HRESULT code);
};
} // namespace saxtest
