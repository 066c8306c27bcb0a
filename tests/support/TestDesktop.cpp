// test-desktop <ready file>
// Keeps the Wine desktop in use for a whole test run, and creates the ready file once the
// desktop is up.
//
// The desktop process exits a moment after the last program using the desktop ends. The next
// test to show a window then starts it again, and the new desktop process inherits that test's
// output pipe: CTest waits for the test until the desktop exits, which under a busy run may be
// never. This program is started with no output attached, before any test, and uses the
// desktop until the run's Wine server stops; so the desktop process is started once, by it.
#include <windows.h>

#include <memory>

namespace {

struct WindowDeleter {
    void operator()(HWND window) const { DestroyWindow(window); }
};

// Whether the desktop window belongs to a desktop process that runs (not to this one).
bool DesktopUp() {
    DWORD owner = 0;
    GetWindowThreadProcessId(GetDesktopWindow(), &owner);
    return owner != 0 && owner != GetCurrentProcessId();
}

bool WriteReadyFile(const char* path) {
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, "ready\n", 6, &written, nullptr);
    CloseHandle(file);
    return ok && written == 6;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "SetrixTestDesktop";
    if (!RegisterClassA(&windowClass)) return 3;
    // A hidden top-level window: this thread is one of the desktop's users until the end.
    std::unique_ptr<HWND__, WindowDeleter> window(CreateWindowExA(0, windowClass.lpszClassName, "", WS_POPUP, 0, 0, 1,
                                                                  1, nullptr, nullptr, windowClass.hInstance, nullptr));
    if (!window || !DesktopUp()) return 4;
    if (!WriteReadyFile(argv[1])) return 5;
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
    return 0;
}
