#include "btrieve/components/QnBlobStream.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "btrieve/base/VirtEng.h"
#include "btrieve/components/CallHelpers.h"
#include "btrieve/components/DBEngineError.h"
#include "btrieve/components/QnBDEDataset.h"

namespace btrieve {

using namespace platform;

namespace {
constexpr uint16_t kInvalidBlobOffset = 0x270E;
constexpr int kBlobReadWrite = 0;
constexpr int kBlobReadOnly = 1;
}  // namespace

TQnBlobStream::TQnBlobStream(TField* field, TBlobStreamMode mode)
    : field_(field), dataSet_(dynamic_cast<TQnBDEDataset*>(field->DataSet())), mode_(mode),
      fieldNo_(static_cast<uint16_t>(field->FieldNo())) {
    if (!dataSet_) DatabaseError("Invalid blob field");
    buffer_ = dataSet_->GetActiveRecBuf();
    if (!buffer_) return;
    if (dataSet_->State() == dsFilter) DatabaseErrorFmt("Cannot access field '%s' in a filter", field->DisplayName());
    if (!field_->Modified()) {
        int openMode = kBlobReadOnly;
        if (mode_ == bmWrite || mode_ == bmReadWrite) {
            dataSet_->ClearBlobCacheEntry(field_, buffer_);
            if (field_->ReadOnly()) DatabaseErrorFmt("Field '%s' cannot be modified", field_->DisplayName());
            if (dataSet_->State() != dsEdit && dataSet_->State() != dsInsert)
                DatabaseError("Dataset not in edit or insert mode");
            openMode = kBlobReadWrite;
        } else {
            const auto* entry = dataSet_->GetBlobData(field_, buffer_);
            cached_ = dataSet_->CacheBlobs() && dataSet_->IsActiveBuffer(buffer_) &&
                      (field_->IsNull() || (entry && entry->has_value()));
        }
        if (!cached_) {
            if (dataSet_->State() == dsBrowse) dataSet_->RereadActiveRecord();
            btrieve::Check(EngineInstance(), EngineInstance().OpenBlob(dataSet_->Cursor(), Record(), fieldNo_, openMode));
        }
    }
    opened_ = true;
    if (mode_ == bmWrite) Truncate();
}

TQnBlobStream::~TQnBlobStream() {
    if (!opened_) return;
    try {
        if (modified_) field_->SetModified(true);
        if (!field_->Modified() && !cached_) EngineInstance().FreeBlob(dataSet_->Cursor(), Record(), fieldNo_);
        if (modified_) dataSet_->DataEvent(deFieldChange, reinterpret_cast<intptr_t>(field_));
    } catch (...) {
        HandleAppException(dataSet_);
    }
}

TVirtEng& TQnBlobStream::EngineInstance() { return dataSet_->Engine(); }

int32_t TQnBlobStream::StreamRead(void* destination, int32_t count) {
    if (!opened_ || count <= 0) return 0;
    // No bytes before the start of the blob (a position moved below 0).
    if (position_ < 0) return 0;
    if (cached_) {
        const auto* entry = dataSet_->GetBlobData(field_, buffer_);
        const AnsiString empty;
        const AnsiString& text = entry && entry->has_value() ? **entry : empty;
        const int64_t available = static_cast<int64_t>(text.size()) - position_;
        const int32_t n = static_cast<int32_t>(std::max<int64_t>(0, std::min<int64_t>(count, available)));
        if (n > 0) std::memcpy(destination, text.data() + position_, static_cast<size_t>(n));
        position_ += n;
        return n;
    }
    uint32_t read = 0;
    const uint16_t code = EngineInstance().GetBlob(dataSet_->Cursor(), Record(), fieldNo_,
                                                   static_cast<uint32_t>(position_), static_cast<uint32_t>(count),
                                                   destination, read);
    if (code == kInvalidBlobOffset) return 0;
    if (code != 0 && code != rc::EndOfBlob) btrieve::Check(EngineInstance(), code);
    char* bytes = static_cast<char*>(destination);
    if (field_->Transliterate()) NativeToAnsiChars(EngineInstance(), nullptr, bytes, read, bytes);
    if (dataSet_->CacheBlobs() && dataSet_->IsActiveBuffer(buffer_) && mode_ == bmRead && !field_->Modified() &&
        position_ == cacheSize_) {
        cacheText_.append(bytes, read);
        cacheSize_ += read;
        uint32_t size = 0;
        if (EngineInstance().GetBlobSize(dataSet_->Cursor(), Record(), fieldNo_, size) == 0 &&
            cacheSize_ == static_cast<int64_t>(size)) {
            dataSet_->SetBlobData(field_, buffer_, cacheText_);
            cacheText_.clear();
            cached_ = true;
            EngineInstance().FreeBlob(dataSet_->Cursor(), Record(), fieldNo_);
        }
    }
    position_ += read;
    return static_cast<int32_t>(read);
}

int32_t TQnBlobStream::StreamWrite(const void* source, int32_t count) {
    if (!opened_ || count <= 0) return 0;
    if (position_ < 0) return 0;
    const void* bytes = source;
    std::vector<char> converted;
    if (field_->Transliterate()) {
        converted.assign(static_cast<const char*>(source), static_cast<const char*>(source) + count);
        AnsiToNativeChars(EngineInstance(), nullptr, converted.data(), converted.size(), converted.data());
        bytes = converted.data();
    }
    btrieve::Check(EngineInstance(),
                   EngineInstance().PutBlob(dataSet_->Cursor(), Record(), fieldNo_, static_cast<uint32_t>(position_),
                                            static_cast<uint32_t>(count), bytes));
    position_ += count;
    modified_ = true;
    dataSet_->ClearBlobCacheEntry(field_, buffer_);
    return count;
}

int64_t TQnBlobStream::Reposition(int64_t offset, TSeekOrigin origin) {
    switch (origin) {
    case soBeginning: position_ = offset; break;
    case soCurrent: position_ += offset; break;
    case soEnd: position_ = offset + GetBlobSize(); break;
    }
    return position_;
}

void TQnBlobStream::SetSize(int64_t size) {
    position_ = size;
    Truncate();
}

void TQnBlobStream::Truncate() {
    if (!opened_) return;
    btrieve::Check(EngineInstance(), EngineInstance().TruncateBlob(dataSet_->Cursor(), Record(), fieldNo_,
                                                                   static_cast<uint32_t>(std::max<int64_t>(position_, 0))));
    modified_ = true;
    dataSet_->ClearBlobCacheEntry(field_, buffer_);
}

int64_t TQnBlobStream::GetBlobSize() {
    if (!opened_) return 0;
    if (cached_) {
        const auto* entry = dataSet_->GetBlobData(field_, buffer_);
        return entry && entry->has_value() ? static_cast<int64_t>((*entry)->size()) : 0;
    }
    uint32_t size = 0;
    btrieve::Check(EngineInstance(), EngineInstance().GetBlobSize(dataSet_->Cursor(), Record(), fieldNo_, size));
    return size;
}

}  // namespace btrieve
