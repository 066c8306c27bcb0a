// TOraParamDesc: one bind variable as the Oracle client binds it: a buffer of fixed-size
// items in the client's external form with a 16-bit indicator per item (several items for a
// PL/SQL table), or, for LONG, LOB, file, cursor and object parameters, the object that
// holds the value. Filled by the statement component, bound by TOCICommand.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "oracle/core/QdAccess.h"
#include "oracle/oci/OciApi.h"
#include "oracle/oci/OraDataTypes.h"

namespace oracle {

class TSharedObject;
class TBlob;

// Parameter directions of the framework.
inline constexpr uint8_t pdInput = 1;
inline constexpr uint8_t pdOutput = 2;
inline constexpr uint8_t pdInputOutput = 3;

class TOraParamDesc : public TParamDesc {
public:
    TOraParamDesc() = default;
    ~TOraParamDesc() override = default;

    void SetDataType(TDataType value) override;
    void SetSize(int32_t value) override;
    void GetValue(platform::Variant& value) override;
    bool SetValue(const platform::Variant& value) override;
    bool GetNull() override { return ItemIsNull(1); }
    void SetNull(bool value) override { SetItemNull(1, value); }

    int32_t TableLength() const { return tableLength_; }
    void SetTableLength(int32_t value);
    bool IsTable() const { return isTable_; }
    void SetIsTable(bool value) { isTable_ = value; }
    uint32_t ItemSize() const { return itemSize_; }
    // The item buffer, or the held object for types without items.
    void* ValueBuffer() { return itemSize_ == 0 ? static_cast<void*>(object_) : buffer_.data(); }
    oci::sb2* IndicatorBuffer() { return indicators_.empty() ? &singleIndicator_ : indicators_.data(); }
    oci::ub4* CurrentElementCount() { return &currentElementCount_; }
    // The object holding the value of a LONG, LOB, file, cursor or object parameter; the
    // descriptor does not own it.
    TSharedObject* Object() const { return object_; }
    void SetObject(TSharedObject* object);
    // The held blob of a LONG or LONG RAW parameter, or nil.
    TBlob* Blob() const;

    oci::OCIBind* BindHandle() const { return bindHandle_; }
    void SetBindHandle(oci::OCIBind* handle) { bindHandle_ = handle; }
    int32_t& PieceCounter() { return pieceCounter_; }
    bool QuotedName() const { return quotedName_; }
    void SetQuotedName(bool value) { quotedName_ = value; }

    void CheckIndex(int index) const;
    oci::sb2 GetIndicator(int index);
    void SetIndicator(int index, oci::sb2 value);
    bool ItemIsNull(int index) { return GetIndicator(index) < 0; }
    void SetItemNull(int index, bool value);

    platform::TDateTime GetItemAsDateTime(int index);
    void SetItemAsDateTime(int index, platform::TDateTime value);
    double GetItemAsFloat(int index);
    void SetItemAsFloat(int index, double value);
    int32_t GetItemAsInteger(int index);
    void SetItemAsInteger(int index, int32_t value);
    std::string GetItemAsString(int index);
    void SetItemAsString(int index, const std::string& value);
    platform::Variant GetItemAsVariant(int index);
    void SetItemAsVariant(int index, const platform::Variant& value);

    // Sets the first indicator from the held object (an empty blob is null).
    void SyncNullFromObject();

private:
    void AllocBuffer();
    void FreeBuffer();
    uint8_t* Item(int index) { return buffer_.data() + static_cast<size_t>(index - 1) * itemSize_; }

    std::vector<uint8_t> buffer_;
    TSharedObject* object_ = nullptr;
    uint32_t itemSize_ = 0;
    uint32_t stringItemSize_ = 2;  // chosen by SetSize for strings
    oci::ub4 currentElementCount_ = 0;
    oci::sb2 singleIndicator_ = -1;
    std::vector<oci::sb2> indicators_;
    bool isTable_ = false;
    int32_t tableLength_ = 1;
    oci::OCIBind* bindHandle_ = nullptr;
    int32_t pieceCounter_ = 0;
    bool quotedName_ = false;
};

}  // namespace oracle
