#include "btrieve/engines/BtrieveEngineError.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace btrieve {

namespace {

const TStatusPair kPositiveStatusMap[] = {
    {0, 0},          {1, 0x2702},     {2, 0x2401},     {3, 0x2401},     {4, 0x2206},     {5, 0x2A10},
    {6, 0x270D},     {7, 0x2726},     {8, 0x2205},     {9, 0x2202},     {10, 0x2601},    {11, 0x2703},
    {12, 0x2704},    {13, 0x2708},    {14, 0x2708},    {15, 0x2401},    {16, 0x2402},    {17, 0x2732},
    {18, 0x2503},    {19, 0x2103},    {20, 0x2A06},    {35, 0x2722},    {42, 0x280C},    {47, 0x2502},
    {51, 0x271F},    {66, 0x2511},    {78, 0x280F},    {80, 0x2803},    {81, 0x2801},    {82, 0x2205},
    {84, 0x2801},    {85, 0x2803},    {86, 0x250B},    {87, 0x2506},    {88, 0x2731},    {91, 0x2B66},
    {101, 0x2501},   {130, 0x2517},   {133, 0x2729},   {204, 0x2728},   {205, 0x271F},   {206, 0x2506},
    {209, 0x2734},   {211, 0x2505},   {231, 0x2713},   {285, 0x2A0E},   {348, 0x271E},   {538, 0x2727},
    {2120, 0x250E},
};

// Informational statuses of the relational engine: -101 to -107 and -110 to -116 are
// success, -109 is the end of the rows.
uint16_t MapNegativeStatus(int32_t status) {
    if (status == -109) return 0x2202;
    if ((status <= -101 && status >= -107) || (status <= -110 && status >= -116)) return 0;
    return 0xFFFF;
}

struct TStatusText {
    int32_t status;
    const char* text;
};

// Status texts of the record manager, its requesters and the relational engine.
const TStatusText kStatusTexts[] = {
    {-109, "The view contains no more records"},
    {1, "The operation parameter is not valid"},
    {2, "The application encountered an I/O error"},
    {3, "The file is not open"},
    {4, "The application cannot find the key value"},
    {5, "The record has a key field containing a duplicate key value"},
    {6, "The key number parameter is not valid"},
    {7, "The key number has changed"},
    {8, "The current positioning is not valid"},
    {9, "The operation encountered the end-of-file"},
    {10, "The key field is not modifiable"},
    {11, "The specified file name is not valid"},
    {12, "The record manager cannot find the specified file"},
    {13, "The record manager cannot find the extended file"},
    {14, "The record manager cannot create the pre-image file"},
    {15, "The record manager encountered an I/O error on the pre-image file"},
    {16, "The application encountered an expansion error"},
    {17, "The application encountered a close error"},
    {18, "The disk is full"},
    {19, "The application encountered an unrecoverable error"},
    {20, "The record manager or the requester is inactive"},
    {21, "The key buffer parameter is too short"},
    {22, "The data buffer parameter is too short"},
    {23, "The position block parameter is not 128 bytes long"},
    {24, "The page size or data buffer size is not valid"},
    {25, "The application cannot create the specified file"},
    {26, "The number of keys specified is not valid"},
    {27, "The key position is not valid"},
    {28, "The record length is not valid"},
    {29, "The key length is not valid"},
    {30, "The file specified is not a record manager file"},
    {35, "The application encountered a directory error"},
    {36, "The application encountered a transaction error"},
    {37, "Another transaction is active"},
    {39, "A Begin Transaction operation must precede an End or Abort Transaction operation"},
    {40, "The file access request exceeds the maximum number of files allowed"},
    {41, "The record manager does not allow the attempted operation"},
    {42, "A file previously opened in accelerated mode was not closed"},
    {43, "The specified record address is not valid"},
    {44, "The specified key path is not valid"},
    {45, "The specified key flags are not valid"},
    {46, "Access to the requested file is denied"},
    {47, "The number of files opened exceeds the maximum allowed"},
    {48, "The alternate collating sequence definition is not valid"},
    {49, "The extended key type is not valid"},
    {50, "The file owner is already set"},
    {51, "The owner name is not valid"},
    {53, "The language interface version is not valid"},
    {54, "The variable-length portion of the record is corrupt"},
    {55, "The application specified an invalid attribute for an autoincrement key"},
    {56, "An index is incomplete"},
    {59, "The specified file already exists"},
    {62, "The descriptor is incorrect"},
    {63, "The data buffer is too small"},
    {78, "The record manager detected a deadlock condition"},
    {79, "A programming error occurred"},
    {80, "The record manager encountered a record-level conflict"},
    {81, "The application encountered a lock error"},
    {82, "The application lost positioning"},
    {83, "The application attempted to update or delete a record that was read outside the transaction"},
    {84, "The record or page is locked"},
    {85, "The file is locked"},
    {86, "The file table is full"},
    {87, "The handle table is full"},
    {88, "The application encountered an incompatible mode error"},
    {91, "The application encountered a server error"},
    {93, "The record lock types are incompatible"},
    {94, "The application encountered a permission error"},
    {95, "The session is no longer valid"},
    {97, "The data message is too small"},
    {100, "No cache buffers are available"},
    {101, "Insufficient operating system memory is available"},
    {130, "The record manager ran out of system locks"},
    {133, "More than 5 concurrent users attempted to access the same data file"},
    {161, "The maximum number of user count licenses has been reached"},
    {204, "The table is not defined in the dictionary"},
    {205, "The user name or password is not valid"},
    {206, "The column is not defined"},
    {209, "The file name is not valid for a table"},
    {211, "The dictionary files are not valid"},
    {231, "The record structure is not valid"},
    {285, "The operation is not allowed on a dictionary in use"},
    {348, "The database name is not defined"},
    {538, "The index is not defined"},
    {1001, "The lock parameter is out of range"},
    {1002, "A memory allocation error occurred"},
    {1003, "The memory parameter is too small"},
    {1007, "The files parameter is out of range"},
    {1011, "The compression buffer parameter is out of range"},
    {1013, "The task list is full"},
    {1015, "The requester could not be loaded"},
    {1016, "The MicroKernel is already initialized"},
    {1020, "The requester encountered an interface communications error"},
    {2120, "The requester cannot find the resource"},
};

}  // namespace

uint16_t MapBtrieveStatus(int32_t status) {
    if (status < 0) {
        const uint16_t code = MapNegativeStatus(status);
        if (code != 0xFFFF) return code;
    }
    return MapStatus(kPositiveStatusMap, static_cast<int>(std::size(kPositiveStatusMap)), status);
}

AnsiString BtrieveStatusText(int32_t status) {
    for (const auto& entry : kStatusTexts)
        if (entry.status == status) return entry.text;
    return AnsiString();
}

EBtrieveEngineError::EBtrieveEngineError(int32_t status) : EQuillonEngineError(MapBtrieveStatus(status)) {
    SetNativeCode(status);
}

EBtrieveEngineError::EBtrieveEngineError(int32_t status, const AnsiString& keyText) : EBtrieveEngineError(status) {
    const size_t length = std::min<size_t>(keyText.size(), kKeyTextSize - 1);
    std::memcpy(keyText_, keyText.data(), length);
    keyLength_ = static_cast<uint8_t>(length);
}

AnsiString EBtrieveEngineError::GetNativeText() const {
    const AnsiString text = BtrieveStatusText(NativeCode());
    if (text.empty()) return platform::Format("Btrieve Error %d.", NativeCode());
    AnsiString message = platform::Format("Btrieve Status %d - %s.", NativeCode(), text);
    if (keyLength_ > 0) message += "\r\nKey=[" + KeyText() + "]";
    return message.substr(0, 255);
}

void RaiseBtrieveError(int32_t status) {
    if (status == 9) RaiseEOF();
    throw EBtrieveEngineError(status);
}

void RaiseBtrieveKeyError(int32_t status, const AnsiString& keyText) {
    if (status == 9) RaiseEOF();
    throw EBtrieveEngineError(status, keyText);
}

}  // namespace btrieve
