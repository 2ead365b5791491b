#include "library_loader.h"

namespace setupdesk
{
namespace
{
class PlatformLoader final : public LibraryLoader
{
public:
    HMODULE load(const char16_t* name) override { return LoadLibraryW(name); }
    FARPROC entry(HMODULE module, const char* name) override { return GetProcAddress(module, name); }
    void free(HMODULE module) override { FreeLibrary(module); }
};
} // namespace

LibraryLoader& platformLibraryLoader()
{
    static PlatformLoader loader;
    return loader;
}
} // namespace setupdesk
