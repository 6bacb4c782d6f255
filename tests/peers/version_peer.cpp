// A product program that only carries a version resource: the updater reads the
// installed product's version from such files. Run, it ends at once.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return 0; }
