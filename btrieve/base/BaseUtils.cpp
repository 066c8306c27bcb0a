#include "btrieve/base/BaseUtils.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace btrieve {

namespace {
AnsiString Short(AnsiString s) {
    if (s.size() > kShortStringMax) s.resize(kShortStringMax);
    return s;
}

size_t LastSeparator(const AnsiString& path) { return path.find_last_of("\\:"); }
}  // namespace

AnsiString AddBackslash(const AnsiString& path) {
    if (!path.empty() && path.back() == '\\') return path;
    return path + '\\';
}

AnsiString ExtractFileNamePart(const AnsiString& path) {
    const size_t sep = LastSeparator(path);
    return sep == AnsiString::npos ? path : path.substr(sep + 1);
}

AnsiString ExpandTablePath(const AnsiString& name, const AnsiString& defaultDirectory) {
    const size_t sep = LastSeparator(name);
    const AnsiString directory = sep == AnsiString::npos ? defaultDirectory : name.substr(0, sep + 1);
    return Short(AddBackslash(directory) + ExtractFileNamePart(name));
}

void PadShortStr(uint8_t* shortString, size_t size, char ch) {
    if (size < 2) return;
    const size_t used = 1u + shortString[0];
    if (used < size) std::memset(shortString + used, ch, size - used);
}

AnsiString KeepNumericChars(const AnsiString& text) {
    AnsiString out;
    for (char c : text)
        if (c == '+' || c == '-' || c == '.' || (c >= '0' && c <= '9')) out += c;
    return Short(out);
}

AnsiString BufToTrimmedStr(const void* buffer, size_t length) {
    return Short(platform::Trim(AnsiString(static_cast<const char*>(buffer), length)));
}

void StrToPaddedBuf(void* buffer, const AnsiString& text, size_t length) {
    char* out = static_cast<char*>(buffer);
    const size_t n = std::min(text.size(), length);
    std::memcpy(out, text.data(), n);
    std::memset(out + n, ' ', length - n);
}

int CompareBytes(const void* a, const void* b, size_t length) {
    const int c = std::memcmp(a, b, length);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

AnsiString AppendChar(const AnsiString& text, char ch) { return Short(text + ch); }
void ZeroMem(void* buffer, size_t length) { std::memset(buffer, 0, length); }
AnsiString FillStr(char ch, size_t count) { return AnsiString(count, ch); }

AnsiString PadLongStr(const AnsiString& text, size_t length) {
    AnsiString out = text.substr(0, length);
    out.resize(length, ' ');
    return out;
}

bool IsZeroBuf(const void* buffer, size_t length) {
    const auto* p = static_cast<const uint8_t*>(buffer);
    return std::all_of(p, p + length, [](uint8_t b) { return b == 0; });
}

size_t CharPos(char ch, const AnsiString& text) {
    const size_t pos = text.find(ch);
    return pos == AnsiString::npos ? 0 : pos + 1;
}

AnsiString RemoveChar(const AnsiString& text, char ch) {
    AnsiString out;
    for (char c : text)
        if (c != ch) out += c;
    return Short(out);
}

void ReplaceChar(char* buffer, size_t length, char from, char to) { std::replace(buffer, buffer + length, from, to); }

void ReplaceCharOutsideQuotes(char* buffer, size_t length, char from, char to) {
    bool inQuotes = false;
    for (size_t i = 0; i < length; ++i) {
        if (buffer[i] == '\'' || buffer[i] == '"') inQuotes = !inQuotes;
        else if (!inQuotes && buffer[i] == from) buffer[i] = to;
    }
}

bool IsPathName(const AnsiString& name, bool dotCounts) {
    if (name.find_first_of(":\\") != AnsiString::npos) return true;
    return dotCounts && name.find('.') != AnsiString::npos;
}

bool StrReplaceFirst(AnsiString& text, const AnsiString& pattern, const char* replacement, size_t maxLength) {
    const size_t pos = text.find(pattern);
    if (pos == AnsiString::npos) return false;
    text.replace(pos, pattern.size(), replacement ? replacement : "");
    if (text.size() > maxLength) text.resize(maxLength);
    return true;
}

void StrTruncAt(char* text, char ch) {
    if (char* p = std::strchr(text, ch)) *p = '\0';
}

AnsiString GetNetUserName() {
    char buf[256] = {};
    DWORD size = sizeof buf;
    using TGetUser = DWORD(WINAPI*)(LPCSTR, LPSTR, LPDWORD);
    // mpr.dll is only needed here; it is loaded on demand.
    HMODULE mpr = LoadLibraryA("mpr.dll");
    if (!mpr) return AnsiString();
    auto getUser = reinterpret_cast<TGetUser>(reinterpret_cast<void*>(GetProcAddress(mpr, "WNetGetUserA")));
    AnsiString name;
    if (getUser && getUser(nullptr, buf, &size) == NO_ERROR) name = buf;
    FreeLibrary(mpr);
    return name;
}

size_t FindText(const AnsiString& text, const AnsiString& pattern) {
    return platform::AnsiUpperCase(text).find(platform::AnsiUpperCase(pattern));
}

void OemToAnsiBuf(const char* source, char* destination, size_t length) {
    std::vector<char> copy(source, source + length);
    OemToCharBuffA(copy.data(), destination, static_cast<DWORD>(length));
}

void AnsiToOemBuf(const char* source, char* destination, size_t length) {
    std::vector<char> copy(source, source + length);
    CharToOemBuffA(copy.data(), destination, static_cast<DWORD>(length));
}

}  // namespace btrieve
