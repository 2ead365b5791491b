// For tests: the platform's loader, but libraries and entries can be taken away, and
// every load and free is counted by library name.
#pragma once

#include <library_loader.h>

#include <os/text.h>

#include <map>
#include <set>
#include <string>

namespace setupdesk::testing
{
class FilteringLoader final : public LibraryLoader
{
public:
    // The library of that name ("ZrConfigCore.dll") cannot be loaded.
    void removeLibrary(const std::u16string& name) { m_removedLibraries.insert(name); }
    // No library has an entry of that name.
    void removeEntry(const std::string& name) { m_removedEntries.insert(name); }

    HMODULE load(const char16_t* name) override
    {
        if (m_removedLibraries.count(name))
            return nullptr;
        HMODULE module = platformLibraryLoader().load(name);
        if (module)
        {
            ++m_loaded[name];
            m_names[module] = name;
        }
        return module;
    }
    FARPROC entry(HMODULE module, const char* name) override
    {
        return m_removedEntries.count(name) ? nullptr : platformLibraryLoader().entry(module, name);
    }
    void free(HMODULE module) override
    {
        ++m_freed[m_names[module]];
        platformLibraryLoader().free(module);
    }

    int loads(const std::u16string& name) const
    {
        const auto found = m_loaded.find(name);
        return found == m_loaded.end() ? 0 : found->second;
    }
    int frees(const std::u16string& name) const
    {
        const auto found = m_freed.find(name);
        return found == m_freed.end() ? 0 : found->second;
    }

private:
    std::set<std::u16string> m_removedLibraries;
    std::set<std::string> m_removedEntries;
    std::map<std::u16string, int> m_loaded;
    std::map<HMODULE, std::u16string> m_names;
    std::map<std::u16string, int> m_freed;
};
} // namespace setupdesk::testing
