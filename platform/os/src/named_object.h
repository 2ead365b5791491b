// Files in the device root that carry the state of named objects shared by
// every process of the device.
#pragma once

#include <os/deviceroot.h>
#include <os/handle.h>
#include <os/text.h>
#include <os/types.h>

#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

namespace os::detail
{
// One open state file of a named object. Each process using the object holds a
// shared lock on it, so a creator that finds no other user starts the object afresh.
class SharedObjectFile
{
public:
    // kind: "event", "mutex"; sets `created` when the object started afresh.
    static std::unique_ptr<SharedObjectFile> open(const std::u16string& name, const char* kind, size_t size,
                                                  bool mayCreate, bool& created);
    ~SharedObjectFile();
    void* data() const { return m_data; }
    // A path next to the state file for further lock files.
    const std::string& path() const { return m_path; }

private:
    SharedObjectFile() = default;
    int m_fd = -1;
    void* m_data = nullptr;
    size_t m_size = 0;
    std::string m_path;
};

// The objects of one kind by name within this process, so that every handle of
// a name reaches the same object.
template <class T> class NamedObjectTable
{
public:
    // Returns a new handle on the object of that name, opening its state file when
    // this process has no handle on it yet; `make(file, created)` builds the object.
    // The last error is ERROR_ALREADY_EXISTS when the object existed before.
    template <class Make>
    HANDLE open(const std::u16string& name, const char* kind, size_t size, bool mayCreate, Make make)
    {
        std::lock_guard lock(mutex);
        // Per device root, as the root of a process may change (tests use a fresh one each).
        const std::u16string key = toUtf16(deviceRoot()) + u'|' + name;
        if (auto existing = objects[key].lock())
        {
            HANDLE handle = registerHandle(existing);
            SetLastError(ERROR_ALREADY_EXISTS);
            return handle;
        }
        bool created = false;
        auto file = SharedObjectFile::open(name, kind, size, mayCreate, created);
        if (!file)
            return nullptr;
        std::shared_ptr<T> object = make(std::move(file), created);
        if (!object)
            return nullptr;
        objects[key] = object;
        HANDLE handle = registerHandle(object);
        SetLastError(created ? ERROR_SUCCESS : ERROR_ALREADY_EXISTS);
        return handle;
    }

private:
    std::mutex mutex;
    std::unordered_map<std::u16string, std::weak_ptr<T>> objects;
};

// The Open... call of a named object kind: the name is required and must exist;
// `open(name)` opens it without creating.
template <class Open> HANDLE openExistingNamed(LPCWSTR name, Open open)
{
    if (!name || !*name)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    HANDLE handle = open(std::u16string(name));
    if (handle)
        SetLastError(ERROR_SUCCESS);
    return handle;
}
} // namespace os::detail
