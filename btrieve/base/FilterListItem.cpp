#include "btrieve/base/FilterListItem.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "btrieve/base/BaseUtils.h"
#include "platform/DateTime.h"

namespace btrieve {

namespace {

// Thrown inside the evaluation for a tree that points outside itself.
struct TBadTree {};

constexpr int kMaxDepth = 256;
constexpr uint16_t kTextConstant = 15;

bool IsBoolean(const TFilterListItem::TNodeValue& value) { return value.tag1 == 7 && value.tag2 == 29; }

void SetBoolean(TFilterListItem::TNodeValue& value, bool truth) {
    value = {};
    value.tag1 = 7;
    value.tag2 = 29;
    value.value[0] = truth ? 1 : 0;
}

AnsiString Printf(const char* format, ...) {
    char buf[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buf, sizeof buf, format, args);
    va_end(args);
    return buf;
}

bool IsNumberType(uint16_t type) {
    switch (type) {
    case fldtype::Bool: case fldtype::Int16: case fldtype::Int32: case fldtype::Float: case fldtype::UInt16:
    case fldtype::UInt32: case fldtype::Timestamp:
        return true;
    default:
        return false;
    }
}

bool IsTextType(uint16_t type) { return type == fldtype::ZString || type == kTextConstant; }

std::optional<double> NumberOf(const TFilterListItem::TNodeValue& v) {
    switch (v.type) {
    case fldtype::Bool: return LoadUnaligned<uint16_t>(v.value) != 0 ? 1.0 : 0.0;
    case fldtype::Int16:
        return v.size == 1 ? LoadUnaligned<int8_t>(v.value) : v.size == 4 ? LoadUnaligned<int32_t>(v.value) : LoadUnaligned<int16_t>(v.value);
    case fldtype::UInt16:
        return v.size == 1 ? LoadUnaligned<uint8_t>(v.value) : v.size == 4 ? LoadUnaligned<uint32_t>(v.value) : LoadUnaligned<uint16_t>(v.value);
    case fldtype::Int32: return LoadUnaligned<int32_t>(v.value);
    case fldtype::UInt32: return LoadUnaligned<uint32_t>(v.value);
    case fldtype::Float: return LoadUnaligned<double>(v.value);
    case fldtype::Timestamp: return static_cast<double>(LoadUnaligned<int64_t>(v.value));
    default: return std::nullopt;
    }
}

// The number a whole text spells out ("7", " -12.5 "), none for other texts.
std::optional<double> NumberInText(const TFilterListItem::TNodeValue& v) {
    const AnsiString text = platform::Trim(FieldText(reinterpret_cast<const char*>(v.value), v.size));
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    const double number = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size()) return std::nullopt;
    return number;
}

}  // namespace

TFilterListItem::TFilterListItem(TBaseTable* cursor, TFilterCallback callback, const uint8_t* expression,
                                 bool canAbort, uint16_t priority, intptr_t clientData)
    : TBapiListItem(cursor, &CheckParam(cursor)->Filters()),
      cursor_(cursor),
      clientData_(clientData),
      priority_(priority),
      canAbort_(canAbort),
      callback_(callback) {
    if (expression) {
        const uint16_t size = LoadUnaligned<uint16_t>(expression + 2);
        // A tree shorter than its own header cannot be read.
        if (size < 10) RaiseEngineError(rc::InvalidParam);
        expression_.assign(expression, expression + size);
    }
}

uint16_t TFilterListItem::Word(size_t at) const {
    if (at + 2 > expression_.size()) throw TBadTree{};
    return LoadUnaligned<uint16_t>(expression_.data() + at);
}

const uint8_t* TFilterListItem::NodeAt(uint32_t offset, size_t bytes) const {
    const size_t start = static_cast<size_t>(Word(6)) + offset;
    if (start + bytes > expression_.size()) throw TBadTree{};
    return expression_.data() + start;
}

const uint8_t* TFilterListItem::LiteralAt(uint32_t offset, size_t bytes) const {
    const size_t start = static_cast<size_t>(Word(8)) + offset;
    if (start + bytes > expression_.size()) throw TBadTree{};
    return expression_.data() + start;
}

AnsiString TFilterListItem::LiteralText(uint32_t offset) const {
    const uint8_t* start = LiteralAt(offset, 0);
    const size_t room = expression_.data() + expression_.size() - start;
    const void* end = std::memchr(start, '\0', room);
    if (!end) throw TBadTree{};
    return AnsiString(reinterpret_cast<const char*>(start), static_cast<const uint8_t*>(end) - start);
}

bool TFilterListItem::Evaluate(uint8_t* record) {
    if (!active_) return false;
    currentRecord_ = record;
    bool result = true;
    if (callback_) result = callback_(clientData_, record, 0) != 0;
    if (result && !expression_.empty()) {
        try {
            // A node answers whether it could be evaluated; operators leave their
            // truth in the value, so that "not" and the logic nodes can use it.
            TNodeValue value;
            result = EvalNode(0, value, 0) && (!IsBoolean(value) || value.value[0] != 0);
        } catch (...) {
            result = false;
        }
    }
    return result;
}

bool TFilterListItem::EvalNode(uint32_t offset, TNodeValue& value, int depth) {
    value = {};
    if (depth > kMaxDepth) throw TBadTree{};
    const uint8_t* head = NodeAt(offset, 8);
    const uint32_t nodeClass = LoadUnaligned<uint32_t>(head);
    const uint32_t op = LoadUnaligned<uint32_t>(head + 4);
    switch (nodeClass) {
    case exprnode::Constant: {
        const uint8_t* node = NodeAt(offset, 14);
        const uint16_t type = LoadUnaligned<uint16_t>(node + 8), size = LoadUnaligned<uint16_t>(node + 10);
        if (size > sizeof value.value) return false;
        value.tag1 = 7;
        value.type = type;
        value.size = size;
        std::memcpy(value.value, LiteralAt(LoadUnaligned<uint16_t>(node + 12), size), size);
        return true;
    }
    case exprnode::Field: {
        const uint8_t* node = NodeAt(offset, 12);
        const AnsiString name = LiteralText(LoadUnaligned<uint16_t>(node + 10));
        if (name.empty()) return false;
        const int number = cursor_->FieldCache().FieldNumber(name);
        if (number == 0) {
            const AnsiString text = RemoveChar(name, '"');
            value.type = kTextConstant;
            value.size = static_cast<uint16_t>(text.size());
            std::memcpy(value.value, text.data(), text.size());
            return true;
        }
        TFieldCacheItem& item = cursor_->FieldCache().Item(number);
        // Values longer than the node's value area cannot be compared here.
        if (item.LocalSize() > sizeof value.value || item.Desc().length > sizeof value.value) return false;
        // The value read is the logical one, compared with constants of logical types; the
        // local type is the engine's own (a Btrieve type), which no constant has.
        value.type = item.Desc().fieldType;
        value.size = item.Desc().length;
        try {
            bool blank = false;
            cursor_->GetFieldValue(item, currentRecord_, blank, value.value);
        } catch (const EQuillonEngineError&) {
            return false;
        }
        return true;
    }
    case exprnode::Unary: {
        const uint8_t* node = NodeAt(offset, 10);
        TNodeValue operand;
        if (!EvalNode(LoadUnaligned<uint16_t>(node + 8), operand, depth + 1)) return false;
        bool truth;
        switch (op) {
        case exprnode::IsBlank: truth = IsZeroBuf(operand.value, operand.size); break;
        case exprnode::NotBlank: truth = !IsZeroBuf(operand.value, operand.size); break;
        case exprnode::Not: truth = operand.value[0] == 0; break;
        default: return false;
        }
        SetBoolean(value, truth);
        return true;
    }
    case exprnode::Binary:
    case exprnode::Compare: {
        const bool isCompare = nodeClass == exprnode::Compare;
        const uint8_t* node = NodeAt(offset, isCompare ? 16 : 12);
        const uint32_t first = LoadUnaligned<uint16_t>(node + (isCompare ? 12 : 8));
        const uint32_t second = LoadUnaligned<uint16_t>(node + (isCompare ? 14 : 10));
        if (!isCompare && (op == exprnode::And || op == exprnode::Or)) {
            TNodeValue a, b;
            EvalNode(first, a, depth + 1);
            bool truth;
            if (a.value[0] != 0) {
                if (op == exprnode::And) {
                    EvalNode(second, b, depth + 1);
                    truth = b.value[0] != 0;
                } else {
                    truth = true;
                }
            } else if (op == exprnode::And) {
                truth = false;
            } else {
                EvalNode(second, b, depth + 1);
                truth = b.value[0] != 0;
            }
            SetBoolean(value, truth);
            return true;
        }
        TNodeValue a, b;
        if (!EvalNode(first, a, depth + 1) || !EvalNode(second, b, depth + 1)) return false;
        const bool caseInsensitive = isCompare && LoadUnaligned<uint16_t>(node + 8) != 0;
        const uint16_t partial = isCompare ? LoadUnaligned<uint16_t>(node + 10) : 0;
        const int c = CompareValues(a, b, partial, caseInsensitive);
        bool truth;
        switch (op) {
        case exprnode::Equal: truth = c == 0; break;
        case exprnode::NotEqual: truth = c != 0; break;
        case exprnode::Greater: truth = c > 0; break;
        case exprnode::Less: truth = c < 0; break;
        case exprnode::GreaterOrEqual: truth = c >= 0; break;
        case exprnode::LessOrEqual: truth = c <= 0; break;
        default: return false;
        }
        SetBoolean(value, truth);
        return true;
    }
    case exprnode::Continue:
        return LoadUnaligned<uint16_t>(NodeAt(offset, 10) + 8) != 0;
    default:
        return false;
    }
}

int TFilterListItem::CompareValues(const TNodeValue& a, const TNodeValue& b, uint16_t length,
                                   bool caseInsensitive) {
    uint16_t size = length ? length : a.size;
    if (size > sizeof a.value) size = sizeof a.value;
    if (a.type == b.type) return cursor_->CompareFieldValues(a.type, nullptr, b.value, a.value, caseInsensitive, size);
    // A number against a text that spells a number: by value, as the user means it.
    std::optional<double> x, y;
    if (IsNumberType(a.type) && IsTextType(b.type)) {
        x = NumberOf(a);
        y = NumberInText(b);
    } else if (IsTextType(a.type) && IsNumberType(b.type)) {
        x = NumberInText(a);
        y = NumberOf(b);
    }
    if (x && y) return *x < *y ? -1 : *x > *y ? 1 : 0;
    const int c = ValueToText(a).compare(ValueToText(b));
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

AnsiString TFilterListItem::ValueToText(const TNodeValue& v) {
    const char* text = reinterpret_cast<const char*>(v.value);
    AnsiString out;
    switch (v.type) {
    case fldtype::ZString:
    case kTextConstant: out = FieldText(text, sizeof v.value); break;
    case fldtype::Date: out = platform::DateToStr(LoadUnaligned<double>(v.value)); break;
    case fldtype::Time: out = platform::TimeToStr(LoadUnaligned<double>(v.value)); break;
    case fldtype::Bool: out = LoadUnaligned<uint16_t>(v.value) != 0 ? "1" : "0"; break;
    case fldtype::Int16: out = Printf("%5.5d", static_cast<int>(LoadUnaligned<uint16_t>(v.value))); break;
    case fldtype::Int32: out = Printf("%10.10d", LoadUnaligned<int32_t>(v.value)); break;
    case fldtype::Float: out = Printf("%f", LoadUnaligned<double>(v.value)); break;
    case fldtype::Bytes: out.assign(text, std::min<size_t>(v.size, sizeof v.value)); break;
    default: break;
    }
    if (out.size() > kShortStringMax) out.resize(kShortStringMax);
    return out;
}

// ---- The cursor's filter list ----

void TBaseTable::UpdateFilterFlag() {
    bool any = false;
    for (auto* item : filters_) any = any || static_cast<TFilterListItem*>(item)->Active();
    filtersActive_ = any;
}

void TBaseTable::AddFilter(intptr_t clientData, uint16_t priority, bool canAbort, const uint8_t* expression,
                           TFilterCallback callback, TFilterListItem*& filter) {
    filter = MakeHandle<TFilterListItem>(this, callback, expression, canAbort, priority, clientData);
    UpdateFilterFlag();
}

void TBaseTable::DropFilter(TFilterListItem* filter) {
    if (!filter) {
        filters_.FreeAll();
        UpdateFilterFlag();
        return;
    }
    if (filters_.IndexOf(filter) < 0) return;
    FreeHandle(filter);
    UpdateFilterFlag();
}

void TBaseTable::ActivateFilter(TFilterListItem* filter) {
    if (!filter) {
        for (auto* item : filters_) static_cast<TFilterListItem*>(item)->SetActive(true);
    } else {
        if (filters_.IndexOf(filter) < 0) RaiseEngineError(rc::NoSuchFilter);
        filter->SetActive(true);
    }
    filtersActive_ = true;
}

void TBaseTable::DeactivateFilter(TFilterListItem* filter) {
    if (!filter) {
        for (auto* item : filters_) static_cast<TFilterListItem*>(item)->SetActive(false);
        filtersActive_ = false;
        return;
    }
    if (filters_.IndexOf(filter) < 0) RaiseEngineError(rc::NoSuchFilter);
    if (filter->Active()) {
        filter->SetActive(false);
        UpdateFilterFlag();
    }
}

void TBaseTable::GetFilterInfo(TFilterListItem* filter, TFilterInfo& info) {
    info = TFilterInfo{};
    int position = 0;
    if (filter) {
        position = filters_.IndexOf(filter);
        if (position < 0) RaiseEngineError(rc::NoSuchFilter);
    } else {
        filter = static_cast<TFilterListItem*>(filters_.Get(0));
        if (!filter) return;
    }
    info.position = static_cast<uint16_t>(position);
    info.filter = filter;
    info.clientData = filter->ClientData();
    info.priority = filter->Priority();
    info.canAbort = filter->CanAbort() ? -1 : 0;
    info.callback = filter->Callback();
    info.expression = filter->Expression();
    info.active = filter->Active() ? -1 : 0;
}

bool TBaseTable::RecordPassesFilters(uint8_t* record) {
    if (!filtersActive_) return true;
    for (auto* item : filters_) {
        auto* filter = static_cast<TFilterListItem*>(item);
        if (filter->Active() && !filter->Evaluate(record)) return false;
    }
    return true;
}

}  // namespace btrieve
