#pragma once
// The D2XX tests' loader seam: this test program's ActiveLibraryLoader stands
// in front of the library's own at link time, so the shipped programs carry
// no way to install another loader.
#include "d2xx/library_loader.h"

namespace d2xx::test {

// Installs a loader (not owned; it must outlive its use). nullptr restores the platform's.
void InstallLibraryLoader(LibraryLoader* loader);

}  // namespace d2xx::test
