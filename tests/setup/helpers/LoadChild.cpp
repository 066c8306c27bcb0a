// A child process of the setup tests that loads and frees setrix.dll (the copy beside this
// program), as a host that only loads the library does:
//   cycle <n>   n times; ends with 0, or 1 when the library does not load
//   probe       once; ends with 0 when the load brought no display driver into the process
//               (nothing at load reached the desktop), 2 when it did, 1 when it did not load
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace {

bool DisplayDriverLoaded() {
    for (const char* driver : {"winex11.drv", "winewayland.drv", "winemac.drv", "wineandroid.drv"})
        if (GetModuleHandleA(driver)) return true;
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "cycle") == 0) {
        for (int i = std::atoi(argv[2]); i > 0; --i) {
            const HMODULE setrix = LoadLibraryA("setrix.dll");
            if (!setrix) return 1;
            FreeLibrary(setrix);
        }
        return 0;
    }
    if (argc >= 2 && std::strcmp(argv[1], "probe") == 0) {
        const HMODULE setrix = LoadLibraryA("setrix.dll");
        if (!setrix) return 1;
        const FARPROC emptyProc = GetProcAddress(setrix, "EmptyProc");
        if (emptyProc) reinterpret_cast<void(WINAPI*)()>(reinterpret_cast<void*>(emptyProc))();
        const bool reached = DisplayDriverLoaded();
        FreeLibrary(setrix);
        return reached ? 2 : 0;
    }
    return 97;
}
