// Reads an XML file into an element tree through the platform's SAX reader.
#pragma once

#include "uasaxhandlers.h"
#include "uaxmlelement.h"

#include <windows.h>

// Fills the document from the file; 0 on success, else the result of creating the reader
// or of the parse. After a failure the document holds what was read before it.
// Runs on the calling thread, which needs COM initialised.
// With error, the reader's first fatal error and its line are kept there.
HRESULT parseXmlFile(UaXmlDocument& document, LPCWSTR path, UaXmlParseError* error = nullptr);
