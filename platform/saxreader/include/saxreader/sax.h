// The platform's SAX reader: a COM class (libsaxreader.so) that reads an XML file and
// reports its content to the caller's handlers. Programs create it with
// CoCreateInstance(CLSID_SAXXMLReader, ..., IID_ISAXXMLReader, ...) once COM is initialised.
//
// What the reader does:
// - Names are reported as local names (namespace URI and qualified name beside them);
//   namespace declarations are reported as prefix mappings, not as attributes.
// - Text arrives through characters(), possibly in several chunks; CDATA sections too.
// - parseURL takes a file path; device paths resolve as in every other file call
//   (os/deviceroot.h). Nothing is fetched from a network.
// - A document that is not well formed (or not namespace-well-formed) fails the parse,
//   whatever the error handler returns; the error handler hears of the failure first.
// - Document type declarations are refused, so no entity other than the predefined five
//   and character references can occur, and no external file is ever read.
// - A content handler that returns a failure stops the parse with that result.
// Strings passed to handlers are valid during the call only; lengths are in characters.
#pragma once

#include <windows.h>

extern const CLSID CLSID_SAXXMLReader;
extern const IID IID_ISAXXMLReader;
extern const IID IID_ISAXContentHandler;
extern const IID IID_ISAXErrorHandler;
extern const IID IID_ISAXAttributes;
extern const IID IID_ISAXLocator;

#ifndef FACILITY_ITF
#define FACILITY_ITF 4
#endif
// The document is not (namespace-)well formed.
#define SAX_E_NOT_WELL_FORMED MAKE_HRESULT(1, FACILITY_ITF, 0xE101)
// The document has a document type declaration.
#define SAX_E_DTD_PROHIBITED MAKE_HRESULT(1, FACILITY_ITF, 0xE102)
// A file that cannot be opened or read fails with HRESULT_FROM_WIN32 of the file error.

// The position the reader has reached, during a handler call.
struct ISAXLocator : public IUnknown
{
    STDMETHOD(getColumnNumber)(int* column) PURE;
    STDMETHOD(getLineNumber)(int* line) PURE;

protected:
    ~ISAXLocator() = default;
};

// The attributes of one element, in document order, during startElement only.
struct ISAXAttributes : public IUnknown
{
    STDMETHOD(getLength)(int* length) PURE;
    // E_INVALIDARG for an index out of range, E_POINTER for a null output.
    STDMETHOD(getLocalName)(int index, const WCHAR** localName, int* localNameLength) PURE;
    STDMETHOD(getValue)(int index, const WCHAR** value, int* valueLength) PURE;

protected:
    ~ISAXAttributes() = default;
};

struct ISAXContentHandler : public IUnknown
{
    STDMETHOD(putDocumentLocator)(ISAXLocator* locator) PURE;
    STDMETHOD(startDocument)() PURE;
    STDMETHOD(endDocument)() PURE;
    STDMETHOD(startPrefixMapping)
    (const WCHAR* prefix, int prefixLength, const WCHAR* uri, int uriLength) PURE;
    STDMETHOD(endPrefixMapping)(const WCHAR* prefix, int prefixLength) PURE;
    STDMETHOD(startElement)
    (const WCHAR* namespaceUri, int namespaceUriLength, const WCHAR* localName, int localNameLength,
     const WCHAR* qualifiedName, int qualifiedNameLength, ISAXAttributes* attributes) PURE;
    STDMETHOD(endElement)
    (const WCHAR* namespaceUri, int namespaceUriLength, const WCHAR* localName, int localNameLength,
     const WCHAR* qualifiedName, int qualifiedNameLength) PURE;
    STDMETHOD(characters)(const WCHAR* chars, int length) PURE;
    STDMETHOD(ignorableWhitespace)(const WCHAR* chars, int length) PURE;
    STDMETHOD(processingInstruction)
    (const WCHAR* target, int targetLength, const WCHAR* data, int dataLength) PURE;
    STDMETHOD(skippedEntity)(const WCHAR* name, int nameLength) PURE;

protected:
    ~ISAXContentHandler() = default;
};

// The message is a readable text; the code is the result the parse will return (S_OK
// with a warning, which does not stop the parse).
struct ISAXErrorHandler : public IUnknown
{
    STDMETHOD(error)(ISAXLocator* locator, const WCHAR* message, HRESULT code) PURE;
    STDMETHOD(fatalError)(ISAXLocator* locator, const WCHAR* message, HRESULT code) PURE;
    STDMETHOD(ignorableWarning)(ISAXLocator* locator, const WCHAR* message, HRESULT code) PURE;

protected:
    ~ISAXErrorHandler() = default;
};

// The reader holds a reference on each handler until it is replaced or the reader goes.
struct ISAXXMLReader : public IUnknown
{
    STDMETHOD(putContentHandler)(ISAXContentHandler* handler) PURE;
    STDMETHOD(putErrorHandler)(ISAXErrorHandler* handler) PURE;
    STDMETHOD(parseURL)(const WCHAR* url) PURE;

protected:
    ~ISAXXMLReader() = default;
};
