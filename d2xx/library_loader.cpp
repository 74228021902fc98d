// Alone in this file: a test program that defines ActiveLibraryLoader itself
// never pulls this definition out of the static library.
#include "d2xx/library_loader.h"

namespace d2xx {

LibraryLoader& ActiveLibraryLoader() { return PlatformLibraryLoader(); }

}  // namespace d2xx
