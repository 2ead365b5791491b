// The platform's XML document object: a COM class (libxmldom.so) that loads an XML file
// into a tree, finds nodes by path, reads and replaces their text, appends and removes
// elements, and saves the tree again. Programs create it with
// CoCreateInstance(CLSID_XmlDocument, nullptr, CLSCTX_INPROC_SERVER, IID_IXmlDocument, ...)
// once COM is initialised.
//
// - Paths are XPath expressions evaluated from the node they are asked of; from the
//   document, "Root/Child" names the root element first.
// - load takes a file path (device paths resolve as in every other file call). A file that
//   is empty or holds only blanks loads as an empty document (no document element); a
//   document type declaration is refused as malformed, so no entity is ever expanded and
//   nothing outside the file is read.
// - Blanks between elements are kept as text nodes, so a saved file differs from the one
//   loaded only where the tree was changed (and by an XML declaration that the file had).
// - save writes a temporary file beside the target, flushes it to the disk and renames it
//   over the target: the target is either the old file or the new one, never a part.
// - Strings handed out are BSTRs the caller frees with SysFreeString; strings handed in
//   are terminated UTF-16 texts.
#pragma once

#include <windows.h>

extern const CLSID CLSID_XmlDocument;
extern const IID IID_IXmlNode;
extern const IID IID_IXmlNodeList;
extern const IID IID_IXmlDocument;

#ifndef FACILITY_ITF
#define FACILITY_ITF 4
#endif
// The text is not a well-formed document (or has a document type declaration).
#define XMLDOM_E_MALFORMED MAKE_HRESULT(1, FACILITY_ITF, 0xE201)
// The path is no valid expression.
#define XMLDOM_E_BAD_PATH MAKE_HRESULT(1, FACILITY_ITF, 0xE202)
// A file that cannot be read or written fails with HRESULT_FROM_WIN32 of the file error.

struct IXmlNodeList;

struct IXmlNode : public IUnknown
{
    // The element's name; "#document" for the document, "#text" for text.
    STDMETHOD(get_nodeName)(BSTR* name) PURE;
    // The text of the node and everything below it, joined.
    STDMETHOD(get_text)(BSTR* text) PURE;
    // Replaces what the node holds with one text.
    STDMETHOD(put_text)(const OLECHAR* text) PURE;
    // S_FALSE and null for the document and for a node that was removed.
    STDMETHOD(get_parentNode)(IXmlNode** parent) PURE;
    // Every node the path finds, in document order (an empty list when none).
    STDMETHOD(selectNodes)(const OLECHAR* path, IXmlNodeList** nodes) PURE;
    // The first node the path finds; S_FALSE and null when none.
    STDMETHOD(selectSingleNode)(const OLECHAR* path, IXmlNode** node) PURE;
    // Appends the child as the last one; a node of another document is copied in and the
    // copy is appended. *added (when asked for) is the node that now is the child.
    STDMETHOD(appendChild)(IXmlNode* child, IXmlNode** added) PURE;
    // E_INVALIDARG when the node is no child of this one.
    STDMETHOD(removeChild)(IXmlNode* child) PURE;

protected:
    ~IXmlNode() = default;
};

struct IXmlNodeList : public IUnknown
{
    STDMETHOD(get_length)(LONG* length) PURE;
    // E_INVALIDARG for an index out of range.
    STDMETHOD(get_item)(LONG index, IXmlNode** node) PURE;

protected:
    ~IXmlNodeList() = default;
};

struct IXmlDocument : public IXmlNode
{
    // Replaces the tree with the file's; on failure the tree stays as it was.
    STDMETHOD(load)(const OLECHAR* path) PURE;
    // Replaces the tree with the text's; on failure the tree stays as it was.
    STDMETHOD(loadXML)(const OLECHAR* text) PURE;
    // S_FALSE and null for an empty document.
    STDMETHOD(get_documentElement)(IXmlNode** root) PURE;
    // A new element of this document that is no one's child yet.
    STDMETHOD(createElement)(const OLECHAR* name, IXmlNode** element) PURE;
    // Writes the tree to the file (see above); E_UNEXPECTED for an empty document.
    STDMETHOD(save)(const OLECHAR* path) PURE;

protected:
    ~IXmlDocument() = default;
};
