#include "boot_config.h"

#include "registry_values.h"
#include "xmlstream/xml_schema.h"

#include <os/debug.h>
#include <os/deviceroot.h>
#include <os/text.h>

#include <fcntl.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace setupdesk
{
namespace
{
constexpr const char16_t* kQuberon3Key = u"Software\\Corvanta\\Quberon3";
constexpr const char* kDriversEnd = "</Drivers>";
constexpr int kServiceFound = 100;

int serviceName(const std::string& text, void*)
{
    return text == "QbCOMPORTCONNECTION" ? kServiceFound : xml::kStopNone;
}

std::string withSlash(std::string folder)
{
    if (folder.empty() || folder.back() != '\\')
        folder += '\\';
    return folder;
}

std::optional<std::string> folderOf(HKEY key, const char16_t* name, const char* belowInstall)
{
    if (auto folder = readString(key, name))
        return withSlash(*folder);
    if (auto install = readString(key, u"InstallDir"))
        return withSlash(withSlash(*install) + belowInstall);
    return std::nullopt;
}

std::optional<std::string> below(const std::optional<std::string>& folder, const char* name)
{
    return folder ? std::optional<std::string>(*folder + name) : std::nullopt;
}

std::optional<std::string> hostPath(const std::string& devicePath)
{
    return os::toHostPath(devicePath);
}

std::string applyEdit(std::string line, bool add, bool& added)
{
    if (add)
    {
        const size_t end = added ? std::string::npos : line.find(kDriversEnd);
        if (end != std::string::npos)
        {
            line.insert(end, kSerialDriverElement);
            added = true;
        }
        return line;
    }
    for (size_t at; (at = line.find(kSerialDriverElement)) != std::string::npos;)
        line.erase(at, std::strlen(kSerialDriverElement));
    return line;
}
} // namespace

QuberonDirectories quberonDirectories()
{
    RegKey root;
    root.open(kQuberon3Key, KEY_READ);
    const auto version = readString(root.get(), u"CurrentVersion");
    if (!version)
        return {};
    RegKey key;
    if (!key.open((std::u16string(kQuberon3Key) + u"\\" + os::toUtf16(*version)).c_str(), KEY_READ))
        return {};
    return {folderOf(key.get(), u"TargetDir", "Target"), folderOf(key.get(), u"BootDir", "Boot"),
            folderOf(key.get(), u"DriverDir", "Driver")};
}

BootFiles bootFiles(BYTE quberonMajor)
{
    if (quberonMajor < 3)
        return {"\\Hard Disk\\Quberon\\DefaultConfig.xml", "\\Hard Disk\\Quberon\\Boot\\CurrentConfig.xml",
                "\\Hard Disk\\Quberon\\Boot\\AddInits\\AddInits.xml"};
    const QuberonDirectories folders = quberonDirectories();
    return {below(folders.target, "DefaultConfig.xml"), below(folders.target, "CurrentConfig.xml"),
            below(folders.boot, "AddInits\\AddInits.xml")};
}

bool holdsSerialConnection(const std::string& devicePath)
{
    const auto path = hostPath(devicePath);
    if (!path)
        return false;
    xml::CFileSource source(*path);
    if (!source.isOpen())
        return false;
    static const xml::ElementDescriptor driver[] = {
        xml::handlerElement(xml::kTokenStartTag, "ServiceName", serviceName)};
    static const xml::ElementDescriptor drivers[] = {xml::nestedElement("Driver", driver)};
    static const xml::ElementDescriptor project[] = {xml::nestedElement("Drivers", drivers)};
    static const xml::ElementDescriptor schema[] = {xml::nestedElement("QbBootProject", project)};
    xml::CXmlStream stream(source.callback());
    return xml::CXmlParser(stream, schema, nullptr).parse() == kServiceFound;
}

bool putLine(const std::string& line, std::FILE* file)
{
    return std::fputs(line.c_str(), file) >= 0;
}

bool editSerialConnection(const std::string& devicePath, bool add, LineWriter writer)
{
    const auto path = hostPath(devicePath);
    if (!path)
        return false;
    std::ifstream original(*path, std::ios::binary);
    if (!original)
        return false;
    const std::string temporary = (std::filesystem::path(*path).parent_path() / "ConfigTmp.xml").string();
    // The copy is made afresh and never written through a link left in its place.
    std::remove(temporary.c_str());
    std::FILE* file = os::openDeviceStream(temporary, O_WRONLY | O_CREAT | O_EXCL, "wb");
    if (!file)
        return false;
    bool ok = true;
    bool added = false;
    for (std::string line; ok && std::getline(original, line);)
    {
        if (!original.eof())
            line += '\n';
        if (!writer(applyEdit(std::move(line), add, added), file))
        {
            OutputDebugStringA("fputs failed");
            ok = false;
        }
    }
    ok = ok && !original.bad() && std::fflush(file) == 0 && ::fsync(fileno(file)) == 0;
    ok = std::fclose(file) == 0 && ok;
    // Only a complete copy replaces the file; otherwise it stays as it was.
    if (ok && std::rename(temporary.c_str(), path->c_str()) == 0)
        return true;
    std::remove(temporary.c_str());
    return false;
}

bool rewriteAddInits(const std::string& devicePath, bool create)
{
    const auto path = hostPath(devicePath);
    if (!path)
        return false;
    std::remove(path->c_str());
    if (!create)
        return true;
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(*path).parent_path(), ignored);
    std::FILE* file = std::fopen(path->c_str(), "wbx");
    if (!file)
        return false;
    const std::string text = std::string(kAddInitsText) + "\r\n";
    bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    ok = std::fclose(file) == 0 && ok;
    if (!ok)
        std::remove(path->c_str());
    return ok;
}
} // namespace setupdesk
