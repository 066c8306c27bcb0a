#include "btrieve/engines/QbDatabase.h"

#include "btrieve/engines/QbSession.h"

namespace btrieve {

const platform::TClassInfo& TQbDatabase::StaticClassInfo() {
    static const platform::TClassInfo info =
        platform::TClassInfo::Of<TQbDatabase>("TQbDatabase", &TQnDatabase::StaticClassInfo());
    return info;
}

TVirtEng* TQbDatabase::EngineInstance() { return qbbinding::Engine(); }
void TQbDatabase::BindSessionList() { StoreSessionList(qbbinding::SessionList()); }
TQnSession* TQbDatabase::PrimarySession() { return qbbinding::DefaultSession(); }

}  // namespace btrieve
