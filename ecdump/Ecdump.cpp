// ecdump: writes the card-processing centre's issuer, branch and owner issuer
// identifiers from its configuration tables in its own directory into the INI file
// named by its first argument. Shows no window; ends with exit code 0.
#include <windows.h>

#include <cstdio>

#include "btrieve/engines/QbSession.h"
#include "btrieve/engines/SqlEngine.h"
#include "ecdump/MainForm.h"
#include "platform/CommandLine.h"
#include "platform/Field.h"
#include "platform/SysUtils.h"

namespace {

// The directory of the program's own file, without a trailing backslash.
platform::AnsiString ProgramDirectory() {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    platform::AnsiString directory(path, length);
    const size_t slash = directory.find_last_of('\\');
    return slash == platform::AnsiString::npos ? platform::AnsiString() : directory.substr(0, slash);
}

void Run() {
    platform::RegisterFieldClasses();
    auto form = platform::NewUnownedComponent<ecdump::TForm1>();
    try {
        form->LoadFromResource();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "ecdump: form: %s\n", error.what());
        return;
    }
    form->FormCreate(ProgramDirectory(), platform::ParamStr(1));
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // The Btrieve library's module start (COM for this main thread included), then the
    // work, then the module end in reverse.
    try {
        // The tool asks for the relational engine once per process, whatever it answers.
        btrieve::SetSqlEngineCheckedOnce(true);
        btrieve::StartBtrieveLibrary(true);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "ecdump: start: %s\n", error.what());
        return 0;
    }
    try {
        Run();
    } catch (const std::exception& error) {
        // Registry or INI writes that fail after their key or file opened.
        std::fprintf(stderr, "ecdump: %s\n", error.what());
    }
    try {
        btrieve::StopBtrieveLibrary();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "ecdump: stop: %s\n", error.what());
    }
    return 0;
}
