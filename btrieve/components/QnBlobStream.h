// TQnBlobStream: the byte stream over one blob field of a cursor dataset's current
// record. Reads that walk the whole blob from its start fill the record's blob cache,
// so reading it again needs no engine call; writes go to the engine blob and mark the
// field modified. A stream lives inside one record.
#pragma once

#include <cstdint>

#include "platform/DataSetTypes.h"
#include "platform/Streams.h"

namespace platform {
class TField;
}

namespace btrieve {

class TVirtEng;
class TQnBDEDataset;
using platform::AnsiString;

class TQnBlobStream : public platform::TStream {
public:
    TQnBlobStream(platform::TField* field, platform::TBlobStreamMode mode);
    ~TQnBlobStream() override;

    int32_t StreamRead(void* buffer, int32_t count) override;
    int32_t StreamWrite(const void* buffer, int32_t count) override;
    int64_t Reposition(int64_t offset, platform::TSeekOrigin origin) override;
    void SetSize(int64_t size) override;

    // The facade; the dataset's by default (the engine binding may answer its own).
    virtual TVirtEng& EngineInstance();
    virtual bool BlobStreamHook() { return false; }

    void Truncate();
    int64_t GetBlobSize();
    bool Opened() const { return opened_; }
    bool Cached() const { return cached_; }

private:
    uint8_t* Record() const { return reinterpret_cast<uint8_t*>(buffer_); }

    platform::TField* field_;
    TQnBDEDataset* dataSet_;
    char* buffer_ = nullptr;
    platform::TBlobStreamMode mode_;
    uint16_t fieldNo_;
    bool opened_ = false;
    bool modified_ = false;
    int64_t position_ = 0;
    AnsiString cacheText_;
    bool cached_ = false;
    int64_t cacheSize_ = 0;
};

}  // namespace btrieve
