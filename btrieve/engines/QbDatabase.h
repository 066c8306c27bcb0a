// TQbDatabase: the database component of the Btrieve binding (an alias or a directory of
// dictionary files on a session of this library). Created by form descriptions and by
// the installation library's Btrieve exports.
#pragma once

#include "btrieve/components/QnDatabase.h"

namespace btrieve {

class TQbDatabase : public TQnDatabase {
public:
    using TQnDatabase::TQnDatabase;
    ~TQbDatabase() override { CloseBeforeDestruction(); }
    static const platform::TClassInfo& StaticClassInfo();
    const platform::TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

    // Installation and batch programs run unattended: no log-in dialog by default.
    bool InitialLoginPrompt() override { return false; }
    TVirtEng* EngineInstance() override;
    void BindSessionList() override;
    TQnSession* PrimarySession() override;
};

}  // namespace btrieve
