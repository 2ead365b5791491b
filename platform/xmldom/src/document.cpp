// The document class and the node and node-list objects it hands out.
#include "tree.h"

#include <xmldom/xmldom.h>

#include <libxml/parser.h>
#include <libxml/xpath.h>

#include <atomic>
#include <vector>

namespace xmldom
{
namespace
{
// What every node object of this library tells about itself, so that a node handed
// back in (to append or remove) is found in its tree.
class NodeAccess
{
public:
    virtual xmlNodePtr xmlNode() const = 0;
    virtual std::shared_ptr<Tree> tree() const = 0;

protected:
    ~NodeAccess() = default;
};

template <class Interface> class Counted : public Interface
{
public:
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_references; }
    STDMETHODIMP_(ULONG) Release() override
    {
        const ULONG left = --m_references;
        if (left == 0)
            delete this;
        return left;
    }

protected:
    virtual ~Counted() = default;

private:
    std::atomic<ULONG> m_references{1};
};

bool isAncestorOrSelf(xmlNodePtr candidate, xmlNodePtr node)
{
    for (xmlNodePtr walk = node; walk; walk = walk->parent)
    {
        if (walk == candidate)
            return true;
    }
    return false;
}

IXmlNode* newNode(std::shared_ptr<Tree> tree, xmlNodePtr node);

class NodeList final : public Counted<IXmlNodeList>
{
public:
    NodeList(std::shared_ptr<Tree> tree, std::vector<xmlNodePtr> nodes)
        : m_tree(std::move(tree)), m_nodes(std::move(nodes))
    {
    }
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        return os::queryInterface<IXmlNodeList>(this, IID_IXmlNodeList, iid, object);
    }
    STDMETHODIMP get_length(LONG* length) override
    {
        if (!length)
            return E_POINTER;
        *length = static_cast<LONG>(m_nodes.size());
        return S_OK;
    }
    STDMETHODIMP get_item(LONG index, IXmlNode** node) override
    {
        if (!node)
            return E_POINTER;
        *node = nullptr;
        if (index < 0 || static_cast<size_t>(index) >= m_nodes.size())
            return E_INVALIDARG;
        *node = newNode(m_tree, m_nodes[static_cast<size_t>(index)]);
        return S_OK;
    }

private:
    std::shared_ptr<Tree> m_tree;
    std::vector<xmlNodePtr> m_nodes;
};

// The node operations, for a plain node and for the document alike.
template <class Interface> class NodeBase : public Counted<Interface>, public NodeAccess
{
public:
    STDMETHODIMP get_nodeName(BSTR* name) override
    {
        if (!name)
            return E_POINTER;
        const xmlNodePtr node = xmlNode();
        if (node->type == XML_DOCUMENT_NODE)
            *name = toBstr(BAD_CAST "#document");
        else if (node->type == XML_TEXT_NODE)
            *name = toBstr(BAD_CAST "#text");
        else
            *name = toBstr(node->name);
        return S_OK;
    }

    STDMETHODIMP get_text(BSTR* text) override
    {
        if (!text)
            return E_POINTER;
        xmlChar* content = xmlNodeGetContent(xmlNode());
        *text = toBstr(content);
        xmlFree(content);
        return S_OK;
    }

    STDMETHODIMP put_text(const OLECHAR* text) override
    {
        if (!text)
            return E_POINTER;
        const xmlNodePtr node = xmlNode();
        const std::string utf8 = toUtf8(text);
        if (node->type == XML_TEXT_NODE)
        {
            xmlNodeSetContentLen(node, BAD_CAST utf8.data(), static_cast<int>(utf8.size()));
            return S_OK;
        }
        if (node->type != XML_ELEMENT_NODE)
            return E_INVALIDARG;
        // The old children may still have node objects: they are kept until the tree goes.
        const std::shared_ptr<Tree> owner = tree();
        while (xmlNodePtr child = node->children)
        {
            xmlUnlinkNode(child);
            owner->detach(child);
        }
        xmlAddChild(node,
                    xmlNewDocTextLen(owner->doc(), BAD_CAST utf8.data(), static_cast<int>(utf8.size())));
        return S_OK;
    }

    STDMETHODIMP get_parentNode(IXmlNode** parent) override
    {
        if (!parent)
            return E_POINTER;
        const xmlNodePtr node = xmlNode();
        *parent = node->parent ? newNode(tree(), node->parent) : nullptr;
        return *parent ? S_OK : S_FALSE;
    }

    STDMETHODIMP selectNodes(const OLECHAR* path, IXmlNodeList** nodes) override
    {
        if (!path || !nodes)
            return E_POINTER;
        *nodes = nullptr;
        std::vector<xmlNodePtr> found;
        const HRESULT result = evaluate(path, found);
        if (FAILED(result))
            return result;
        *nodes = new NodeList(tree(), std::move(found));
        return S_OK;
    }

    STDMETHODIMP selectSingleNode(const OLECHAR* path, IXmlNode** node) override
    {
        if (!path || !node)
            return E_POINTER;
        *node = nullptr;
        std::vector<xmlNodePtr> found;
        const HRESULT result = evaluate(path, found);
        if (FAILED(result))
            return result;
        if (found.empty())
            return S_FALSE;
        *node = newNode(tree(), found.front());
        return S_OK;
    }

    STDMETHODIMP appendChild(IXmlNode* child, IXmlNode** added) override
    {
        if (added)
            *added = nullptr;
        auto* access = dynamic_cast<NodeAccess*>(child);
        if (!access)
            return E_INVALIDARG;
        const xmlNodePtr parent = xmlNode();
        const std::shared_ptr<Tree> owner = tree();
        xmlNodePtr node = access->xmlNode();
        // Only elements are appended: libxml2 merges a text into its neighbour, which would
        // leave the caller's text object without its node.
        if (node->type != XML_ELEMENT_NODE ||
            (parent->type != XML_ELEMENT_NODE && parent->type != XML_DOCUMENT_NODE))
            return E_INVALIDARG;
        if (parent->type == XML_DOCUMENT_NODE && xmlDocGetRootElement(owner->doc()))
            return E_UNEXPECTED; // a document has one element
        std::shared_ptr<Tree> childTree = access->tree();
        if (childTree != owner)
        {
            node = xmlDocCopyNode(node, owner->doc(), 1);
            if (!node)
                return E_OUTOFMEMORY;
        }
        else
        {
            if (isAncestorOrSelf(node, parent))
                return E_INVALIDARG;
            xmlUnlinkNode(node);
            owner->attach(node);
        }
        xmlAddChild(parent, node);
        if (added)
            *added = newNode(owner, node);
        return S_OK;
    }

    STDMETHODIMP removeChild(IXmlNode* child) override
    {
        auto* access = dynamic_cast<NodeAccess*>(child);
        if (!access || access->tree() != tree() || access->xmlNode()->parent != xmlNode())
            return E_INVALIDARG;
        const xmlNodePtr node = access->xmlNode();
        xmlUnlinkNode(node);
        tree()->detach(node);
        return S_OK;
    }

private:
    HRESULT evaluate(const OLECHAR* path, std::vector<xmlNodePtr>& found) const
    {
        const std::shared_ptr<Tree> owner = tree();
        xmlXPathContextPtr context = xmlXPathNewContext(owner->doc());
        if (!context)
            return E_OUTOFMEMORY;
        context->node = xmlNode();
        // A bad path is the caller's result, not a line on the program's error output.
        context->error = [](void*, xmlErrorPtr) {};
        const std::string expression = toUtf8(path);
        xmlXPathObjectPtr result = xmlXPathEvalExpression(BAD_CAST expression.c_str(), context);
        HRESULT outcome = S_OK;
        if (!result || result->type != XPATH_NODESET)
            outcome = XMLDOM_E_BAD_PATH;
        else if (result->nodesetval)
        {
            for (int i = 0; i < result->nodesetval->nodeNr; ++i)
                found.push_back(result->nodesetval->nodeTab[i]);
        }
        xmlXPathFreeObject(result);
        xmlXPathFreeContext(context);
        return outcome;
    }
};

class Node final : public NodeBase<IXmlNode>
{
public:
    Node(std::shared_ptr<Tree> tree, xmlNodePtr node) : m_tree(std::move(tree)), m_node(node) {}
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        return os::queryInterface<IXmlNode>(this, IID_IXmlNode, iid, object);
    }
    xmlNodePtr xmlNode() const override { return m_node; }
    std::shared_ptr<Tree> tree() const override { return m_tree; }

private:
    std::shared_ptr<Tree> m_tree;
    xmlNodePtr m_node;
};

IXmlNode* newNode(std::shared_ptr<Tree> tree, xmlNodePtr node)
{
    return new Node(std::move(tree), node);
}

class Document final : public NodeBase<IXmlDocument>
{
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IXmlDocument || iid == IID_IXmlNode)
        {
            *object = static_cast<IXmlDocument*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    xmlNodePtr xmlNode() const override { return reinterpret_cast<xmlNodePtr>(m_tree->doc()); }
    std::shared_ptr<Tree> tree() const override { return m_tree; }

    STDMETHODIMP load(const OLECHAR* path) override
    {
        if (!path)
            return E_POINTER;
        std::string contents;
        const HRESULT read = readFile(path, contents);
        if (FAILED(read))
            return read;
        return replace(contents, true);
    }

    STDMETHODIMP loadXML(const OLECHAR* text) override
    {
        if (!text)
            return E_POINTER;
        return replace(toUtf8(text), false);
    }

    STDMETHODIMP get_documentElement(IXmlNode** root) override
    {
        if (!root)
            return E_POINTER;
        const xmlNodePtr element = xmlDocGetRootElement(m_tree->doc());
        *root = element ? newNode(m_tree, element) : nullptr;
        return *root ? S_OK : S_FALSE;
    }

    STDMETHODIMP createElement(const OLECHAR* name, IXmlNode** element) override
    {
        if (!name || !element)
            return E_POINTER;
        *element = nullptr;
        const std::string utf8 = toUtf8(name);
        if (xmlValidateName(BAD_CAST utf8.c_str(), 0) != 0)
            return E_INVALIDARG;
        const xmlNodePtr node = xmlNewDocNode(m_tree->doc(), nullptr, BAD_CAST utf8.c_str(), nullptr);
        if (!node)
            return E_OUTOFMEMORY;
        m_tree->detach(node);
        *element = newNode(m_tree, node);
        return S_OK;
    }

    STDMETHODIMP save(const OLECHAR* path) override
    {
        if (!path)
            return E_POINTER;
        if (!xmlDocGetRootElement(m_tree->doc()))
            return E_UNEXPECTED;
        return replaceFile(path, m_tree->serialize());
    }

private:
    HRESULT replace(const std::string& text, bool fromFile)
    {
        HRESULT result = S_OK;
        std::shared_ptr<Tree> parsed = Tree::parse(text, fromFile, &result);
        if (parsed)
            m_tree = std::move(parsed);
        return result;
    }

    std::shared_ptr<Tree> m_tree = std::make_shared<Tree>();
};

// The class exists once the library is loaded, as for every class of the device's COM.
struct Registration
{
    Registration()
    {
        // libxml2's global set-up is not safe to race, so it happens here, once, at load.
        xmlInitParser();
        os::registerClass(CLSID_XmlDocument, os::createObject<Document>);
    }
    ~Registration() { os::unregisterClass(CLSID_XmlDocument); }
} g_registration;
} // namespace
} // namespace xmldom
