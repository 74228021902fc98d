// The loader seam over dlopen. The vendor library is normally already mapped,
// as the program links it; dlopen by its soname then returns that same copy.
#include <dlfcn.h>

#include "d2xx/library_loader.h"

namespace d2xx {
namespace {

class PosixLibraryLoader final : public LibraryLoader {
public:
    Library Load(const char* fileName) override { return dlopen(fileName, RTLD_NOW | RTLD_LOCAL); }

    Symbol Find(Library library, const char* name) override {
        return reinterpret_cast<Symbol>(dlsym(library, name));
    }

    void Release(Library library) override { dlclose(library); }
};

}  // namespace

const char* VendorLibraryFileName() { return "libftd2xx.so"; }

LibraryLoader& PlatformLibraryLoader() {
    static PosixLibraryLoader loader;
    return loader;
}

}  // namespace d2xx
