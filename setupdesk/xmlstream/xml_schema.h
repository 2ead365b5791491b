// Parsing against a schema: a table of element descriptors says which elements the
// caller wants and where their values go. Elements the table does not name are read
// over. The parse ends at the first non-zero stop code: a handler's own code, or one
// of the codes below for input the reader cannot take.
#pragma once

#include "xml_stream.h"

#include <array>
#include <cstddef>
#include <span>
#include <string>

namespace setupdesk::xml
{
// What an element descriptor does with the element's character data.
enum ValueKind : int
{
    kValueNone = 0,
    kValueHandler = 1, // the descriptor's handler gets the text
    kValueInt32 = 2,
    kValueUInt32 = 3,
    kValueFloat = 4,
    kValueDouble = 5,
    kValueBool = 6, // "True" or "true" is 1, anything else 0
    kValueText = 7, // cut to the descriptor's size, zero-terminated
    kValueEnum = 8, // the index of the equal string among the choices
    kValueNested = 9,
};

// Stop codes of the reader itself; handlers use codes of their own above these.
enum StopCode : int
{
    kStopNone = 0,
    kStopMalformed = 1, // a malformed or unexpected token, a document cut off
    kStopTooDeep = 2,   // more nested elements than node slots
    kStopTooLong = 3,   // a token or a value's text over its limit
    kStopBadValue = 4,  // a number that is none or out of range, an unknown choice
};

// Gets the text of what it describes and the caller's record; 0 reads on, anything
// else ends the parse with that code.
using ElementHandler = int (*)(const std::string& text, void* record);

struct ElementDescriptor
{
    // What it matches: an element (kTokenStartTag), or the processing instruction,
    // comment, CDATA section or document type of the element it is listed under.
    int token = kTokenStartTag;
    // The element or instruction name; a nested table without a name is searched as
    // part of the table it is in.
    const char* name = nullptr;
    int kind = kValueNone;
    // The value goes to `target` when given, else to the caller's record at `offset`.
    size_t offset = 0;
    void* target = nullptr;
    std::span<const ElementDescriptor> nested; // kValueNested: the children
    ElementHandler handler = nullptr;
    // Characters read at most; 0: the kind's own limit (40 for integers and single
    // precision, 80 for double precision and choices, the scratch buffer otherwise).
    size_t limit = 0;
    // Bytes stored: 1, 2 or 4 for booleans and choices; the buffer of a text.
    size_t size = 4;
    // Integers and single precision are held within both bounds when either is
    // non-zero; double precision within each bound that is non-zero.
    double minimum = 0;
    double maximum = 0;
    std::span<const char* const> choices;
};

class CXmlParser
{
public:
    static constexpr size_t kNodeSlots = 50;

    CXmlParser(CXmlStream& stream, std::span<const ElementDescriptor> schema, void* record);
    // Reads until a stop code is set or the document ends; the stop code, 0 when the
    // document (or the input, outside any element) ended.
    int parse();

private:
    struct Node
    {
        const ElementDescriptor* descriptor = nullptr; // null: an element not in the table
        std::span<const ElementDescriptor> children;
        std::string name;
        std::string text;
        size_t limit = 0;
        int parent = -1; // slot of the enclosing element
    };

    std::span<const ElementDescriptor> currentTable() const;
    int startElement();
    int endElement(bool checkName);
    int addText();
    int header();
    int special(int token, const char* endMarker);
    int store(const ElementDescriptor& descriptor, const std::string& text);

    CXmlStream& m_stream;
    std::span<const ElementDescriptor> m_schema;
    void* m_record;
    std::array<Node, kNodeSlots> m_slots;
    int m_current = -1; // slot of the innermost open element
    int m_used = 0;
    bool m_finished = false;
};

// Descriptors of the common shapes; the other fields keep their defaults.
ElementDescriptor nestedElement(const char* name, std::span<const ElementDescriptor> children);
ElementDescriptor handlerElement(int token, const char* name, ElementHandler handler, size_t limit = 0);
ElementDescriptor valueElement(const char* name, int kind, size_t offset, size_t size = 4);

// The descriptor of a name among a table, looking into unnamed nested tables first
// as they come; null when there is none.
const ElementDescriptor* findDescriptor(std::span<const ElementDescriptor> table, int token,
                                        const std::string& name);
} // namespace setupdesk::xml
