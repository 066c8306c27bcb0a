#include "btrieve/engines/QbTable.h"

#include "btrieve/engines/QbSession.h"
#include "platform/DataSetTypes.h"
#include "platform/Field.h"

namespace btrieve {

const platform::TClassInfo& TQbTable::StaticClassInfo() {
    static const platform::TClassInfo info =
        platform::TClassInfo::Of<TQbTable>("TQbTable", &TQnTable::StaticClassInfo());
    return info;
}

TVirtEng* TQbTable::EngineInstance() { return qbbinding::Engine(); }
void TQbTable::BindSessionList() { StoreSessionList(qbbinding::SessionList()); }
TQnSession* TQbTable::PrimarySession() { return qbbinding::DefaultSession(); }
const platform::TClassInfo& TQbTable::BatchMoveClass() { return TQbBatchMove::StaticClassInfo(); }

std::unique_ptr<platform::TStream> TQbTable::OpenBlobStream(platform::TField* field, platform::TBlobStreamMode mode) {
    if (!dynamic_cast<platform::TBlobField*>(field)) throw platform::EInvalidCast("Invalid class typecast");
    return std::make_unique<TQbBlobStream>(field, mode);
}

const platform::TClassInfo& TQbBatchMove::StaticClassInfo() {
    static const platform::TClassInfo info =
        platform::TClassInfo::Of<TQbBatchMove>("TQbBatchMove", &TQnBatchMove::StaticClassInfo());
    return info;
}

TVirtEng* TQbBatchMove::EngineInstance() { return qbbinding::Engine(); }

TVirtEng& TQbBlobStream::EngineInstance() {
    TVirtEng* engine = qbbinding::Engine();
    if (!engine) platform::DatabaseError("Session is not active");
    return *engine;
}

}  // namespace btrieve
