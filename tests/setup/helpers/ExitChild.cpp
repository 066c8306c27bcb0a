// A child process of the setup tests that ends at once:
//   exit <code>   with that exit code
//   killself      after asking setrix.dll to kill every process of its own file name,
//                 with that answer plus 10 (so only when it is still alive afterwards)
#include <windows.h>

#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "exit") == 0) return std::atoi(argv[2]);
    if (argc >= 2 && std::strcmp(argv[1], "killself") == 0) {
        HMODULE setrix = LoadLibraryA("setrix.dll");  // the copy beside this program
        if (!setrix) return 99;
        using KillProcess = int(WINAPI*)(const char*);
        auto kill = reinterpret_cast<KillProcess>(reinterpret_cast<void*>(GetProcAddress(setrix, "KillProcess")));
        if (!kill) return 98;
        char path[MAX_PATH];
        const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
        const char* name = path;
        for (DWORD i = 0; i < length; ++i)
            if (path[i] == '\\') name = path + i + 1;
        return kill(name) + 10;
    }
    return 97;
}
