#include "CommandLine.h"

#include <windows.h>

#include <vector>

namespace platform {

namespace {

std::vector<AnsiString> SplitCommandLine(const char* p) {
    std::vector<AnsiString> params;
    if (!p) return params;
    for (;;) {
        while (*p && static_cast<unsigned char>(*p) <= ' ') ++p;
        if (!*p) break;
        AnsiString param;
        while (static_cast<unsigned char>(*p) > ' ') {
            if (*p == '"') {
                ++p;
                while (*p && *p != '"') param += *p++;
                if (*p) ++p;
            } else {
                param += *p++;
            }
        }
        params.push_back(param);
    }
    return params;
}

}  // namespace

int ParamCount() {
    const auto params = SplitCommandLine(GetCommandLineA());
    return params.empty() ? 0 : static_cast<int>(params.size()) - 1;
}

AnsiString ParamStr(int index) {
    if (index == 0) {
        std::vector<char> path(MAX_PATH);
        for (;;) {
            const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
            if (length < path.size()) return AnsiString(path.data(), length);
            path.resize(path.size() * 2);
        }
    }
    const auto params = SplitCommandLine(GetCommandLineA());
    if (index < 0 || static_cast<size_t>(index) >= params.size()) return AnsiString();
    return params[static_cast<size_t>(index)];
}

}  // namespace platform
