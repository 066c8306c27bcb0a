// TSqlStmt: the statement handle that a database prepares; the relational engine
// fills its binding, execution and preparation. The text is kept in the OEM page.
#pragma once

#include "btrieve/base/BapiListItem.h"

namespace btrieve {

class TBaseTable;

class TSqlStmt : public TBapiListItem {
public:
    TSqlStmt(TBapiListItem* database, uint16_t language, const char* text, TQuillonCollection* collection);
    ~TSqlStmt() override;

    void GetProp(uint32_t id, void* value, uint16_t& length, uint16_t bufferLength) override;
    void SetProp(uint32_t id, intptr_t value) override;
    void CheckPropWritable(uint32_t id, bool raise) override;

    // Copies the text converted from the ANSI to the OEM page; null leaves no text.
    virtual void SetText(const char* text);
    const char* Text() const { return hasText_ ? text_.c_str() : nullptr; }
    uint16_t Language() const { return language_; }
    int32_t PropValue16() const { return propValue16_; }

    virtual void SetParams(uint16_t count, const struct TEngineFieldDesc* fields, const void* record) = 0;
    virtual void Execute(TBaseTable** cursor) = 0;
    virtual void Prepare(bool flag) = 0;

private:
    int32_t propValue16_ = 0;
    AnsiString text_;
    bool hasText_ = false;
    uint16_t language_ = 0;
};

}  // namespace btrieve
