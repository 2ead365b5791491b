#include <os/deviceroot.h>
#include <os/handle.h>
#include <os/registry.h>
#include <os/text.h>

#include "event_log.h"
#include "power_seed.h"
#include "registry_tree.h"
#include "shared_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <optional>

using os::detail::FileLock;
using os::detail::readWholeFile;
using os::detail::RegistryKey;
using os::detail::RegistryTree;
using os::detail::writeWholeFile;

namespace
{
constexpr const char* kFileName = "registry.reg";
constexpr const char* kFragmentFolder = "registry.d";
// Damaged files kept at most; with all names taken the damaged file is not rewritten.
constexpr int kKeptDamaged = 5;

// Identifies one version of the file: every write replaces it by a new file.
struct Stamp
{
    ino_t inode = 0;
    off_t size = -1;
    timespec modified{};
    bool operator==(const Stamp& other) const
    {
        return inode == other.inode && size == other.size && modified.tv_sec == other.modified.tv_sec &&
               modified.tv_nsec == other.modified.tv_nsec;
    }
};

// A new version's modification time lies after that of the version it replaces. With
// the inode reused at once and the same size, the time alone tells two versions apart,
// also where the clock has not moved on between two writes.
timespec laterThan(const timespec& previous)
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    if (now.tv_sec > previous.tv_sec || (now.tv_sec == previous.tv_sec && now.tv_nsec > previous.tv_nsec))
        return now;
    timespec next = previous;
    if (++next.tv_nsec == 1000000000)
    {
        next.tv_nsec = 0;
        ++next.tv_sec;
    }
    return next;
}

// The registry of the current device root as this process last read it.
class RegistryStore
{
public:
    // Runs a reading operation on the current state.
    template <class Operation> LONG read(Operation operation)
    {
        std::lock_guard lock(m_mutex);
        const LONG loaded = refresh();
        if (loaded != ERROR_SUCCESS)
            return loaded;
        return operation(static_cast<const RegistryTree&>(m_tree));
    }

    // Runs a changing operation on the newest state under the device-wide lock and
    // writes the result; operation(tree, changed) sets `changed` when it changed anything.
    template <class Operation> LONG write(Operation operation)
    {
        std::lock_guard lock(m_mutex);
        const LONG loaded = refresh();
        if (loaded != ERROR_SUCCESS)
            return loaded;
        FileLock fileLock(m_path + ".lock");
        if (!fileLock.held())
            return ERROR_CANTWRITE;
        const LONG reloaded = load();
        if (reloaded != ERROR_SUCCESS)
            return reloaded;
        bool changed = false;
        const LONG result = operation(m_tree, changed);
        if (result == ERROR_SUCCESS && changed)
            return save();
        return result;
    }

private:
    // Follows the device root (it may change between tests) and the file's version.
    LONG refresh()
    {
        const std::string path = os::deviceRoot() + "/" + kFileName;
        if (path != m_path)
        {
            m_path = path;
            m_stamp = Stamp{};
            m_tree = RegistryTree();
            m_damaged.reset();
        }
        struct stat info
        {
        };
        if (stat(m_path.c_str(), &info) != 0)
        {
            FileLock fileLock(m_path + ".lock");
            if (stat(m_path.c_str(), &info) != 0)
                return seed();
        }
        if (stampOf(info) == m_stamp)
            return ERROR_SUCCESS;
        return load();
    }

    LONG load()
    {
        const int fd = os::openDeviceFile(m_path, O_RDONLY);
        if (fd < 0 && errno == ENOENT)
            return seed();
        if (fd < 0)
        {
            std::fprintf(stderr, "registry: %s cannot be read: %s\n", m_path.c_str(), std::strerror(errno));
            return ERROR_CANTREAD;
        }
        struct stat info
        {
        };
        std::string text;
        const bool ok = fstat(fd, &info) == 0 && readWholeFile(fd, text);
        close(fd);
        if (!ok)
            return ERROR_CANTREAD;
        const Stamp stamp = stampOf(info);
        if (stamp == m_stamp)
            return ERROR_SUCCESS;
        RegistryTree tree;
        const size_t bad = tree.merge(text);
        if (bad)
        {
            std::fprintf(stderr, "registry: %zu unreadable line(s) in %s skipped\n", bad, m_path.c_str());
            m_damaged = Damaged{std::move(text), bad};
        }
        else
        {
            m_damaged.reset();
        }
        m_tree = std::move(tree);
        m_stamp = stamp;
        return ERROR_SUCCESS;
    }

    // A new device root starts with the fragments shipped beside the program (and with
    // the default power supplies, which have no registry of their own).
    LONG seed()
    {
        os::detail::seedPowerSupplies(m_path.substr(0, m_path.rfind('/')));
        RegistryTree tree;
        const std::string folder = os::programDirectory() + "/" + kFragmentFolder;
        std::vector<std::string> fragments;
        if (DIR* directory = opendir(folder.c_str()))
        {
            while (const dirent* entry = readdir(directory))
            {
                const std::string name = entry->d_name;
                if (name.size() > 4 && os::equalsNoCase(name.substr(name.size() - 4), ".reg"))
                    fragments.push_back(name);
            }
            closedir(directory);
        }
        std::sort(fragments.begin(), fragments.end());
        for (const std::string& name : fragments)
        {
            const int fd = open((folder + "/" + name).c_str(), O_RDONLY | O_CLOEXEC);
            std::string text;
            if (fd >= 0 && readWholeFile(fd, text))
            {
                if (const size_t bad = tree.merge(text))
                    std::fprintf(stderr, "registry: %zu unreadable line(s) in %s skipped\n", bad,
                                 name.c_str());
            }
            if (fd >= 0)
                close(fd);
        }
        nameTheDevice(tree);
        m_tree = std::move(tree);
        m_damaged.reset();
        return save();
    }

    // The device's name (HKLM\Ident "Name") is its host name unless a fragment sets it.
    static void nameTheDevice(RegistryTree& tree)
    {
        bool created = false;
        RegistryKey& ident =
            tree.top().createSubkey(u"HKEY_LOCAL_MACHINE", created).createSubkey(u"Ident", created);
        char host[256] = {};
        if (ident.findValue(u"Name") || gethostname(host, sizeof host - 1) != 0)
            return;
        std::u16string name = os::toUtf16(host);
        name.push_back(u'\0');
        const auto* bytes = reinterpret_cast<const uint8_t*>(name.data());
        ident.setValue(u"Name", REG_SZ, std::vector<uint8_t>(bytes, bytes + name.size() * sizeof(char16_t)));
    }

    // A file with unreadable lines is kept whole before the first write replaces it: what
    // could not be read is not lost. Each damaged file gets a name of its own
    // ("registry.reg.bad", then ".bad.1" and on); a kept one is never overwritten.
    bool keepDamaged()
    {
        const std::string temporary = m_path + ".bad.tmp";
        const int fd = os::detail::createTemporary(temporary, 0666);
        if (fd < 0)
            return false;
        const bool written = writeWholeFile(fd, m_damaged->text) && fsync(fd) == 0;
        close(fd);
        std::string kept;
        for (int copy = 0; written && kept.empty() && copy < kKeptDamaged; ++copy)
        {
            const std::string name = m_path + ".bad" + (copy ? "." + std::to_string(copy) : "");
            // A link, unlike a rename, fails where the name is taken.
            if (link(temporary.c_str(), name.c_str()) == 0)
                kept = name;
            else if (errno != EEXIST)
                break;
        }
        unlink(temporary.c_str());
        if (kept.empty())
        {
            std::fprintf(stderr, "registry: %s cannot be kept (as .bad, or .bad.1 to .bad.%d); it is not replaced\n",
                         m_path.c_str(), kKeptDamaged - 1);
            return false;
        }
        const std::string report = m_path + " had " + std::to_string(m_damaged->lines) +
                                   " unreadable line(s); it is kept as " + kept + " before it is rewritten";
        std::fprintf(stderr, "registry: %s\n", report.c_str());
        os::detail::appendEventLine("Registry", os::detail::kEventError, report);
        return true;
    }

    // Temporary file, flushed, then renamed over the old one: readers see the old
    // or the new registry, never a part of it.
    LONG save()
    {
        if (m_damaged && !keepDamaged())
        {
            m_stamp = Stamp{}; // read again on the next call, damage and all
            return ERROR_CANTWRITE;
        }
        const std::string temporary = m_path + ".tmp";
        const int fd = os::detail::createTemporary(temporary, 0666);
        if (fd < 0)
            return ERROR_CANTWRITE;
        const timespec times[2] = {{0, UTIME_OMIT}, laterThan(m_stamp.modified)};
        const bool written =
            writeWholeFile(fd, m_tree.format()) && futimens(fd, times) == 0 && fsync(fd) == 0;
        struct stat info
        {
        };
        const bool stamped = fstat(fd, &info) == 0;
        close(fd);
        if (!written || !stamped || rename(temporary.c_str(), m_path.c_str()) != 0)
        {
            unlink(temporary.c_str());
            m_stamp = Stamp{}; // re-read on the next call: the file still holds the last state
            return ERROR_CANTWRITE;
        }
        m_stamp = stampOf(info);
        m_damaged.reset();
        return ERROR_SUCCESS;
    }

    static Stamp stampOf(const struct stat& info) { return Stamp{info.st_ino, info.st_size, info.st_mtim}; }

    // The text of the file as read when lines of it could not be read.
    struct Damaged
    {
        std::string text;
        size_t lines = 0;
    };

    std::mutex m_mutex;
    std::string m_path;
    Stamp m_stamp;
    RegistryTree m_tree;
    std::optional<Damaged> m_damaged;
};

RegistryStore& store()
{
    static auto* instance = new RegistryStore;
    return *instance;
}

// An open key: its path from the top, looked up again at every call.
class KeyObject : public os::HandleObject
{
public:
    explicit KeyObject(std::vector<std::u16string> path) : path(std::move(path)) {}
    std::vector<std::u16string> path;
};

const char16_t* rootName(HKEY key)
{
    if (key == HKEY_CLASSES_ROOT)
        return u"HKEY_CLASSES_ROOT";
    if (key == HKEY_CURRENT_USER)
        return u"HKEY_CURRENT_USER";
    if (key == HKEY_LOCAL_MACHINE)
        return u"HKEY_LOCAL_MACHINE";
    if (key == HKEY_USERS)
        return u"HKEY_USERS";
    return nullptr;
}

// The path of a key handle; false for an unknown handle.
bool keyPath(HKEY key, std::vector<std::u16string>& path)
{
    if (const char16_t* root = rootName(key))
    {
        path = {root};
        return true;
    }
    auto object = os::handleObjectAs<KeyObject>(reinterpret_cast<HANDLE>(key));
    if (!object)
        return false;
    path = object->path;
    return true;
}

RegistryKey* find(const RegistryKey& top, const std::vector<std::u16string>& path)
{
    const RegistryKey* key = &top;
    for (const auto& element : path)
    {
        key = key->findSubkey(element);
        if (!key)
            return nullptr;
    }
    return const_cast<RegistryKey*>(key);
}

bool validName(LPCWSTR name)
{
    for (const WCHAR* c = name; c && *c; ++c)
        if (*c < 0x20)
            return false;
    return true;
}

std::u16string valueName(LPCWSTR name)
{
    return name ? std::u16string(name) : std::u16string();
}

// Copies a name into a caller's buffer sized in characters with the terminator.
LONG deliverName(const std::u16string& name, LPWSTR buffer, LPDWORD size)
{
    if (!size)
        return ERROR_INVALID_PARAMETER;
    if (!buffer || *size < name.size() + 1)
    {
        *size = static_cast<DWORD>(name.size());
        return ERROR_MORE_DATA;
    }
    std::copy(name.begin(), name.end(), buffer);
    buffer[name.size()] = u'\0';
    *size = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

LONG deliverData(const os::detail::RegistryValue& value, LPDWORD type, LPBYTE data, LPDWORD size)
{
    if (type)
        *type = value.type;
    if (data && !size)
        return ERROR_INVALID_PARAMETER;
    if (!size)
        return ERROR_SUCCESS;
    const DWORD needed = static_cast<DWORD>(value.data.size());
    if (data && *size < needed)
    {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    if (data)
        std::copy(value.data.begin(), value.data.end(), data);
    *size = needed;
    return ERROR_SUCCESS;
}

// Keys carry no class and no write time here.
void noClassNorTime(LPWSTR keyClass, LPDWORD classSize, LPFILETIME lastWriteTime)
{
    if (keyClass && classSize && *classSize > 0)
        keyClass[0] = u'\0';
    if (classSize)
        *classSize = 0;
    if (lastWriteTime)
        *lastWriteTime = FILETIME{};
}

// Resolves a key handle and runs a reading operation on the key.
template <class Operation> LONG readKey(HKEY key, Operation operation)
{
    std::vector<std::u16string> path;
    if (!keyPath(key, path))
        return ERROR_INVALID_HANDLE;
    return store().read(
        [&](const RegistryTree& tree) -> LONG
        {
            const RegistryKey* node = find(tree.top(), path);
            return node ? operation(*node) : ERROR_KEY_DELETED;
        });
}

template <class Operation> LONG writeKey(HKEY key, Operation operation)
{
    std::vector<std::u16string> path;
    if (!keyPath(key, path))
        return ERROR_INVALID_HANDLE;
    return store().write(
        [&](RegistryTree& tree, bool& changed) -> LONG
        {
            RegistryKey* node = find(tree.top(), path);
            return node ? operation(*node, changed) : ERROR_KEY_DELETED;
        });
}

HKEY registerKey(std::vector<std::u16string> path)
{
    return reinterpret_cast<HKEY>(os::registerHandle(std::make_shared<KeyObject>(std::move(path))));
}
} // namespace

namespace os
{
std::string registryFilePath()
{
    return deviceRoot() + "/" + kFileName;
}

std::optional<DWORD> queryNumber(HKEY key, LPCWSTR valueName)
{
    DWORD type = 0, value = 0, size = sizeof value;
    if (RegQueryValueExW(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof value)
        return std::nullopt;
    return value;
}

HKEY rootKeyNamed(std::u16string_view name)
{
    struct Root
    {
        const char16_t* shortName;
        HKEY key;
    };
    static const Root roots[] = {{u"HKCR", HKEY_CLASSES_ROOT},
                                 {u"HKCU", HKEY_CURRENT_USER},
                                 {u"HKLM", HKEY_LOCAL_MACHINE},
                                 {u"HKU", HKEY_USERS}};
    for (const Root& root : roots)
        if (compareNoCase(name, root.shortName) == 0 || compareNoCase(name, rootName(root.key)) == 0)
            return root.key;
    return nullptr;
}

LONG protectRegistryKey(HKEY key, LPCWSTR subKey, bool isProtected)
{
    const auto elements = os::detail::splitKeyPath(subKey ? subKey : u"");
    return writeKey(key,
                    [&](RegistryKey& node, bool& changed) -> LONG
                    {
                        RegistryKey* target = &node;
                        for (const auto& element : elements)
                        {
                            target = target->findSubkey(element);
                            if (!target)
                                return ERROR_FILE_NOT_FOUND;
                        }
                        changed = target->isProtected() != isProtected;
                        target->setProtected(isProtected);
                        return ERROR_SUCCESS;
                    });
}
} // namespace os

extern "C" LONG RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD, REGSAM, PHKEY result)
{
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    std::vector<std::u16string> path;
    if (!keyPath(key, path))
        return ERROR_INVALID_HANDLE;
    for (auto& element : os::detail::splitKeyPath(subKey ? subKey : u""))
        path.push_back(std::move(element));
    const LONG found = store().read(
        [&](const RegistryTree& tree) -> LONG
        {
            const RegistryKey* node = find(tree.top(), path);
            if (!node)
                return ERROR_FILE_NOT_FOUND;
            // Keep the names as stored, so the handle shows the key's own spelling.
            const RegistryKey* walk = &tree.top();
            for (auto& element : path)
            {
                walk = walk->findSubkey(element);
                element = walk->name();
            }
            return ERROR_SUCCESS;
        });
    if (found != ERROR_SUCCESS)
        return found;
    *result = registerKey(std::move(path));
    return ERROR_SUCCESS;
}

extern "C" LONG RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD, LPWSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES,
                                PHKEY result, LPDWORD disposition)
{
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    if (!validName(subKey))
        return ERROR_INVALID_PARAMETER;
    std::vector<std::u16string> path;
    if (!keyPath(key, path))
        return ERROR_INVALID_HANDLE;
    const size_t parentDepth = path.size();
    for (auto& element : os::detail::splitKeyPath(subKey ? subKey : u""))
        path.push_back(std::move(element));
    bool createdAny = false;
    const LONG made = store().write(
        [&](RegistryTree& tree, bool& changed) -> LONG
        {
            RegistryKey* node =
                find(tree.top(), std::vector<std::u16string>(path.begin(), path.begin() + parentDepth));
            if (!node)
                return ERROR_KEY_DELETED;
            for (size_t i = parentDepth; i < path.size(); ++i)
            {
                bool created = false;
                node = &node->createSubkey(path[i], created);
                path[i] = node->name();
                createdAny = createdAny || created;
            }
            changed = createdAny;
            return ERROR_SUCCESS;
        });
    if (made != ERROR_SUCCESS)
        return made;
    if (disposition)
        *disposition = createdAny ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    *result = registerKey(std::move(path));
    return ERROR_SUCCESS;
}

extern "C" LONG RegCloseKey(HKEY key)
{
    if (rootName(key))
        return ERROR_SUCCESS;
    if (!os::handleObjectAs<KeyObject>(reinterpret_cast<HANDLE>(key)))
        return ERROR_INVALID_HANDLE;
    CloseHandle(reinterpret_cast<HANDLE>(key));
    return ERROR_SUCCESS;
}

extern "C" LONG RegFlushKey(HKEY key)
{
    // Every change is on disk when its call returns.
    return readKey(key, [](const RegistryKey&) -> LONG { return ERROR_SUCCESS; });
}

extern "C" LONG RegQueryValueExW(HKEY key, LPCWSTR name, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD dataSize)
{
    return readKey(key,
                   [&](const RegistryKey& node) -> LONG
                   {
                       const auto* value = node.findValue(valueName(name));
                       return value ? deliverData(*value, type, data, dataSize) : ERROR_FILE_NOT_FOUND;
                   });
}

extern "C" LONG RegSetValueExW(HKEY key, LPCWSTR name, DWORD, DWORD type, const BYTE* data, DWORD dataSize)
{
    if ((!data && dataSize > 0) || !validName(name))
        return ERROR_INVALID_PARAMETER;
    std::vector<uint8_t> bytes(data, data + dataSize);
    return writeKey(key,
                    [&](RegistryKey& node, bool& changed) -> LONG
                    {
                        const auto* existing = node.findValue(valueName(name));
                        changed = !existing || existing->type != type || existing->data != bytes;
                        if (changed)
                            node.setValue(valueName(name), type, std::move(bytes));
                        return ERROR_SUCCESS;
                    });
}

extern "C" LONG RegDeleteValueW(HKEY key, LPCWSTR name)
{
    return writeKey(key,
                    [&](RegistryKey& node, bool& changed) -> LONG
                    {
                        changed = node.deleteValue(valueName(name));
                        return changed ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
                    });
}

extern "C" LONG RegDeleteKeyW(HKEY key, LPCWSTR subKey)
{
    const auto elements = os::detail::splitKeyPath(subKey ? subKey : u"");
    if (elements.empty())
        return ERROR_INVALID_PARAMETER; // a key does not delete itself
    return writeKey(key,
                    [&](RegistryKey& node, bool& changed) -> LONG
                    {
                        RegistryKey* parent = &node;
                        for (size_t i = 0; i + 1 < elements.size() && parent; ++i)
                            parent = parent->findSubkey(elements[i]);
                        const RegistryKey* target = parent ? parent->findSubkey(elements.back()) : nullptr;
                        if (!target)
                            return ERROR_FILE_NOT_FOUND;
                        if (target->holdsProtected())
                            return ERROR_ACCESS_DENIED;
                        changed = parent->deleteSubkey(elements.back());
                        return ERROR_SUCCESS;
                    });
}

extern "C" LONG RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameSize, LPDWORD, LPWSTR keyClass,
                              LPDWORD classSize, LPFILETIME lastWriteTime)
{
    return readKey(key,
                   [&](const RegistryKey& node) -> LONG
                   {
                       if (index >= node.subkeys().size())
                           return ERROR_NO_MORE_ITEMS;
                       noClassNorTime(keyClass, classSize, lastWriteTime);
                       return deliverName(node.subkeys()[index]->name(), name, nameSize);
                   });
}

extern "C" LONG RegEnumValueW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameSize, LPDWORD, LPDWORD type,
                              LPBYTE data, LPDWORD dataSize)
{
    return readKey(key,
                   [&](const RegistryKey& node) -> LONG
                   {
                       if (index >= node.values().size())
                           return ERROR_NO_MORE_ITEMS;
                       const auto& value = node.values()[index];
                       const LONG named = deliverName(value.name, name, nameSize);
                       const LONG delivered = deliverData(value, type, data, dataSize);
                       return named != ERROR_SUCCESS ? named : delivered;
                   });
}

extern "C" LONG RegQueryInfoKeyW(HKEY key, LPWSTR keyClass, LPDWORD classSize, LPDWORD, LPDWORD subKeys,
                                 LPDWORD maxSubKeyLength, LPDWORD maxClassLength, LPDWORD values,
                                 LPDWORD maxValueNameLength, LPDWORD maxValueLength,
                                 LPDWORD securityDescriptor, LPFILETIME lastWriteTime)
{
    return readKey(key,
                   [&](const RegistryKey& node) -> LONG
                   {
                       size_t longestKey = 0;
                       for (const auto& subkey : node.subkeys())
                           longestKey = std::max(longestKey, subkey->name().size());
                       size_t longestName = 0;
                       size_t longestData = 0;
                       for (const auto& value : node.values())
                       {
                           longestName = std::max(longestName, value.name.size());
                           longestData = std::max(longestData, value.data.size());
                       }
                       noClassNorTime(keyClass, classSize, lastWriteTime);
                       if (subKeys)
                           *subKeys = static_cast<DWORD>(node.subkeys().size());
                       if (maxSubKeyLength)
                           *maxSubKeyLength = static_cast<DWORD>(longestKey);
                       if (maxClassLength)
                           *maxClassLength = 0;
                       if (values)
                           *values = static_cast<DWORD>(node.values().size());
                       if (maxValueNameLength)
                           *maxValueNameLength = static_cast<DWORD>(longestName);
                       if (maxValueLength)
                           *maxValueLength = static_cast<DWORD>(longestData);
                       if (securityDescriptor)
                           *securityDescriptor = 0;
                       return ERROR_SUCCESS;
                   });
}
