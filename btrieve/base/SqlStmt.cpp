#include "btrieve/base/SqlStmt.h"

#include "btrieve/base/BaseUtils.h"

namespace btrieve {

namespace {
const char kEmptyText[] = "";
}

TSqlStmt::TSqlStmt(TBapiListItem* database, uint16_t language, const char* text, TQuillonCollection* collection)
    : TBapiListItem(database, collection), language_(language) {
    SetText(text);
}

TSqlStmt::~TSqlStmt() { SetText(nullptr); }

void TSqlStmt::SetText(const char* text) {
    text_.clear();
    hasText_ = text != nullptr;
    if (!text) return;
    text_.assign(text);
    AnsiToOemBuf(text_.data(), text_.data(), text_.size());
}

void TSqlStmt::GetProp(uint32_t id, void* value, uint16_t& length, uint16_t bufferLength) {
    switch (id & 0xFFFF) {
    case 1: {
        const uint16_t count = 32;
        PutPropValue(value, bufferLength, &count, sizeof count, length);
        return;
    }
    case 4: {
        const char* empty = kEmptyText;
        PutPropValue(value, bufferLength, &empty, sizeof empty, length);
        length = 1;
        return;
    }
    case 16:
        PutPropValue(value, bufferLength, &propValue16_, sizeof propValue16_, length);
        return;
    default:
        TBapiListItem::GetProp(id, value, length, bufferLength);
    }
}

void TSqlStmt::SetProp(uint32_t id, intptr_t value) {
    if ((id & 0xFFFF) == 16) propValue16_ = static_cast<int32_t>(value);
}

void TSqlStmt::CheckPropWritable(uint32_t id, bool raise) {
    switch (id & 0xFFFF) {
    case 1: case 2: case 3: case 4: case 19:
        if (raise) RaiseEngineError(rc::NotSupported);
        return;
    default:
        return;
    }
}

}  // namespace btrieve
