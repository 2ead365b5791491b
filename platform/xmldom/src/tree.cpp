#include "tree.h"

#include <xmldom/xmldom.h>

#include <os/replace_file.h>

#include <libxml/parser.h>
#include <libxml/xmlsave.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace xmldom
{
namespace
{
constexpr const char kBom[] = "\xEF\xBB\xBF";

bool blank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The text after a UTF-8 byte order mark, if it has one.
std::string_view withoutBom(const std::string& text)
{
    std::string_view view(text);
    if (view.substr(0, 3) == kBom)
        view.remove_prefix(3);
    return view;
}

HRESULT readError(int error)
{
    switch (error)
    {
    case ENOENT:
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    case ENOTDIR:
        return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    case EACCES:
    case EPERM:
        return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
    default:
        return HRESULT_FROM_WIN32(ERROR_READ_FAULT);
    }
}
} // namespace

Tree::Tree() : m_doc(xmlNewDoc(BAD_CAST "1.0")) {}

Tree::~Tree()
{
    // Detached nodes may use the document's name dictionary: they go first.
    for (xmlNodePtr node : m_detached)
        xmlFreeNode(node);
    xmlFreeDoc(m_doc);
}

std::shared_ptr<Tree> Tree::parse(const std::string& text, bool fromFile, HRESULT* result)
{
    const std::string_view body = withoutBom(text);
    auto tree = std::make_shared<Tree>();
    *result = S_OK;
    if (std::all_of(body.begin(), body.end(), blank))
        return tree;
    const int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
    xmlDocPtr doc = xmlReadMemory(text.data(), static_cast<int>(text.size()), nullptr,
                                  fromFile ? nullptr : "UTF-8", options);
    // A document type could define entities that expand without bound: such a file is refused.
    if (!doc || doc->intSubset || doc->extSubset)
    {
        if (doc)
            xmlFreeDoc(doc);
        *result = XMLDOM_E_MALFORMED;
        return nullptr;
    }
    xmlFreeDoc(tree->m_doc);
    tree->m_doc = doc;
    tree->m_declaration = body.substr(0, 5) == "<?xml";
    return tree;
}

void Tree::detach(xmlNodePtr node)
{
    if (std::find(m_detached.begin(), m_detached.end(), node) == m_detached.end())
        m_detached.push_back(node);
}

void Tree::attach(xmlNodePtr node)
{
    m_detached.erase(std::remove(m_detached.begin(), m_detached.end(), node), m_detached.end());
}

std::string Tree::serialize() const
{
    xmlBufferPtr buffer = xmlBufferCreate();
    const int options = m_declaration ? 0 : XML_SAVE_NO_DECL;
    xmlSaveCtxtPtr save = xmlSaveToBuffer(buffer, reinterpret_cast<const char*>(m_doc->encoding), options);
    std::string text;
    if (save)
    {
        xmlSaveDoc(save, m_doc);
        xmlSaveClose(save);
        text.assign(reinterpret_cast<const char*>(xmlBufferContent(buffer)), xmlBufferLength(buffer));
    }
    xmlBufferFree(buffer);
    return text;
}

HRESULT readFile(const std::u16string& path, std::string& contents)
{
    const auto host = os::toHostPath(path);
    if (!host)
        return HRESULT_FROM_WIN32(ERROR_BAD_PATHNAME);
    const int fd = ::open(host->c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return readError(errno);
    struct stat info
    {
    };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
    {
        ::close(fd);
        return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
    }
    contents.clear();
    char block[8192];
    for (;;)
    {
        const ssize_t got = ::read(fd, block, sizeof block);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
        {
            ::close(fd);
            return HRESULT_FROM_WIN32(ERROR_READ_FAULT);
        }
        if (got == 0)
            break;
        contents.append(block, static_cast<size_t>(got));
    }
    ::close(fd);
    return S_OK;
}

HRESULT replaceFile(const std::u16string& path, const std::string& contents)
{
    const auto host = os::toHostPath(path);
    if (!host)
        return HRESULT_FROM_WIN32(ERROR_BAD_PATHNAME);
    const DWORD error = os::replaceFileContents(*host, contents);
    return error == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(error);
}

BSTR toBstr(const xmlChar* text)
{
    const std::u16string wide = os::toUtf16(text ? reinterpret_cast<const char*>(text) : "");
    return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

std::string toUtf8(const OLECHAR* text)
{
    return os::toUtf8(text);
}
} // namespace xmldom
