#pragma once
// The loader seam: the OS's run-time library loading, reduced to what the D2XX
// layer's by-name lookups need. The platform's loader (posix/: dlopen,
// dlsym, dlclose; win32/: LoadLibraryA, GetProcAddress, FreeLibrary) is in
// force unless another is installed, which tests do to drive the failure paths.
namespace d2xx {

class LibraryLoader {
public:
    using Library = void*;         // an opaque handle of a loaded library
    using Symbol = void (*)(void);  // a function found in it, to be cast to its real type

    virtual ~LibraryLoader() = default;
    // Loads a library by file name; nullptr when it cannot be loaded.
    virtual Library Load(const char* fileName) = 0;
    // Looks an exported function up by name; nullptr when the library lacks it.
    virtual Symbol Find(Library library, const char* name) = 0;
    // Releases one Load of the library.
    virtual void Release(Library library) = 0;
};

// The file name the vendor library is loaded by on this platform.
const char* VendorLibraryFileName();

// The OS's own loader.
LibraryLoader& PlatformLibraryLoader();

// The loader in force: the installed one, else the platform's.
LibraryLoader& ActiveLibraryLoader();
// Installs a loader (not owned; it must outlive its use). nullptr restores the platform's.
void InstallLibraryLoader(LibraryLoader* loader);

}  // namespace d2xx
