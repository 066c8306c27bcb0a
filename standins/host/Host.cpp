// setrix-host: our stand-in for the installation-script host. It loads setrix.dll,
// finds one export by name, passes the command-line arguments in the export's kinds with
// the stdcall convention and prints the result: an integer in decimal, a text as its bytes.
//
//   setrix-host [--dll PATH] [-e] [NAME=VALUE ...] EXPORT [ARG ...]
//   setrix-host [--dll PATH] --list
//
// -e reads backslash escapes (\r \n \t \\ \xHH) in text arguments. Leading NAME=VALUE
// arguments are host parameters (such as ORACLEHOME=...) that the library may read from the
// command line; the host itself ignores them.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ExportTable.h"

namespace {

constexpr int kUsage = 2;

int Fail(const std::string& message) {
    std::fprintf(stderr, "setrix-host: %s\n", message.c_str());
    return kUsage;
}

std::string Unescape(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        const char c = s[++i];
        switch (c) {
            case 'r': out += '\r'; break;
            case 'n': out += '\n'; break;
            case 't': out += '\t'; break;
            case 'x':
                if (i + 2 < s.size()) {
                    out += static_cast<char>(std::strtol(s.substr(i + 1, 2).c_str(), nullptr, 16));
                    i += 2;
                } else {
                    out += "\\x";
                }
                break;
            default: out += c; break;
        }
    }
    return out;
}

bool ParseInt(const std::string& s, intptr_t& value) {
    if (s.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(s.c_str(), &end, 0);
    if (*end != '\0' || errno != 0 || v < INT32_MIN || v > UINT32_MAX) return false;
    value = static_cast<intptr_t>(static_cast<int32_t>(v));
    return true;
}

// Every argument travels in one machine word, as the export table's 32-bit kinds do on
// the shipping build; the callee removes them (stdcall).
template <class Fn>
Fn As(FARPROC proc) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(proc));
}

intptr_t Call(FARPROC proc, const std::vector<intptr_t>& a) {
    using W = intptr_t;
    switch (a.size()) {
        case 0: return As<W(WINAPI*)()>(proc)();
        case 1: return As<W(WINAPI*)(W)>(proc)(a[0]);
        case 2: return As<W(WINAPI*)(W, W)>(proc)(a[0], a[1]);
        case 3: return As<W(WINAPI*)(W, W, W)>(proc)(a[0], a[1], a[2]);
        case 4: return As<W(WINAPI*)(W, W, W, W)>(proc)(a[0], a[1], a[2], a[3]);
        case 5: return As<W(WINAPI*)(W, W, W, W, W)>(proc)(a[0], a[1], a[2], a[3], a[4]);
        default: return 0;
    }
}

std::string DefaultDllPath() {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir(path, n);
    return dir.substr(0, dir.find_last_of("\\/") + 1) + "setrix.dll";
}

void List() {
    for (const host::ExportInfo* e = host::ExportsBegin(); e != host::ExportsEnd(); ++e) {
        std::string args;
        for (const char* k = e->args; *k; ++k) {
            if (!args.empty()) args += ", ";
            args += *k == 't' ? "text" : *k == 'i' ? "int" : "window";
        }
        const char* result = e->result == 'i' ? "int" : e->result == 't' ? "text" : "nothing";
        std::printf("%2d %s(%s): %s\n", e->ordinal, e->name, args.c_str(), result);
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string dllPath = DefaultDllPath();
    bool escapes = false;
    size_t i = 0;
    for (; i < args.size(); ++i) {
        if (args[i] == "--dll" && i + 1 < args.size()) {
            dllPath = args[++i];
        } else if (args[i] == "-e") {
            escapes = true;
        } else if (args[i] == "--list") {
            List();
            return 0;
        } else if (args[i].find('=') == std::string::npos) {
            break;
        }
    }
    if (i == args.size()) return Fail("usage: setrix-host [--dll PATH] [-e] [NAME=VALUE ...] EXPORT [ARG ...] | --list");

    const host::ExportInfo* info = host::FindExport(args[i]);
    if (!info) return Fail("unknown export \"" + args[i] + "\"");
    const std::vector<std::string> given(args.begin() + static_cast<long>(i) + 1, args.end());
    const size_t expected = std::string(info->args).size();
    if (given.size() != expected)
        return Fail(std::string(info->name) + " takes " + std::to_string(expected) + " argument(s), " +
                    std::to_string(given.size()) + " given");

    std::vector<std::string> texts(given.size());
    std::vector<intptr_t> words(given.size());
    for (size_t k = 0; k < given.size(); ++k) {
        if (info->args[k] == 't') {
            texts[k] = escapes ? Unescape(given[k]) : given[k];
            words[k] = reinterpret_cast<intptr_t>(texts[k].c_str());
        } else if (!ParseInt(given[k], words[k])) {
            return Fail("argument " + std::to_string(k + 1) + " of " + info->name + " must be an integer");
        }
    }

    HMODULE dll = LoadLibraryA(dllPath.c_str());
    if (!dll) return Fail("cannot load " + dllPath + " (error " + std::to_string(GetLastError()) + ")");
    FARPROC proc = GetProcAddress(dll, info->name);
    if (!proc) return Fail(std::string(info->name) + " is not exported by " + dllPath);

    const intptr_t result = Call(proc, words);
    _setmode(_fileno(stdout), _O_BINARY);
    if (info->result == 'i') {
        std::printf("%d\n", static_cast<int>(result));
    } else if (info->result == 't') {
        const char* text = reinterpret_cast<const char*>(result);
        if (text) std::fwrite(text, 1, std::char_traits<char>::length(text), stdout);
    }
    std::fflush(stdout);
    FreeLibrary(dll);
    return 0;
}
