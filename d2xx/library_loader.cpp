#include "d2xx/library_loader.h"

namespace d2xx {
namespace {
LibraryLoader* installed = nullptr;
}  // namespace

LibraryLoader& ActiveLibraryLoader() { return installed ? *installed : PlatformLibraryLoader(); }

void InstallLibraryLoader(LibraryLoader* loader) { installed = loader; }

}  // namespace d2xx
