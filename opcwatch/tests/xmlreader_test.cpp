// The element tree reader: what a file becomes, the lookups the configuration uses, and
// the handlers' COM behaviour.
#include "opcwatch_test_root.h"

#include "uasaxhandlers.h"
#include "uaxmlreader.h"

#include <os/text.h>

namespace
{
// name{attribute=value;...}"text"[child,child]
std::string describe(const UaXmlElement& element)
{
    std::string text = os::toUtf8(element.name());
    if (!element.attributes().empty())
    {
        text += "{";
        for (const auto& attribute : element.attributes())
            text += os::toUtf8(attribute->name()) + "=" + os::toUtf8(attribute->text()) +
                    (attribute == element.attributes().back() ? "}" : ";");
    }
    if (!element.text().empty())
        text += "\"" + os::toUtf8(element.text()) + "\"";
    if (!element.allChildren().empty())
    {
        text += "[";
        for (const auto& child : element.allChildren())
            text += describe(*child) + (child == element.allChildren().back() ? "]" : ",");
    }
    return text;
}

std::string describe(const UaXmlDocument& document)
{
    std::string text;
    for (const auto& element : document.elements())
        text += (text.empty() ? "" : " ") + describe(*element);
    return text;
}

class XmlReaderTest : public OpcwatchTestRoot
{
};

struct TreeCase
{
    const char* name;
    std::string document;
    std::string tree;
};

TEST_F(XmlReaderTest, FilesBecomeTreesOfNamesTextsAndAttributes)
{
    const TreeCase cases[] = {
        {"tab, space, 4, 2, carriage return, line feed", "<a>\t 42\r\n</a>", "a\" 42\""},
        {"delete character removed, blanks kept", "<a> x\x7Fy&#127; z </a>", "a\" xy z \""},
        {"attribute and text both kept", "<a id=\"7\" unit=\"ms\">50</a>", "a{id=7;unit=ms}\"50\""},
        {"attribute values keep their control characters", "<a v=\"x&#9;y\"/>", "a{v=x\ty}"},
        {"text around children joined in the parent", "<a>x<b>y</b>z<c/>w</a>", "a\"xzw\"[b\"y\",c]"},
        {"indentation leaves its blanks", "<a>\n  <b/>\n</a>", "a\"  \"[b]"},
        {"local names without prefixes", "<p:a xmlns:p=\"urn:p\" p:k=\"1\"><p:b>t</p:b></p:a>",
         "a{k=1}[b\"t\"]"},
        {"references and CDATA become text", "<a>&lt;&#65;<![CDATA[&x]]></a>", "a\"<A&x\""},
        {"children in document order", "<r><s>1</s><t/><s>2</s></r>", "r[s\"1\",t,s\"2\"]"},
        {"comments and instructions leave nothing", "<?x y?><a><!-- c --><?p q?></a>", "a"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        UaXmlDocument document;
        EXPECT_EQ(parseXmlFile(document, writeFile("tree.xml", c.document).c_str()), S_OK);
        EXPECT_EQ(describe(document), c.tree);
    }
}

TEST_F(XmlReaderTest, ChildrenAreFoundByTheirExactName)
{
    UaXmlDocument document;
    ASSERT_EQ(
        parseXmlFile(document, writeFile("find.xml",
                                         "<r><Item>1</Item><item>2</item><Item k=\"v\">3</Item><Other/></r>")
                                   .c_str()),
        S_OK);
    const UaXmlElement* root = document.rootElement();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->name(), u"r");

    const UaXmlElement* first = root->firstChild(u"Item");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->text(), u"1");
    const std::vector<const UaXmlElement*> all = root->children(u"Item");
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0], first);
    EXPECT_EQ(all[1]->text(), u"3");
    EXPECT_EQ(root->firstChild(u"item")->text(), u"2");
    EXPECT_EQ(root->firstChild(u"ITEM"), nullptr);
    EXPECT_TRUE(root->children(u"other").empty());
    // Attributes are no children.
    EXPECT_EQ(root->firstChild(u"k"), nullptr);
    EXPECT_EQ(all[1]->firstChild(u"k"), nullptr);

    document.clear();
    EXPECT_EQ(document.rootElement(), nullptr);
}

TEST_F(XmlReaderTest, AFailedParseKeepsWhatWasReadBeforeTheFault)
{
    const TreeCase cases[] = {
        {"end tag mismatch", "<a><b>text</a>", "a[b\"text\"]"},
        {"second document element", "<a>1</a><b>2</b>", "a\"1\""},
        {"cut off", "<a><b>1</b><c>", "a[b\"1\",c]"},
        {"document type", "<!DOCTYPE a><a/>", ""},
        {"empty file", "", ""},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        UaXmlDocument document;
        EXPECT_TRUE(FAILED(parseXmlFile(document, writeFile("broken.xml", c.document).c_str())));
        EXPECT_EQ(describe(document), c.tree);
    }

    UaXmlDocument document;
    EXPECT_EQ(parseXmlFile(document, os::toUtf16(hostPath("missing.xml")).c_str()),
              HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(document.rootElement(), nullptr);
}

// Attributes whose second entry cannot be read.
class HalfReadableAttributes : public ISAXAttributes
{
public:
    STDMETHODIMP QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    STDMETHODIMP_(ULONG) AddRef() override { return 1; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP getLength(int* length) override
    {
        *length = 3;
        return S_OK;
    }
    STDMETHODIMP getLocalName(int index, const WCHAR** name, int* length) override
    {
        static const std::u16string names[] = {u"a", u"b", u"c"};
        *name = names[index].c_str();
        *length = 1;
        return S_OK;
    }
    STDMETHODIMP getValue(int index, const WCHAR** value, int* length) override
    {
        if (index == 1)
            return E_FAIL;
        *value = u"v";
        *length = 1;
        return S_OK;
    }
};

TEST_F(XmlReaderTest, TheContentHandlerSkipsWhatItCannotPlace)
{
    UaXmlDocument document;
    auto* handler = new CUaSAXContentHandler(&document);
    HalfReadableAttributes attributes;
    // Text and end tags outside any element change nothing.
    EXPECT_EQ(handler->characters(u"lost", 4), S_OK);
    EXPECT_EQ(handler->endElement(u"", 0, u"x", 1, u"x", 1), S_OK);
    EXPECT_EQ(handler->startElement(u"", 0, u"e", 1, u"e", 1, &attributes), S_OK);
    EXPECT_EQ(handler->characters(u"abc", 2), S_OK);
    EXPECT_EQ(handler->endElement(u"", 0, u"other", 5, u"other", 5), S_OK); // names are not compared
    EXPECT_EQ(handler->startElement(u"", 0, u"f", 1, u"f", 1, nullptr), S_OK);
    EXPECT_EQ(handler->endElement(u"", 0, u"f", 1, u"f", 1), S_OK);
    EXPECT_EQ(handler->endElement(u"", 0, u"f", 1, u"f", 1), S_OK);
    EXPECT_EQ(handler->Release(), 0u);
    EXPECT_EQ(describe(document), "e{a=v;c=v}\"ab\" f");
}

template <typename Handler> void expectComIdentity(Handler* handler, REFIID own, REFIID foreign)
{
    void* object = nullptr;
    ASSERT_EQ(handler->QueryInterface(own, &object), S_OK);
    EXPECT_EQ(object, static_cast<void*>(handler));
    object = nullptr;
    ASSERT_EQ(handler->QueryInterface(IID_IUnknown, &object), S_OK);
    EXPECT_EQ(object, static_cast<void*>(handler));
    object = handler;
    EXPECT_EQ(handler->QueryInterface(foreign, &object), static_cast<HRESULT>(0x80004002));
    EXPECT_EQ(object, nullptr);
    // Two references taken above, and the creator's: the third release deletes.
    EXPECT_EQ(handler->Release(), 2u);
    EXPECT_EQ(handler->Release(), 1u);
    EXPECT_EQ(handler->Release(), 0u);
}

TEST_F(XmlReaderTest, HandlersAnswerTheirOwnInterfacesAndDeleteOnTheLastRelease)
{
    UaXmlDocument document;
    ISAXContentHandler* content = new CUaSAXContentHandler(&document);
    expectComIdentity(content, IID_ISAXContentHandler, IID_ISAXErrorHandler);
    ISAXErrorHandler* errors = new SAXErrorHandlerImpl;
    expectComIdentity(errors, IID_ISAXErrorHandler, IID_ISAXContentHandler);
}

TEST_F(XmlReaderTest, TheErrorHandlerAcceptsEverything)
{
    ISAXErrorHandler* errors = new SAXErrorHandlerImpl;
    EXPECT_EQ(errors->error(nullptr, u"e", E_FAIL), S_OK);
    EXPECT_EQ(errors->fatalError(nullptr, u"f", SAX_E_NOT_WELL_FORMED), S_OK);
    EXPECT_EQ(errors->ignorableWarning(nullptr, u"w", S_OK), S_OK);
    EXPECT_EQ(errors->Release(), 0u);
}

TEST(XmlReader, WithoutComTheReaderCannotBeCreated)
{
    UaXmlDocument document;
    EXPECT_EQ(parseXmlFile(document, u"\\Opcwatch.xml"), CO_E_NOTINITIALIZED);
}
} // namespace
