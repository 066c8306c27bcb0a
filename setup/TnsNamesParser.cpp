#include "setup/TnsNamesParser.h"

#include <algorithm>

#include "platform/TextFile.h"
#include "setup/FilePaths.h"
#include "setup/OracleClientConfig.h"

namespace setrix {

using namespace platform;

namespace {

// Deep enough for any real configuration; a bound whatever the file names look like.
constexpr size_t kIncludeDepthLimit = 32;

}  // namespace

void TTnsNamesParser::ParseFile(AnsiString path) {
    while (path.compare(0, 3, "\\\\\\") == 0) path.erase(0, 1);
    const AnsiString expanded = ExpandFileName(path);
    const AnsiString identity = AnsiUpperCase(expanded.empty() ? path : expanded);
    if (includeChain_.size() >= kIncludeDepthLimit ||
        std::find(includeChain_.begin(), includeChain_.end(), identity) != includeChain_.end())
        return;
    if (!FileExists(path)) return;

    // Read the whole file first, so that nested includes hold no handle open.
    std::vector<AnsiString> lines;
    try {
        TTextFile file(path);
        AnsiString line;
        while (file.ReadLine(line)) lines.push_back(line);
    } catch (const EInOutError&) {
        return;
    }
    includeChain_.push_back(identity);
    ParseLines(lines);
    includeChain_.pop_back();
}

void TTnsNamesParser::ParseLines(const std::vector<AnsiString>& lines) {
    // Parentheses may span lines; only what stands outside all of them names aliases. A
    // stray ")" does not take the depth below zero, so the rest of the file still parses.
    int depth = 0;
    bool includeNext = false;
    for (const AnsiString& line : lines) {
        if (!line.empty() && line[0] == '#') continue;
        AnsiString collected;
        for (const char c : line) {
            if (c == '(') ++depth;
            if (depth == 0 && static_cast<unsigned char>(c) > 31) collected += c;
            if (c == ')' && depth > 0) --depth;
        }
        collected = Trim(collected);
        if (!collected.empty()) AddEntry(collected, includeNext);
    }
}

void TTnsNamesParser::AddEntry(const AnsiString& text, bool& includeNext) {
    const size_t equals = text.find('=');
    if (equals == AnsiString::npos) {
        // The name of a file whose IFILE= stood alone on an earlier line.
        if (includeNext) ParseFile(text);
        includeNext = false;
        return;
    }
    const AnsiString value = Trim(text.substr(equals + 1));
    AnsiString names = Trim(text.substr(0, equals));
    const AnsiString domain = GetDefaultDomain();
    if (AnsiUpperCase(domain) == "WORLD") {
        const AnsiString suffix = "." + domain;
        if (names.size() >= suffix.size() && AnsiSameText(names.substr(names.size() - suffix.size()), suffix))
            names.erase(names.size() - suffix.size());
    }
    if (AnsiLowerCase(names) == "ifile") {
        if (!value.empty())
            ParseFile(value);
        else
            includeNext = true;
        return;
    }
    TStringList split;
    split.AssignCommaText(names);
    for (int i = 0; i < split.Count(); ++i)
        if (!split[i].empty()) aliases_.Add(split[i]);
}

}  // namespace setrix
