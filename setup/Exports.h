// The exports of setrix.dll as the installation-script host calls them: stdcall, 32-bit
// arguments, zero-terminated code-page-1251 texts. Names and ordinals are fixed by setrix.def.
#pragma once

#include <windows.h>
// windows.h maps GetComputerName to its ANSI or wide form; the export keeps the plain name.
#undef GetComputerName

#define SETRIX_API extern "C" WINAPI

// Lists
SETRIX_API const char* AddToList(const char* list, const char* item);
SETRIX_API const char* GetEntry(const char* list, int lineNumber);
SETRIX_API const char* JoinLists(const char* first, const char* second);

// INI connection values
SETRIX_API const char* GetIniDBUser(const char* iniPath);
SETRIX_API const char* GetIniDBPassword(const char* iniPath);
SETRIX_API const char* GetIniDBServer(const char* iniPath);

// Registry under HKEY_LOCAL_MACHINE
SETRIX_API int RegCreateHKLMKey(const char* keyPath);
SETRIX_API int RegDeleteHKLMKey(const char* keyPath);
SETRIX_API int RegCreateHKLMValue(const char* keyPath, const char* valueName, const char* text);
SETRIX_API int RegDeleteHKLMValue(const char* keyPath, const char* valueName);
SETRIX_API const char* RegGetHKLMKeyList(const char* keyPath);
SETRIX_API const char* RegDeleteOrvelVer(const char* version, const char* installDir);

SETRIX_API void EmptyProc();
