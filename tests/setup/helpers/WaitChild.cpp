// A child process of the setup tests that waits the given milliseconds (at most), then
// ends with 0: something to find and kill while it runs.
#include <windows.h>

#include <cstdlib>

int main(int argc, char** argv) {
    Sleep(argc >= 2 ? static_cast<DWORD>(std::atoi(argv[1])) : 0);
    return 0;
}
