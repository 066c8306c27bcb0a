// TQbTable, TQbBatchMove and TQbBlobStream: the table component of the Btrieve binding,
// its batch-move settings class and the blob stream it opens over a blob field.
#pragma once

#include "btrieve/components/QnBatchMove.h"
#include "btrieve/components/QnBlobStream.h"
#include "btrieve/components/QnTable.h"

namespace btrieve {

class TQbTable : public TQnTable {
public:
    using TQnTable::TQnTable;
    ~TQbTable() override { CloseBeforeDestruction(); }
    static const platform::TClassInfo& StaticClassInfo();
    const platform::TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

    TVirtEng* EngineInstance() override;
    void BindSessionList() override;
    TQnSession* PrimarySession() override;
    const platform::TClassInfo& BatchMoveClass() override;
    // A blob stream over `field`, which must be a blob field (EInvalidCast otherwise).
    std::unique_ptr<platform::TStream> OpenBlobStream(platform::TField* field,
                                                      platform::TBlobStreamMode mode) override;
};

class TQbBatchMove : public TQnBatchMove {
public:
    using TQnBatchMove::TQnBatchMove;
    static const platform::TClassInfo& StaticClassInfo();
    const platform::TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
    TVirtEng* EngineInstance() override;
};

class TQbBlobStream : public TQnBlobStream {
public:
    using TQnBlobStream::TQnBlobStream;
    TVirtEng& EngineInstance() override;
};

}  // namespace btrieve
