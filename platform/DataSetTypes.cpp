#include "platform/DataSetTypes.h"

namespace platform {

bool IsBlobType(TFieldType type) {
    switch (type) {
    case ftBlob: case ftMemo: case ftGraphic: case ftFmtMemo: case ftParadoxOle:
    case ftDBaseOle: case ftTypedBinary: case ftOraBlob: case ftOraClob:
        return true;
    default:
        return false;
    }
}

std::vector<AnsiString> SplitFieldNames(const AnsiString& names) {
    std::vector<AnsiString> result;
    size_t start = 0;
    while (start <= names.size()) {
        size_t end = names.find(';', start);
        if (end == AnsiString::npos) end = names.size();
        AnsiString name = Trim(names.substr(start, end - start));
        if (!name.empty()) result.push_back(name);
        start = end + 1;
    }
    return result;
}

void DatabaseError(const AnsiString& message) { throw EDatabaseError(message); }

void Abort() { throw EAbort(); }

}  // namespace platform
