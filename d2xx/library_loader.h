#pragma once
// The loader seam: the OS's run-time library loading, reduced to what the D2XX
// layer's by-name lookups need. The platform's loader (posix/: dlopen,
// dlsym, dlclose; win32/: LoadLibraryA, GetProcAddress, FreeLibrary) is the
// one in force; the D2XX tests link their own ActiveLibraryLoader in front of
// it to drive the failure paths (tests/d2xx/installed_loader.*).
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

// The loader in force. Defined alone in its file (library_loader.cpp), so
// that a program's own definition takes its place at link time.
LibraryLoader& ActiveLibraryLoader();

}  // namespace d2xx
