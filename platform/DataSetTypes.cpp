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

void DatabaseError(const AnsiString& message) { throw EDatabaseError(message); }

void Abort() { throw EAbort(); }

}  // namespace platform
