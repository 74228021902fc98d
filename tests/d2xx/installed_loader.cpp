#include "installed_loader.h"

namespace d2xx {
namespace {
LibraryLoader* installed = nullptr;
}  // namespace

LibraryLoader& ActiveLibraryLoader() { return installed != nullptr ? *installed : PlatformLibraryLoader(); }

void test::InstallLibraryLoader(LibraryLoader* loader) { installed = loader; }

}  // namespace d2xx
