// The SAX reader through COM: what handlers hear for well-formed documents, and that
// every faulty one fails whatever the error handler answers.
#include "recording_handlers.h"
#include "test_support.h"

#include <saxreader/sax.h>

#include <os/text.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace
{
using saxtest::RecordingContentHandler;
using saxtest::RecordingErrorHandler;

class SaxReaderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        ASSERT_EQ(CoCreateInstance(CLSID_SAXXMLReader, nullptr, CLSCTX_ALL, IID_ISAXXMLReader,
                                   reinterpret_cast<void**>(&m_reader)),
                  S_OK);
        ASSERT_NE(m_reader, nullptr);
        m_reader->putContentHandler(&m_content);
        m_reader->putErrorHandler(&m_errors);
    }

    void TearDown() override
    {
        if (m_reader)
        {
            EXPECT_EQ(m_reader->Release(), 0u);
        }
        // The reader gave back every reference it took.
        EXPECT_EQ(m_content.references(), 1u);
        EXPECT_EQ(m_errors.references(), 1u);
        CoUninitialize();
    }

    // Writes a file below the device root and returns its host path.
    std::string write(const std::string& name, const std::string& bytes)
    {
        const std::string path = m_root.path() + "/" + name;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    HRESULT parse(const std::string& path) { return m_reader->parseURL(os::toUtf16(path).c_str()); }

    ostest::TempDeviceRoot m_root;
    ISAXXMLReader* m_reader = nullptr;
    RecordingContentHandler m_content;
    RecordingErrorHandler m_errors;
};

// Little-endian UTF-16 with its byte order mark, from ASCII text and raw byte pairs.
std::string utf16le(const std::string& text)
{
    std::string bytes = "\xFF\xFE";
    for (size_t i = 0; i < text.size(); ++i)
    {
        if (static_cast<unsigned char>(text[i]) >= 0x80)
        {
            bytes += text.substr(i, 2);
            ++i;
        }
        else
        {
            bytes += text[i];
            bytes += '\0';
        }
    }
    return bytes;
}

struct WellFormedCase
{
    const char* name;
    std::string document;
    std::string events;
};

TEST_F(SaxReaderTest, WellFormedDocumentsAreReportedEventByEvent)
{
    const WellFormedCase cases[] = {
        {"nested elements, text joined around children", "<root>a<child>b</child>c<empty/></root>",
         "locator | start-document | start root | text a | start child | text b | end child | text c"
         " | start empty | end empty | end root | end-document"},
        {"attributes in document order, local names",
         "<p:root xmlns:p=\"urn:x\" a=\"1\" p:b=\"2\"><p:c/></p:root>",
         "locator | start-document | prefix p=urn:x | start root (urn:x p:root) a=\"1\" b=\"2\""
         " | start c (urn:x p:c) | end c | end root | end-prefix p | end-document"},
        {"default namespace", "<a xmlns=\"urn:d\"><b/></a>",
         "locator | start-document | prefix =urn:d | start a (urn:d a) | start b (urn:d b) | end b | end a"
         " | end-prefix  | end-document"},
        {"entity and character references replaced in text and attributes",
         "<a v=\"x&amp;y&#65;&lt;&quot;\">1 &lt; 2 &#x41;&apos;&gt;</a>",
         "locator | start-document | start a v=\"x&yA<\"\" | text 1 < 2 A'> | end a | end-document"},
        {"CDATA arrives as text", "<a>x<![CDATA[<b>&amp;]]>y</a>",
         "locator | start-document | start a | text x<b>&amp;y | end a | end-document"},
        {"declaration, processing instruction and comment",
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?><?cfg go now?><a><!-- no --></a>",
         "locator | start-document | pi cfg go now | start a | end a | end-document"},
        {"tab and line ends reach the handler, a line end as one line feed", "<a>\t 42\r\n\r</a>",
         "locator | start-document | start a | text \t 42\n\n | end a | end-document"},
        {"UTF-8 beyond the basic plane", "<a n=\"Gr\xC3\xBC\xC3\x9F\x65\">\xE2\x82\xAC \xF0\x9D\x84\x9E</a>",
         "locator | start-document | start a n=\"Gr\xC3\xBC\xC3\x9F\x65\" | text \xE2\x82\xAC "
         "\xF0\x9D\x84\x9E"
         " | end a | end-document"},
        {"UTF-16 with byte order mark", utf16le("<a>\xAC\x20</a>"),
         "locator | start-document | start a | text \xE2\x82\xAC | end a | end-document"},
        {"Latin-1 by declaration", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>\xFC</a>",
         "locator | start-document | start a | text \xC3\xBC | end a | end-document"},
    };
    for (const WellFormedCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        m_content.log.clear();
        m_errors.reports.clear();
        EXPECT_EQ(parse(write("case.xml", c.document)), S_OK);
        EXPECT_EQ(m_content.joined(), c.events);
        EXPECT_TRUE(m_errors.reports.empty()) << m_errors.reports.front().message;
    }
}

struct FaultyCase
{
    const char* name;
    std::string document;
    HRESULT result;
    // What the handler heard before the fault; nothing comes after it.
    std::string events;
    const char* reportKind;
};

TEST_F(SaxReaderTest, FaultyDocumentsFailWhateverTheErrorHandlerAnswers)
{
    const FaultyCase cases[] = {
        {"mismatched end tag", "<a><b></a>", SAX_E_NOT_WELL_FORMED,
         "locator | start-document | start a | start b", "fatal"},
        {"unclosed element", "<a><b>", SAX_E_NOT_WELL_FORMED, "locator | start-document | start a | start b",
         "fatal"},
        {"two document elements", "<a/><b/>", SAX_E_NOT_WELL_FORMED,
         "locator | start-document | start a | end a", "fatal"},
        {"empty file", "", SAX_E_NOT_WELL_FORMED, "locator", "fatal"},
        {"text only", "hello", SAX_E_NOT_WELL_FORMED, "locator | start-document", "fatal"},
        {"control character", "<a>4\x02</a>", SAX_E_NOT_WELL_FORMED,
         "locator | start-document | start a | text 4", "fatal"},
        {"undefined entity", "<a>&nope;</a>", SAX_E_NOT_WELL_FORMED, "locator | start-document | start a",
         "fatal"},
        {"undeclared prefix", "<a><x:b/></a>", SAX_E_NOT_WELL_FORMED, "locator | start-document | start a",
         "error"},
        {"byte that is no UTF-8", "<a>\xFF</a>", SAX_E_NOT_WELL_FORMED, "locator | start-document | start a",
         "fatal"},
        {"attribute twice", "<a v=\"1\" v=\"2\"/>", SAX_E_NOT_WELL_FORMED, "locator | start-document",
         "fatal"},
        {"internal entity declaration", "<!DOCTYPE a [<!ENTITY e \"xx\">]><a>&e;</a>", SAX_E_DTD_PROHIBITED,
         "locator | start-document", "fatal"},
        {"external entity", "<!DOCTYPE a [<!ENTITY e SYSTEM \"/etc/hostname\">]><a>&e;</a>",
         SAX_E_DTD_PROHIBITED, "locator | start-document", "fatal"},
        {"external document type", "<!DOCTYPE a SYSTEM \"http://127.0.0.1:9/a.dtd\"><a/>",
         SAX_E_DTD_PROHIBITED, "locator | start-document", "fatal"},
    };
    for (const HRESULT answer : {S_OK, E_FAIL})
    {
        m_errors.answer = answer;
        for (const FaultyCase& c : cases)
        {
            SCOPED_TRACE(std::string(c.name) + (answer == S_OK ? ", handler accepts" : ", handler refuses"));
            m_content.log.clear();
            m_errors.reports.clear();
            EXPECT_EQ(parse(write("faulty.xml", c.document)), c.result);
            EXPECT_EQ(m_content.joined(), c.events);
            ASSERT_EQ(m_errors.reports.size(), 1u);
            EXPECT_EQ(m_errors.reports[0].kind, c.reportKind);
            EXPECT_EQ(m_errors.reports[0].code, c.result);
            EXPECT_FALSE(m_errors.reports[0].message.empty());
        }
    }
}

TEST_F(SaxReaderTest, TheLocatorGivesTheLineOfAFault)
{
    EXPECT_EQ(parse(write("lines.xml", "<a>\n<b>\n</c>\n</a>")), SAX_E_NOT_WELL_FORMED);
    ASSERT_EQ(m_errors.reports.size(), 1u);
    EXPECT_EQ(m_errors.reports[0].line, 3);
}

TEST_F(SaxReaderTest, TextLongerThanOneReadArrivesWhole)
{
    // Several read chunks, with the split inside the text and inside a multi-byte character.
    std::string text;
    for (int i = 0; i < 70000; ++i)
        text += (i % 7 == 0) ? "\xC3\xA9" : "x";
    EXPECT_EQ(parse(write("long.xml", "<a v=\"" + text + "\">" + text + "</a>")), S_OK);
    ASSERT_EQ(m_content.log.size(), 6u) << m_content.joined().substr(0, 200);
    EXPECT_EQ(m_content.log[2], "start a v=\"" + text + "\"");
    EXPECT_EQ(m_content.log[3], "text " + text);
}

TEST_F(SaxReaderTest, AContentHandlerFailureStopsTheParseWithItsResult)
{
    m_content.failOn = u"stop";
    m_content.failWith = E_ABORT;
    EXPECT_EQ(parse(write("stop.xml", "<a><b/><stop/><c/>text</a>")), E_ABORT);
    EXPECT_EQ(m_content.joined(), "locator | start-document | start a | start b | end b | start stop");
    EXPECT_TRUE(m_errors.reports.empty());
}

TEST_F(SaxReaderTest, AttributeCallsOutsideTheirRangeAreRefused)
{
    EXPECT_EQ(parse(write("attributes.xml", "<a x=\"1\"><b/></a>")), S_OK);
    const std::vector<HRESULT> expected = {E_INVALIDARG, E_INVALIDARG, E_POINTER,
                                           E_INVALIDARG, E_INVALIDARG, E_POINTER};
    EXPECT_EQ(m_content.outOfRangeAnswers, expected);
}

TEST_F(SaxReaderTest, FilesAreFoundLikeEveryOtherFileOfTheDevice)
{
    write("Hard Disk/Config/Settings.xml", "<a/>");
    EXPECT_EQ(m_reader->parseURL(u"\\hard disk\\config\\SETTINGS.XML"), S_OK);
    EXPECT_EQ(m_content.joined(), "locator | start-document | start a | end a | end-document");

    const struct
    {
        const char16_t* path;
        HRESULT result;
    } missing[] = {
        {u"\\Hard Disk\\Config\\Missing.xml", HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)},
        {u"\\No Such Folder\\a.xml", HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)},
    };
    for (const auto& c : missing)
    {
        SCOPED_TRACE(os::toUtf8(c.path));
        m_content.log.clear();
        m_errors.reports.clear();
        EXPECT_EQ(m_reader->parseURL(c.path), c.result);
        EXPECT_TRUE(m_content.log.empty());
        ASSERT_EQ(m_errors.reports.size(), 1u);
        EXPECT_EQ(m_errors.reports[0].kind, "fatal");
        EXPECT_EQ(m_errors.reports[0].code, c.result);
    }
    // A folder is no file.
    EXPECT_TRUE(FAILED(m_reader->parseURL(u"\\Hard Disk\\Config")));
    EXPECT_EQ(m_reader->parseURL(nullptr), E_POINTER);
}

TEST_F(SaxReaderTest, HandlersAreHeldUntilReplacedAndAParseWorksWithout)
{
    EXPECT_EQ(m_content.references(), 2u);
    EXPECT_EQ(m_errors.references(), 2u);
    RecordingContentHandler other;
    m_reader->putContentHandler(&other);
    EXPECT_EQ(m_content.references(), 1u);
    EXPECT_EQ(other.references(), 2u);
    EXPECT_EQ(parse(write("other.xml", "<a/>")), S_OK);
    EXPECT_TRUE(m_content.log.empty());
    EXPECT_EQ(other.joined(), "locator | start-document | start a | end a | end-document");

    m_reader->putContentHandler(nullptr);
    m_reader->putErrorHandler(nullptr);
    EXPECT_EQ(other.references(), 1u);
    EXPECT_EQ(m_errors.references(), 1u);
    EXPECT_EQ(parse(write("plain.xml", "<a/>")), S_OK);
    EXPECT_EQ(parse(write("bad.xml", "<a>")), SAX_E_NOT_WELL_FORMED);
}

TEST_F(SaxReaderTest, TheReaderAnswersOnlyItsOwnInterfaces)
{
    IUnknown* unknown = nullptr;
    ASSERT_EQ(m_reader->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    EXPECT_EQ(unknown->Release(), 1u);
    void* other = reinterpret_cast<void*>(1);
    EXPECT_EQ(m_reader->QueryInterface(IID_ISAXContentHandler, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    IUnknown* outer = m_reader;
    void* aggregated = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_SAXXMLReader, outer, CLSCTX_ALL, IID_ISAXXMLReader, &aggregated),
              CLASS_E_NOAGGREGATION);
}

TEST(SaxReader, NeedsComToBeInitialised)
{
    ISAXXMLReader* reader = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_SAXXMLReader, nullptr, CLSCTX_ALL, IID_ISAXXMLReader,
                               reinterpret_cast<void**>(&reader)),
              CO_E_NOTINITIALIZED);
    EXPECT_EQ(reader, nullptr);
}
} // namespace
