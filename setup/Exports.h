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

// Versions
SETRIX_API const char* CalcFileMD5(const char* path);
SETRIX_API const char* GetOrvelVersion(const char* path, const char* listPath);
SETRIX_API const char* GetModuleVersion(const char* path, const char* valueName);
SETRIX_API const char* ProcessDexalList(const char* paths, const char* listPath);
SETRIX_API const char* ProcessGateList(const char* paths, const char* listPath);
SETRIX_API const char* GetDexalVersionList(const char* listPath);

// Files and folders
SETRIX_API int DeleteFolder(const char* path);
SETRIX_API void WriteLine(const char* path, const char* text);
SETRIX_API const char* CheckLog(const char* logPath, const char* ignoreListPath);
SETRIX_API const char* GetComputerName();

// Processes
SETRIX_API int ExecuteProgram(const char* commandLine);
SETRIX_API int ExecuteProgramWait(const char* commandLine);
SETRIX_API int ProcessExists(const char* fileName);
SETRIX_API int KillProcess(const char* fileName);

// Directory choice
SETRIX_API const char* SelectDirectoryTree(const char* initialDir, const char* title, HWND ownerWindow,
                                           int showError);
SETRIX_API const char* SelectDirectory(const char* initialDir);

// Oracle client configuration
SETRIX_API const char* GetTNSNamesPath();
SETRIX_API const char* GetOracleAliasList(const char* tnsNamesPath);

// Oracle log-on checks and statements
SETRIX_API int CheckOraConn(const char* user, const char* password, const char* server);
SETRIX_API const char* CheckOraConnStr(const char* user, const char* password, const char* server);
SETRIX_API int ExecSQL(const char* user, const char* password, const char* server, const char* statement);
SETRIX_API const char* GetSQLResult(const char* user, const char* password, const char* server, const char* query);
SETRIX_API const char* CheckDBTableExists(const char* user, const char* password, const char* server,
                                          const char* table);
SETRIX_API const char* GetOrvelDBVersion(const char* user, const char* password, const char* server);

// Btrieve data files
SETRIX_API const char* ReadBTI(const char* dataFile, int position);
SETRIX_API int WriteBTI(const char* dataFile, int position, const char* text);
SETRIX_API int UpdateFixedPrice(const char* dataDirectory);
SETRIX_API int SetLSK(const char* dataDirectory);

// Configuration moves between the Btrieve files, orvel_data.ini and Oracle
SETRIX_API int GetOrvelBtrieveConfig(const char* dataDirectory);
SETRIX_API int GetOrvelOracleConfig(const char* user, const char* password, const char* server,
                                    const char* iniDirectory);
SETRIX_API int SetOrvelOracleParams(const char* user, const char* password, const char* server,
                                    const char* iniDirectory);
SETRIX_API int MoveOrvelConfig(const char* dataDirectory, const char* user, const char* password,
                               const char* server);

// The card journal moved from JOUR.SH into a new Oracle table
SETRIX_API int MoveJourSh2Oracle(const char* dataDirectory, const char* tableName, const char* user,
                                 const char* password, const char* server);

SETRIX_API void EmptyProc();
