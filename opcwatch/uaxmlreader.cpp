#include "uaxmlreader.h"

#include "uasaxhandlers.h"

HRESULT parseXmlFile(UaXmlDocument& document, LPCWSTR path, UaXmlParseError* error)
{
    ISAXXMLReader* reader = nullptr;
    HRESULT result = CoCreateInstance(CLSID_SAXXMLReader, nullptr, CLSCTX_ALL, IID_ISAXXMLReader,
                                      reinterpret_cast<void**>(&reader));
    if (FAILED(result))
        return result;

    // The reader takes its own references; ours go at once.
    ISAXContentHandler* content = new CUaSAXContentHandler(&document);
    reader->putContentHandler(content);
    content->Release();
    ISAXErrorHandler* errors = new CUaSAXErrorRecorder(error);
    reader->putErrorHandler(errors);
    errors->Release();

    result = reader->parseURL(path);
    reader->Release();
    return result;
}
