#include "SysUtils.h"

#include <windows.h>

namespace platform {

namespace {

AnsiString MapCase(const AnsiString& s, bool upper) {
    AnsiString out = s;
    if (!out.empty()) {
        const DWORD n = static_cast<DWORD>(out.size());
        upper ? CharUpperBuffA(out.data(), n) : CharLowerBuffA(out.data(), n);
    }
    return out;
}

int Compare(const AnsiString& a, const AnsiString& b, DWORD flags) {
    const int r = CompareStringA(LOCALE_USER_DEFAULT, flags, a.data(), static_cast<int>(a.size()),
                                 b.data(), static_cast<int>(b.size()));
    return r - CSTR_EQUAL;
}

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

}  // namespace

AnsiString AnsiUpperCase(const AnsiString& s) { return MapCase(s, true); }
AnsiString AnsiLowerCase(const AnsiString& s) { return MapCase(s, false); }
int AnsiCompareText(const AnsiString& a, const AnsiString& b) { return Compare(a, b, NORM_IGNORECASE); }
int AnsiCompareStr(const AnsiString& a, const AnsiString& b) { return Compare(a, b, 0); }
bool AnsiSameText(const AnsiString& a, const AnsiString& b) { return AnsiCompareText(a, b) == 0; }

AnsiString TrimLeft(const AnsiString& s) {
    size_t i = 0;
    while (i < s.size() && IsBlank(s[i])) ++i;
    return s.substr(i);
}

AnsiString TrimRight(const AnsiString& s) {
    size_t n = s.size();
    while (n > 0 && IsBlank(s[n - 1])) --n;
    return s.substr(0, n);
}

AnsiString Trim(const AnsiString& s) { return TrimLeft(TrimRight(s)); }

AnsiString IntToStr(int64_t value) { return std::to_string(value); }

}  // namespace platform
