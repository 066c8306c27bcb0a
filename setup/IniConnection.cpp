#include "setup/IniConnection.h"

#include "platform/TextFile.h"
#include "setup/ExportBoundary.h"
#include "setup/Exports.h"

using namespace platform;

namespace setrix {

namespace {

const char* const kSectionEnd = "[MAGIC_PRINTERS]";

AnsiString NormalisedLine(const AnsiString& line) { return AnsiUpperCase(Trim(line)); }

void DropOneTrailingPlus(AnsiString& line) {
    if (!line.empty() && line.back() == '+') line.pop_back();
}

}  // namespace

AnsiString ReadConnectionValue(const AnsiString& path) {
    TTextFile file(path);
    AnsiString line, value;
    bool started = false;
    while (file.ReadLine(line)) {
        line = NormalisedLine(line);
        if (line == kSectionEnd) break;
        if (!started) {
            if (line.compare(0, 4, "ODER") != 0) continue;
            started = true;
        } else if (line.empty()) {
            continue;
        }
        DropOneTrailingPlus(line);
        value += line;
    }
    const size_t eq = value.find('=');
    if (eq != AnsiString::npos) value.erase(0, eq + 1);
    return Trim(value);
}

AnsiString ConnectionField(const AnsiString& value, int n) {
    size_t start = 0;
    for (int i = 1; i < n; ++i) {
        const size_t comma = value.find(',', start);
        if (comma == AnsiString::npos) return AnsiString();
        start = comma + 1;
    }
    const size_t comma = value.find(',', start);
    if (comma == AnsiString::npos) return AnsiString();
    return Trim(value.substr(start, comma - start));
}

}  // namespace setrix

namespace {

const char* IniField(const char* iniPath, int field) {
    using namespace setrix;
    return Guarded<const char*>("", [&] {
        const AnsiString path = PathArg(iniPath);
        return ReturnText(ConnectionField(ReadConnectionValue(path), field));
    });
}

}  // namespace

const char* GetIniDBUser(const char* iniPath) { return IniField(iniPath, 7); }
const char* GetIniDBPassword(const char* iniPath) { return IniField(iniPath, 8); }
const char* GetIniDBServer(const char* iniPath) { return IniField(iniPath, 19); }
