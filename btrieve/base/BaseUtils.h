// Small text and buffer operations shared by the Btrieve access library: paths,
// fixed-length and short-string buffers, byte comparison, OEM/ANSI conversion.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/SysUtils.h"

namespace btrieve {

using platform::AnsiString;

constexpr size_t kShortStringMax = 255;

// Directory part of the name (else the default directory) with a trailing backslash,
// then the file-name part.
AnsiString ExpandTablePath(const AnsiString& name, const AnsiString& defaultDirectory);
AnsiString AddBackslash(const AnsiString& path);
AnsiString ExtractFileNamePart(const AnsiString& path);
// Short-string buffer (length byte + characters) filled behind its text with ch.
void PadShortStr(uint8_t* shortString, size_t size, char ch);
AnsiString KeepNumericChars(const AnsiString& text);
AnsiString BufToTrimmedStr(const void* buffer, size_t length);
void StrToPaddedBuf(void* buffer, const AnsiString& text, size_t length);
int CompareBytes(const void* a, const void* b, size_t length);
AnsiString AppendChar(const AnsiString& text, char ch);
void ZeroMem(void* buffer, size_t length);
AnsiString FillStr(char ch, size_t count);
AnsiString PadLongStr(const AnsiString& text, size_t length);
bool IsZeroBuf(const void* buffer, size_t length);
size_t CharPos(char ch, const AnsiString& text);  // 1-based, 0 when absent
AnsiString RemoveChar(const AnsiString& text, char ch);
void ReplaceChar(char* buffer, size_t length, char from, char to);
// Only outside quotes; single and double quotes toggle one and the same flag.
void ReplaceCharOutsideQuotes(char* buffer, size_t length, char from, char to);
bool IsPathName(const AnsiString& name, bool dotCounts);
// A value of type T read from a byte position of a record, which need not be aligned.
template <class T>
T LoadUnaligned(const void* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline uint32_t MinCardinal(uint32_t a, uint32_t b) { return a < b ? a : b; }
bool StrReplaceFirst(AnsiString& text, const AnsiString& pattern, const char* replacement, size_t maxLength);
void StrTruncAt(char* text, char ch);
AnsiString GetNetUserName();

// Case-insensitive search in the user's locale; npos when absent.
size_t FindText(const AnsiString& text, const AnsiString& pattern);

// Code-page conversion of length bytes between the OEM and ANSI pages.
void OemToAnsiBuf(const char* source, char* destination, size_t length);
void AnsiToOemBuf(const char* source, char* destination, size_t length);

}  // namespace btrieve
