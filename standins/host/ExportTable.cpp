#include "ExportTable.h"

#include <iterator>

#include <windows.h>

namespace host {

namespace {

const ExportInfo kExports[] = {
    {1, "GetDexalVersionList", "t", 't'},
    {2, "MoveJourSh2Oracle", "ttttt", 'i'},
    {3, "KillProcess", "t", 'i'},
    {4, "ProcessExists", "t", 'i'},
    {5, "CalcFileMD5", "t", 't'},
    {6, "MoveOrvelConfig", "tttt", 'i'},
    {7, "SetOrvelOracleParams", "tttt", 'i'},
    {8, "GetOrvelOracleConfig", "tttt", 'i'},
    {9, "GetOrvelBtrieveConfig", "t", 'i'},
    {10, "GetSQLResult", "tttt", 't'},
    {11, "ExecSQL", "tttt", 'i'},
    {12, "SetLSK", "t", 'i'},
    {13, "UpdateFixedPrice", "t", 'i'},
    {14, "WriteBTI", "tit", 'i'},
    {15, "ReadBTI", "ti", 't'},
    {16, "ExecuteProgramWait", "t", 'i'},
    {17, "ExecuteProgram", "t", 'i'},
    {18, "SelectDirectoryTree", "tthi", 't'},
    {19, "SelectDirectory", "t", 't'},
    {20, "CheckDBTableExists", "tttt", 't'},
    {21, "GetOrvelDBVersion", "ttt", 't'},
    {22, "CheckOraConnStr", "ttt", 't'},
    {23, "CheckOraConn", "ttt", 'i'},
    {24, "GetTNSNamesPath", "", 't'},
    {25, "GetOracleAliasList", "t", 't'},
    {26, "ProcessGateList", "tt", 't'},
    {27, "ProcessDexalList", "tt", 't'},
    {28, "GetComputerName", "", 't'},
    {29, "WriteLine", "tt", 'n'},
    {30, "CheckLog", "tt", 't'},
    {31, "GetOrvelVersion", "tt", 't'},
    {32, "DeleteFolder", "t", 'i'},
    {33, "GetModuleVersion", "tt", 't'},
    {34, "RegDeleteOrvelVer", "tt", 't'},
    {35, "RegGetHKLMKeyList", "t", 't'},
    {36, "RegDeleteHKLMValue", "tt", 'i'},
    {37, "RegCreateHKLMValue", "ttt", 'i'},
    {38, "RegDeleteHKLMKey", "t", 'i'},
    {39, "RegCreateHKLMKey", "t", 'i'},
    {40, "GetIniDBServer", "t", 't'},
    {41, "GetIniDBPassword", "t", 't'},
    {42, "GetIniDBUser", "t", 't'},
    {43, "JoinLists", "tt", 't'},
    {44, "GetEntry", "ti", 't'},
    {45, "AddToList", "tt", 't'},
    {46, "EmptyProc", "", 'n'},
};

}  // namespace

const ExportInfo* FindExport(std::string_view name) {
    for (const ExportInfo& e : kExports)
        if (lstrcmpiA(std::string(name).c_str(), e.name) == 0) return &e;
    return nullptr;
}

const ExportInfo* ExportsBegin() { return std::begin(kExports); }
const ExportInfo* ExportsEnd() { return std::end(kExports); }

}  // namespace host
