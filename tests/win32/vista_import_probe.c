/* A program built the old way: it imports GetTickCount64 (Vista), which
   Windows XP lacks. The import check must refuse it. */
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#include <windows.h>

int main(void) { return GetTickCount64() == 0; }
