#include "system_config.h"

#include "quberon_system.h"
#include "registry_values.h"

#include <xmldom/xmldom.h>

#include <vector>

namespace setupdesk
{
namespace
{
constexpr const char16_t* kProcesses = u"QbBootProject/Processes";
constexpr const char16_t* kProcessPath = u"QbBootProject/Processes/Process";
constexpr const char16_t* kSkeleton = u"<QbBootProject><Processes></Processes></QbBootProject>";
constexpr const char16_t* kLoggerProcess = u"<Process><Filename>QbEventLoggerCE.exe</Filename><Type>0</Type>"
                                           u"<Index>10</Index></Process>";

// A COM reference that is released with the scope.
template <class T> class Ref
{
public:
    Ref() = default;
    ~Ref()
    {
        if (m_object)
            m_object->Release();
    }
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    T** out() { return &m_object; }
    T* operator->() const { return m_object; }
    T* get() const { return m_object; }
    explicit operator bool() const { return m_object != nullptr; }

private:
    T* m_object = nullptr;
};

bool createDocument(Ref<IXmlDocument>& document)
{
    return SUCCEEDED(CoCreateInstance(CLSID_XmlDocument, nullptr, CLSCTX_INPROC_SERVER, IID_IXmlDocument,
                                      reinterpret_cast<void**>(document.out())));
}

bool isLogger(IXmlNode* process)
{
    Ref<IXmlNode> file;
    BSTR text = nullptr;
    if (process->selectSingleNode(u"Filename", file.out()) != S_OK || FAILED(file->get_text(&text)))
        return false;
    const bool logger = os::compareNoCase(text, u"QbEventLoggerCe.exe") == 0;
    SysFreeString(text);
    return logger;
}

// Every logger process element of the document, each with a reference the caller releases.
std::vector<IXmlNode*> loggers(IXmlDocument* document)
{
    std::vector<IXmlNode*> found;
    Ref<IXmlNodeList> processes;
    LONG length = 0;
    if (FAILED(document->selectNodes(kProcessPath, processes.out())) ||
        FAILED(processes->get_length(&length)))
        return found;
    for (LONG i = 0; i < length; ++i)
    {
        IXmlNode* process = nullptr;
        if (FAILED(processes->get_item(i, &process)))
            continue;
        if (isLogger(process))
            found.push_back(process);
        else
            process->Release();
    }
    return found;
}

void release(std::vector<IXmlNode*>& nodes)
{
    for (IXmlNode* node : nodes)
        node->Release();
    nodes.clear();
}

bool appendLogger(IXmlDocument* document)
{
    Ref<IXmlDocument> fragment;
    Ref<IXmlNode> processes, process;
    return createDocument(fragment) && SUCCEEDED(fragment->loadXML(kLoggerProcess)) &&
           fragment->get_documentElement(process.out()) == S_OK &&
           document->selectSingleNode(kProcesses, processes.out()) == S_OK &&
           SUCCEEDED(processes->appendChild(process.get(), nullptr));
}

bool removeLoggers(std::vector<IXmlNode*>& found)
{
    for (IXmlNode* logger : found)
    {
        Ref<IXmlNode> parent;
        if (logger->get_parentNode(parent.out()) != S_OK || FAILED(parent->removeChild(logger)))
            return false;
    }
    return true;
}
} // namespace

std::u16string systemConfigPath()
{
    if (quberonMajorVersion() <= 2)
        return u"\\Hard Disk\\Quberon\\Boot\\SystemConfig.xml";
    RegKey key;
    key.open(u"Software\\Corvanta\\Quberon3", KEY_READ);
    const std::string version = readString(key.get(), u"CurrentVersion").value_or("3.1");
    return u"\\Hard Disk\\Quberon\\" + os::toUtf16(version) + u"\\Boot\\SystemConfig.xml";
}

bool eventLoggerListed(const std::u16string& path)
{
    Ref<IXmlDocument> document;
    if (!createDocument(document) || FAILED(document->load(path.c_str())))
        return false;
    std::vector<IXmlNode*> found = loggers(document.get());
    const bool listed = !found.empty();
    release(found);
    return listed;
}

LoggerEdit setEventLogger(const std::u16string& path, bool listed)
{
    Ref<IXmlDocument> document;
    if (!createDocument(document) || FAILED(document->load(path.c_str())))
        return LoggerEdit::Untouched;
    Ref<IXmlNode> root;
    if (document->get_documentElement(root.out()) == S_FALSE && listed &&
        FAILED(document->loadXML(kSkeleton)))
        return LoggerEdit::Untouched;
    std::vector<IXmlNode*> found = loggers(document.get());
    bool edited = false;
    if (listed && found.empty())
    {
        if (!appendLogger(document.get()))
            return LoggerEdit::Untouched;
        edited = true;
    }
    else if (!listed && !found.empty())
    {
        edited = removeLoggers(found);
        if (!edited)
        {
            release(found);
            return LoggerEdit::Untouched;
        }
    }
    release(found);
    if (!edited)
        return LoggerEdit::Unchanged;
    return SUCCEEDED(document->save(path.c_str())) ? LoggerEdit::Saved : LoggerEdit::SaveFailed;
}
} // namespace setupdesk
