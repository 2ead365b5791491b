#include "memory_source.h"

#include <xml_schema.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace setupdesk::xml;
using setupdesk::xml::testing::MemorySource;

namespace
{
int parseText(const std::string& text, std::span<const ElementDescriptor> schema, void* record,
              size_t block = 64)
{
    MemorySource source(text, block);
    CXmlStream stream(source.callback());
    CXmlParser parser(stream, schema, record);
    return parser.parse();
}

// ---- value kinds --------------------------------------------------------------

struct Record
{
    uint8_t guard1[8];
    union
    {
        int32_t i;
        uint32_t u;
        float f;
        double d;
        char text[8];
        uint8_t bytes[8];
    } value;
    uint8_t guard2[8];
};

struct KindCase
{
    const char* name;
    int kind;
    double minimum;
    double maximum;
    size_t size;
    const char* text;
    int stop;
    std::vector<uint8_t> stored; // the first bytes of the value after the parse
};

std::vector<uint8_t> bytesOf(const void* data, size_t size)
{
    const auto* p = static_cast<const uint8_t*>(data);
    return std::vector<uint8_t>(p, p + size);
}

template <class T> std::vector<uint8_t> bytesOf(T value)
{
    return bytesOf(&value, sizeof value);
}

const char* const kChoices[] = {"Off", "On", "Auto"};

TEST(XmlSchema, ValueKindsWithTheirBounds)
{
    const std::string forty(40, '1');
    const std::vector<uint8_t> untouched(8, 0xEE);
    const KindCase cases[] = {
        {"int", kValueInt32, 0, 0, 4, "-17", kStopNone, bytesOf<int32_t>(-17)},
        {"int with blanks", kValueInt32, 0, 0, 4, " \n 42\t", kStopNone, bytesOf<int32_t>(42)},
        {"int under the minimum", kValueInt32, -5, 10, 4, "-6", kStopNone, bytesOf<int32_t>(-5)},
        {"int over the maximum", kValueInt32, -5, 10, 4, "11", kStopNone, bytesOf<int32_t>(10)},
        {"int, a maximum alone holds both", kValueInt32, 0, 10, 4, "-3", kStopNone, bytesOf<int32_t>(0)},
        {"int, no bounds", kValueInt32, 0, 0, 4, "-2147483648", kStopNone, bytesOf<int32_t>(INT32_MIN)},
        {"int out of range", kValueInt32, 0, 0, 4, "2147483648", kStopBadValue, untouched},
        {"int of 40 digits", kValueInt32, 0, 0, 4, forty.c_str(), kStopBadValue, untouched},
        {"int no number", kValueInt32, 0, 0, 4, "12a", kStopBadValue, untouched},
        {"int empty", kValueInt32, 0, 0, 4, "", kStopBadValue, untouched},
        {"uint", kValueUInt32, 0, 0, 4, "4294967295", kStopNone, bytesOf<uint32_t>(4294967295u)},
        {"uint negative", kValueUInt32, 0, 0, 4, "-1", kStopBadValue, untouched},
        {"uint over the maximum", kValueUInt32, 100, 200, 4, "300", kStopNone, bytesOf<uint32_t>(200)},
        {"uint too big", kValueUInt32, 0, 0, 4, "4294967296", kStopBadValue, untouched},
        {"float", kValueFloat, 0, 0, 4, "1.5", kStopNone, bytesOf<float>(1.5f)},
        {"float, a maximum alone holds both", kValueFloat, 0, 2, 4, "-0.5", kStopNone, bytesOf<float>(0.0f)},
        {"float over its range", kValueFloat, 0, 0, 4, "1e300", kStopBadValue, untouched},
        {"double", kValueDouble, 0, 0, 8, "2.25e3", kStopNone, bytesOf<double>(2250.0)},
        {"double, a maximum alone", kValueDouble, 0, 2, 8, "-0.5", kStopNone, bytesOf<double>(-0.5)},
        {"double over the maximum", kValueDouble, 0, 2, 8, "3", kStopNone, bytesOf<double>(2.0)},
        {"double under a minimum alone", kValueDouble, 1, 0, 8, "0.5", kStopNone, bytesOf<double>(1.0)},
        {"double no number", kValueDouble, 0, 0, 8, "nan", kStopBadValue, untouched},
        {"bool True in 1 byte", kValueBool, 0, 0, 1, "True", kStopNone, {1, 0xEE}},
        {"bool true in 2 bytes", kValueBool, 0, 0, 2, "true", kStopNone, {1, 0, 0xEE}},
        {"bool TRUE is 0", kValueBool, 0, 0, 4, "TRUE", kStopNone, {0, 0, 0, 0, 0xEE}},
        {"bool 1 is 0", kValueBool, 0, 0, 4, "1", kStopNone, {0, 0, 0, 0, 0xEE}},
        {"text", kValueText, 0, 0, 8, "abc", kStopNone, {'a', 'b', 'c', 0, 0xEE}},
        {"text cut to its size", kValueText, 0, 0, 4, "abcdef", kStopNone, {'a', 'b', 'c', 0, 0xEE}},
        {"text keeps blanks", kValueText, 0, 0, 8, " a ", kStopNone, {' ', 'a', ' ', 0, 0xEE}},
        {"choice in 1 byte", kValueEnum, 0, 0, 1, "Auto", kStopNone, {2, 0xEE}},
        {"choice in 2 bytes", kValueEnum, 0, 0, 2, "On", kStopNone, {1, 0, 0xEE}},
        {"choice unknown", kValueEnum, 0, 0, 4, "on", kStopBadValue, untouched},
    };
    for (const auto& row : cases)
    {
        Record record;
        std::memset(&record, 0xEE, sizeof record);
        ElementDescriptor value;
        value.name = "v";
        value.kind = row.kind;
        value.offset = offsetof(Record, value);
        value.minimum = row.minimum;
        value.maximum = row.maximum;
        value.size = row.size;
        value.choices = kChoices;
        const ElementDescriptor root[] = {nestedElement("r", {&value, 1})};
        const std::string document = std::string("<r><v>") + row.text + "</v></r>";
        EXPECT_EQ(parseText(document, root, &record), row.stop) << row.name;
        EXPECT_EQ(bytesOf(&record.value, row.stored.size()), row.stored) << row.name;
        EXPECT_EQ(bytesOf(record.guard1, 8), untouched) << row.name;
        EXPECT_EQ(bytesOf(record.guard2, 8), untouched) << row.name;
    }
}

TEST(XmlSchema, OwnTargetTakesTheValueInsteadOfTheRecord)
{
    int32_t own = 0;
    Record record;
    std::memset(&record, 0, sizeof record);
    ElementDescriptor children[] = {valueElement("a", kValueInt32, offsetof(Record, value))};
    children[0].target = &own;
    const ElementDescriptor root[] = {nestedElement("r", children)};
    EXPECT_EQ(parseText("<r><a>7</a></r>", root, &record), kStopNone);
    EXPECT_EQ(own, 7);
    EXPECT_EQ(record.value.i, 0);
}

// ---- document structure ---------------------------------------------------------

struct Calls
{
    std::vector<std::string> texts;
};

int keep(const std::string& text, void* record)
{
    static_cast<Calls*>(record)->texts.push_back(text);
    return kStopNone;
}

int stopWith77(const std::string& text, void* record)
{
    keep(text, record);
    return 77;
}

TEST(XmlSchema, DocumentsEndWithTheirStopCode)
{
    const ElementDescriptor inner[] = {
        handlerElement(kTokenStartTag, "t", keep),
        handlerElement(kTokenCommentStart, nullptr, keep),
    };
    const ElementDescriptor group[] = {nestedElement("g", inner)};
    const ElementDescriptor children[] = {
        nestedElement(nullptr, group), // searched as part of this table
        handlerElement(kTokenStartTag, "t", stopWith77),
        handlerElement(kTokenPiStart, "note", keep),
        handlerElement(kTokenCdataStart, nullptr, keep),
    };
    const ElementDescriptor withDoctype[] = {
        nestedElement("r", children),
        handlerElement(kTokenDoctype, nullptr, stopWith77),
    };
    const ElementDescriptor root[] = {nestedElement("r", children)};
    struct Case
    {
        const char* name;
        std::string document;
        std::span<const ElementDescriptor> schema;
        int stop;
        std::vector<std::string> texts;
    };
    const Case cases[] = {
        {"declaration, nested group, comment",
         "<?xml version=\"1.0\" encoding='UTF-8' ?>\r\n<r><g><t>a b\r\n</t><!-- c --></g></r>",
         root,
         kStopNone,
         {"a b\r\n", " c "}},
        {"handler stops", "<r><t>x</t><g><t>never</t></g></r>", root, 77, {"x"}},
        {"unknown elements are read over",
         "<r><u a='1'><t>not mine</t><v/></u><g><t>y</t></g></r>",
         root,
         kStopNone,
         {"y"}},
        {"instruction and CDATA go to their handlers",
         "<r><?note keep this?><![CDATA[<raw>]]></r>",
         root,
         kStopNone,
         {" keep this", "<raw>"}},
        {"other instructions and comments are skipped", "<r><?other x?><!-- y --></r>", root, kStopNone, {}},
        {"the outermost end tag ends the document", "<r></r><t>after</t>", root, kStopNone, {}},
        {"input ending outside any element", "  \n", root, kStopNone, {}},
        {"document cut off", "<r><g>", root, kStopMalformed, {}},
        {"end tag of another element", "<r><g></r>", root, kStopMalformed, {}},
        {"end tag with nothing open", "</r>", root, kStopMalformed, {}},
        {"bad declaration", "<?xml version=1?><r/>", root, kStopMalformed, {}},
        {"declaration followed by text", "<?xml version=\"1\" x><r/>", root, kStopMalformed, {}},
        {"document type without a handler", "<!DOCTYPE r><r/>", root, kStopMalformed, {}},
        {"document type with a handler", "<!DOCTYPE r []><r><t>never</t></r>", withDoctype, 77, {" r []"}},
        {"unclosed comment", "<r><!-- x", root, kStopMalformed, {}},
    };
    for (const auto& row : cases)
    {
        for (const size_t block : {size_t{1}, size_t{5}, size_t{2048}})
        {
            Calls calls;
            EXPECT_EQ(parseText(row.document, row.schema, &calls, block), row.stop) << row.name;
            EXPECT_EQ(calls.texts, row.texts) << row.name;
        }
    }
}

TEST(XmlSchema, LimitsEndWithAStopCodeAndWriteNothingBeyond)
{
    int32_t number = 5;
    char text[16];
    std::memset(text, 0x55, sizeof text);
    ElementDescriptor children[] = {
        valueElement("n", kValueInt32, 0),
        valueElement("s", kValueText, 0, 8),
        handlerElement(kTokenStartTag, "h", keep, 10),
    };
    children[0].target = &number;
    children[1].target = text;
    const ElementDescriptor root[] = {nestedElement("r", children)};

    std::string deep;
    for (int i = 0; i < 51; ++i)
        deep += "<r>";
    std::string fifty;
    for (int i = 0; i < 50; ++i)
        fifty += "<r>";
    for (int i = 0; i < 50; ++i)
        fifty += "</r>";

    struct Case
    {
        const char* name;
        std::string document;
        int stop;
    };
    const Case cases[] = {
        {"51 nested elements", deep, kStopTooDeep},
        {"50 nested elements", fifty, kStopNone},
        {"a 3000-byte text", "<r><s>" + std::string(3000, 'x') + "</s></r>", kStopTooLong},
        {"a 50-digit number", "<r><n>" + std::string(50, '9') + "</n></r>", kStopTooLong},
        {"a 41-character number", "<r><n>" + std::string(41, '1') + "</n></r>", kStopTooLong},
        {"a handler text over its limit", "<r><h>" + std::string(11, 'h') + "</h></r>", kStopTooLong},
        {"text over the limit in pieces", "<r><h>12345\n67890\n</h></r>", kStopTooLong},
        {"a 3000-byte comment for a handler", "<r><!--" + std::string(3000, 'c') + "--></r>", kStopNone},
    };
    for (const auto& row : cases)
    {
        Calls calls;
        number = 5;
        EXPECT_EQ(parseText(row.document, root, &calls), row.stop) << row.name;
        EXPECT_EQ(number, 5) << row.name;
        EXPECT_TRUE(calls.texts.empty()) << row.name;
        EXPECT_EQ(static_cast<unsigned char>(text[0]), 0x55) << row.name;
    }
}

// ---- the boot project path ---------------------------------------------------------

int serviceFound(const std::string& text, void* record)
{
    *static_cast<std::string*>(record) = text;
    return text == "QbCOMPORTCONNECTION" ? 100 : kStopNone;
}

TEST(XmlSchema, FindsAServiceNameAlongItsPath)
{
    const ElementDescriptor driver[] = {handlerElement(kTokenStartTag, "ServiceName", serviceFound)};
    const ElementDescriptor drivers[] = {nestedElement("Driver", driver)};
    const ElementDescriptor project[] = {nestedElement("Drivers", drivers)};
    const ElementDescriptor schema[] = {nestedElement("QbBootProject", project)};

    const std::string addInits =
        "<QbBootProject><Drivers><Driver><Type>1</Type><ServiceName>QbCOMPORTCONNECTION"
        "</ServiceName></Driver></Drivers><InitCmds/></QbBootProject>\r\n";
    const std::string defaultConfig = R"(<?xml version="1.0" encoding="utf-8"?>
<!-- boot project of the run-time system -->
<QbBootProject>
	<Target Name="Device">
		<ServiceName>QbCOMPORTCONNECTION</ServiceName>
	</Target>
	<Drivers>
		<Driver>
			<Type>1</Type>
			<ServiceName>QbIOMANAGER</ServiceName>
		</Driver>
		<Driver><Type>1</Type><ServiceName>QbCOMPORTCONNECTION</ServiceName></Driver>
	</Drivers>
</QbBootProject>
)";
    const std::string elsewhere = R"(<QbBootProject>
  <Services><Driver><ServiceName>QbCOMPORTCONNECTION</ServiceName></Driver></Services>
  <Drivers><Driver><ServiceName>QbIOMANAGER</ServiceName></Driver></Drivers>
</QbBootProject>)";
    struct Case
    {
        const char* name;
        const std::string& document;
        int stop;
        const char* lastSeen;
    };
    const Case cases[] = {
        {"AddInits", addInits, 100, "QbCOMPORTCONNECTION"},
        {"DefaultConfig", defaultConfig, 100, "QbCOMPORTCONNECTION"},
        {"only off the path", elsewhere, kStopNone, "QbIOMANAGER"},
    };
    for (const auto& row : cases)
    {
        std::string seen;
        EXPECT_EQ(parseText(row.document, schema, &seen, 3), row.stop) << row.name;
        EXPECT_EQ(seen, row.lastSeen) << row.name;
    }
}
} // namespace
