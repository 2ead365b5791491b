// How the program binds libraries by name. Every binding goes through a loader, so that
// tests can take a library or one of its entries away; the program uses the platform's.
#pragma once

#include <windows.h>

namespace setupdesk
{
class LibraryLoader
{
public:
    virtual ~LibraryLoader() = default;
    // Null when the library cannot be loaded.
    virtual HMODULE load(const char16_t* name) = 0;
    // Null when the library has no such entry.
    virtual FARPROC entry(HMODULE module, const char* name) = 0;
    virtual void free(HMODULE module) = 0;
};

// LoadLibrary, GetProcAddress and FreeLibrary.
LibraryLoader& platformLibraryLoader();

// A library bound through a loader for the life of the object.
class BoundLibrary
{
public:
    BoundLibrary(LibraryLoader& loader, const char16_t* name) : m_loader(loader), m_module(loader.load(name))
    {
    }
    ~BoundLibrary() { release(); }
    BoundLibrary(const BoundLibrary&) = delete;
    BoundLibrary& operator=(const BoundLibrary&) = delete;

    bool loaded() const { return m_module != nullptr; }
    // The entry as its function type; null when the library or the entry is missing.
    template <class Function> Function entry(const char* name) const
    {
        return m_module ? reinterpret_cast<Function>(m_loader.entry(m_module, name)) : nullptr;
    }
    // Frees the library now.
    void release()
    {
        if (m_module)
            m_loader.free(m_module);
        m_module = nullptr;
    }

private:
    LibraryLoader& m_loader;
    HMODULE m_module;
};
} // namespace setupdesk
