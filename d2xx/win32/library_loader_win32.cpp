// The loader seam over LoadLibraryA, GetProcAddress and FreeLibrary.
#include <windows.h>

#include "d2xx/library_loader.h"

namespace d2xx {
namespace {

class Win32LibraryLoader final : public LibraryLoader {
public:
    Library Load(const char* fileName) override { return LoadLibraryA(fileName); }

    Symbol Find(Library library, const char* name) override {
        return reinterpret_cast<Symbol>(GetProcAddress(static_cast<HMODULE>(library), name));
    }

    void Release(Library library) override { FreeLibrary(static_cast<HMODULE>(library)); }
};

}  // namespace

const char* VendorLibraryFileName() { return "FTD2XX.DLL"; }

LibraryLoader& PlatformLibraryLoader() {
    static Win32LibraryLoader loader;
    return loader;
}

}  // namespace d2xx
