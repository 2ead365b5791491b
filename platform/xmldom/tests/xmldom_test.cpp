// The XML document object: loading, paths, text, appending, removing and saving files
// in a temporary device root.
#include <test_support.h>
#include <xmldom/xmldom.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace
{
// A COM pointer that releases what it holds.
template <class T> class Ptr
{
public:
    Ptr() = default;
    ~Ptr() { reset(); }
    Ptr(const Ptr&) = delete;
    Ptr& operator=(const Ptr&) = delete;
    T** out()
    {
        reset();
        return &m_object;
    }
    void reset()
    {
        if (m_object)
            m_object->Release();
        m_object = nullptr;
    }
    T* operator->() const { return m_object; }
    T* get() const { return m_object; }
    explicit operator bool() const { return m_object != nullptr; }

private:
    T* m_object = nullptr;
};

std::string take(BSTR text)
{
    const std::string utf8 = os::toUtf8(text);
    SysFreeString(text);
    return utf8;
}

std::string text(IXmlNode* node)
{
    BSTR value = nullptr;
    EXPECT_EQ(node->get_text(&value), S_OK);
    return take(value);
}

std::string name(IXmlNode* node)
{
    BSTR value = nullptr;
    EXPECT_EQ(node->get_nodeName(&value), S_OK);
    return take(value);
}

class XmlDocumentTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        ASSERT_EQ(CoCreateInstance(CLSID_XmlDocument, nullptr, CLSCTX_INPROC_SERVER, IID_IXmlDocument,
                                   reinterpret_cast<void**>(m_document.out())),
                  S_OK);
    }
    void TearDown() override
    {
        m_document.reset();
        CoUninitialize();
    }

    std::string hostPath(const std::string& name) const { return m_root.path() + "/" + name; }
    void write(const std::string& name, const std::string& contents) const
    {
        std::ofstream(hostPath(name), std::ios::binary) << contents;
    }
    std::string read(const std::string& name) const
    {
        std::ifstream file(hostPath(name), std::ios::binary);
        std::stringstream contents;
        contents << file.rdbuf();
        return contents.str();
    }
    std::vector<std::string> filesInRoot() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(m_root.path()))
        {
            if (entry.path().extension() == ".xml" || entry.path().filename().string().front() == '.')
                names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    ostest::TempDeviceRoot m_root;
    Ptr<IXmlDocument> m_document;
};

constexpr const char* kProject = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                                 "<QbBootProject>\n"
                                 "  <Processes>\n"
                                 "    <Process><Filename>a.exe</Filename></Process>\n"
                                 "    <Process><Filename>b.exe</Filename></Process>\n"
                                 "  </Processes>\n"
                                 "  <!-- kept -->\n"
                                 "</QbBootProject>\n";

TEST_F(XmlDocumentTest, PathsFindNodesInDocumentOrderFromTheNodeAsked)
{
    write("p.xml", kProject);
    ASSERT_EQ(m_document->load(u"\\p.xml"), S_OK);

    Ptr<IXmlNodeList> processes;
    ASSERT_EQ(m_document->selectNodes(u"QbBootProject/Processes/Process", processes.out()), S_OK);
    LONG length = 0;
    ASSERT_EQ(processes->get_length(&length), S_OK);
    ASSERT_EQ(length, 2);
    std::vector<std::string> names;
    for (LONG i = 0; i < length; ++i)
    {
        Ptr<IXmlNode> process, file;
        ASSERT_EQ(processes->get_item(i, process.out()), S_OK);
        EXPECT_EQ(name(process.get()), "Process");
        // A path asked of a node starts at that node.
        ASSERT_EQ(process->selectSingleNode(u"Filename", file.out()), S_OK);
        names.push_back(text(file.get()));
    }
    EXPECT_EQ(names, (std::vector<std::string>{"a.exe", "b.exe"}));
    Ptr<IXmlNode> none;
    EXPECT_EQ(processes->get_item(2, none.out()), E_INVALIDARG);

    Ptr<IXmlNode> missing;
    EXPECT_EQ(m_document->selectSingleNode(u"QbBootProject/Drivers", missing.out()), S_FALSE);
    EXPECT_FALSE(missing);
    Ptr<IXmlNodeList> empty;
    ASSERT_EQ(m_document->selectNodes(u"Other/Processes", empty.out()), S_OK);
    ASSERT_EQ(empty->get_length(&length), S_OK);
    EXPECT_EQ(length, 0);
    Ptr<IXmlNodeList> bad;
    EXPECT_EQ(m_document->selectNodes(u"QbBootProject/[", bad.out()), XMLDOM_E_BAD_PATH);
    EXPECT_FALSE(bad);

    Ptr<IXmlNode> root;
    ASSERT_EQ(m_document->get_documentElement(root.out()), S_OK);
    EXPECT_EQ(name(root.get()), "QbBootProject");
    BSTR documentName = nullptr;
    ASSERT_EQ(m_document->get_nodeName(&documentName), S_OK);
    EXPECT_EQ(take(documentName), "#document");
}

TEST_F(XmlDocumentTest, FilesThatCannotBeReadAsDocumentsLeaveTheTreeAsItWas)
{
    write("good.xml", "<a><b>1</b></a>");
    ASSERT_EQ(m_document->load(u"good.xml"), S_OK);
    struct Case
    {
        const char* name;
        const char* contents; // null: no file
        HRESULT result;
    } cases[] = {
        {"missing.xml", nullptr, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)},
        {"unclosed.xml", "<a><b></a>", XMLDOM_E_MALFORMED},
        {"two-roots.xml", "<a/><b/>", XMLDOM_E_MALFORMED},
        {"text.xml", "just text", XMLDOM_E_MALFORMED},
        {"doctype.xml", "<!DOCTYPE a [<!ENTITY x \"xxxxxxxx\"><!ENTITY y \"&x;&x;&x;&x;\">]><a>&y;</a>",
         XMLDOM_E_MALFORMED},
        {"external.xml", "<!DOCTYPE a SYSTEM \"http://example.invalid/a.dtd\"><a/>", XMLDOM_E_MALFORMED},
    };
    for (const Case& c : cases)
    {
        if (c.contents)
            write(c.name, c.contents);
        EXPECT_EQ(m_document->load(os::toUtf16(c.name).c_str()), c.result) << c.name;
        Ptr<IXmlNode> b;
        ASSERT_EQ(m_document->selectSingleNode(u"a/b", b.out()), S_OK) << c.name;
        EXPECT_EQ(text(b.get()), "1") << c.name;
    }
    EXPECT_EQ(m_document->loadXML(u"<a>"), XMLDOM_E_MALFORMED);
    Ptr<IXmlNode> b;
    EXPECT_EQ(m_document->selectSingleNode(u"a/b", b.out()), S_OK);
}

TEST_F(XmlDocumentTest, EmptyAndBlankFilesAreEmptyDocuments)
{
    for (const char* contents : {"", "  \r\n\t\n", "\xEF\xBB\xBF\n"})
    {
        write("blank.xml", contents);
        ASSERT_EQ(m_document->load(u"blank.xml"), S_OK) << "[" << contents << "]";
        Ptr<IXmlNode> root;
        EXPECT_EQ(m_document->get_documentElement(root.out()), S_FALSE);
        EXPECT_FALSE(root);
        // Nothing to save yet: the file stays as it is.
        EXPECT_EQ(m_document->save(u"blank.xml"), E_UNEXPECTED);
        EXPECT_EQ(read("blank.xml"), contents);
    }
    ASSERT_EQ(m_document->loadXML(u"<QbBootProject><Processes></Processes></QbBootProject>"), S_OK);
    ASSERT_EQ(m_document->save(u"blank.xml"), S_OK);
    EXPECT_EQ(read("blank.xml"), "<QbBootProject><Processes/></QbBootProject>\n");
}

TEST_F(XmlDocumentTest, SavingChangesOnlyWhatWasChanged)
{
    struct Case
    {
        const char* name;
        std::string contents;
    } cases[] = {
        {"with a declaration and comments", kProject},
        {"without a declaration", "<a>\n  <b x=\"1\">t &amp; u</b>\n</a>\n"},
        {"in Latin-1", std::string("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<a>\xE4</a>\n")},
    };
    for (const Case& c : cases)
    {
        write("same.xml", c.contents);
        ASSERT_EQ(m_document->load(u"same.xml"), S_OK) << c.name;
        ASSERT_EQ(m_document->save(u"same.xml"), S_OK) << c.name;
        EXPECT_EQ(read("same.xml"), c.contents) << c.name;
    }
    // No temporary file is left behind.
    EXPECT_EQ(filesInRoot(), (std::vector<std::string>{"same.xml"}));
}

TEST_F(XmlDocumentTest, AppendAndRemoveChangeTheSavedFile)
{
    write("p.xml", kProject);
    ASSERT_EQ(m_document->load(u"p.xml"), S_OK);
    Ptr<IXmlNode> processes, first;
    ASSERT_EQ(m_document->selectSingleNode(u"QbBootProject/Processes", processes.out()), S_OK);
    ASSERT_EQ(m_document->selectSingleNode(u"QbBootProject/Processes/Process[1]", first.out()), S_OK);
    ASSERT_EQ(processes->removeChild(first.get()), S_OK);
    // A removed node lives on without a parent, and cannot be removed twice.
    Ptr<IXmlNode> parent;
    EXPECT_EQ(first->get_parentNode(parent.out()), S_FALSE);
    EXPECT_EQ(text(first.get()), "a.exe");
    EXPECT_EQ(processes->removeChild(first.get()), E_INVALIDARG);

    // An element of another document is copied in.
    Ptr<IXmlDocument> fragment;
    ASSERT_EQ(CoCreateInstance(CLSID_XmlDocument, nullptr, CLSCTX_INPROC_SERVER, IID_IXmlDocument,
                               reinterpret_cast<void**>(fragment.out())),
              S_OK);
    ASSERT_EQ(fragment->loadXML(u"<Process><Filename>c.exe</Filename><Type>0</Type></Process>"), S_OK);
    Ptr<IXmlNode> fragmentRoot, added;
    ASSERT_EQ(fragment->get_documentElement(fragmentRoot.out()), S_OK);
    ASSERT_EQ(processes->appendChild(fragmentRoot.get(), added.out()), S_OK);
    EXPECT_NE(added.get(), fragmentRoot.get());
    fragment.reset();
    fragmentRoot.reset();
    EXPECT_EQ(text(added.get()), "c.exe0");

    // An element made here, with a text.
    Ptr<IXmlNode> element;
    ASSERT_EQ(m_document->createElement(u"Note", element.out()), S_OK);
    ASSERT_EQ(element->put_text(u"x < y"), S_OK);
    Ptr<IXmlNode> root;
    ASSERT_EQ(m_document->get_documentElement(root.out()), S_OK);
    ASSERT_EQ(root->appendChild(element.get(), nullptr), S_OK);

    ASSERT_EQ(m_document->save(u"p.xml"), S_OK);
    EXPECT_EQ(read("p.xml"), "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                             "<QbBootProject>\n"
                             "  <Processes>\n"
                             "    \n"
                             "    <Process><Filename>b.exe</Filename></Process>\n"
                             "  <Process><Filename>c.exe</Filename><Type>0</Type></Process></Processes>\n"
                             "  <!-- kept -->\n"
                             "<Note>x &lt; y</Note></QbBootProject>\n");
}

TEST_F(XmlDocumentTest, MisplacedAppendsAreRefused)
{
    ASSERT_EQ(m_document->loadXML(u"<a><b><c/></b></a>"), S_OK);
    Ptr<IXmlNode> a, b, c, textNode;
    ASSERT_EQ(m_document->selectSingleNode(u"a", a.out()), S_OK);
    ASSERT_EQ(m_document->selectSingleNode(u"a/b", b.out()), S_OK);
    ASSERT_EQ(m_document->selectSingleNode(u"a/b/c", c.out()), S_OK);
    // Into itself or below itself.
    EXPECT_EQ(b->appendChild(b.get(), nullptr), E_INVALIDARG);
    EXPECT_EQ(c->appendChild(a.get(), nullptr), E_INVALIDARG);
    // A second document element.
    Ptr<IXmlNode> other;
    ASSERT_EQ(m_document->createElement(u"z", other.out()), S_OK);
    EXPECT_EQ(m_document->appendChild(other.get(), nullptr), E_UNEXPECTED);
    EXPECT_EQ(m_document->createElement(u"no name", other.out()), E_INVALIDARG);
    // A move within the document.
    ASSERT_EQ(a->appendChild(c.get(), nullptr), S_OK);
    Ptr<IXmlNode> parent;
    ASSERT_EQ(c->get_parentNode(parent.out()), S_OK);
    EXPECT_EQ(name(parent.get()), "a");
    // Text nodes are not appended (they would merge with their neighbours).
    ASSERT_EQ(m_document->loadXML(u"<a>x<b/></a>"), S_OK);
    ASSERT_EQ(m_document->selectSingleNode(u"a/text()", textNode.out()), S_OK);
    ASSERT_EQ(m_document->selectSingleNode(u"a/b", b.out()), S_OK);
    EXPECT_EQ(b->appendChild(textNode.get(), nullptr), E_INVALIDARG);
    EXPECT_EQ(name(textNode.get()), "#text");
}

TEST_F(XmlDocumentTest, NodesOutliveTheDocumentAndReplacedChildren)
{
    ASSERT_EQ(m_document->loadXML(u"<a><b>old<c>deep</c></b></a>"), S_OK);
    Ptr<IXmlNode> b, c;
    ASSERT_EQ(m_document->selectSingleNode(u"a/b", b.out()), S_OK);
    ASSERT_EQ(m_document->selectSingleNode(u"a/b/c", c.out()), S_OK);
    ASSERT_EQ(b->put_text(u"new"), S_OK);
    EXPECT_EQ(text(b.get()), "new");
    EXPECT_EQ(text(c.get()), "deep");
    // A new tree for the document; the old nodes still answer.
    ASSERT_EQ(m_document->loadXML(u"<x/>"), S_OK);
    m_document.reset();
    EXPECT_EQ(text(b.get()), "new");
    EXPECT_EQ(text(c.get()), "deep");
}

TEST_F(XmlDocumentTest, SaveFailuresLeaveNoFile)
{
    ASSERT_EQ(m_document->loadXML(u"<a/>"), S_OK);
    EXPECT_EQ(m_document->save(u"\\no such folder\\a.xml"), HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(m_document->save(u"..\\..\\outside.xml"), HRESULT_FROM_WIN32(ERROR_BAD_PATHNAME));
    EXPECT_TRUE(filesInRoot().empty());
}
} // namespace
