// TFilterListItem: one record filter of a cursor. It decides for a record whether
// the cursor shows it, by the caller's callback, by a filter expression tree (as the
// dataset layer's filter parser writes it), or by both.
#pragma once

#include <vector>

#include "btrieve/base/BaseTable.h"

namespace btrieve {

// Expression-tree node classes and operators the evaluator knows.
namespace exprnode {
constexpr uint32_t Unary = 1, Binary = 2, Compare = 3, Field = 4, Constant = 5, Continue = 7;
constexpr uint32_t IsBlank = 1, NotBlank = 2, Equal = 3, NotEqual = 4, Greater = 5, Less = 6, GreaterOrEqual = 7,
                   LessOrEqual = 8, Not = 9, And = 10, Or = 11;
}

class TFilterListItem : public TBapiListItem {
public:
    // A value made during evaluation: at most 256 bytes of a logical type.
    struct TNodeValue {
        uint32_t tag1 = 0;
        uint32_t tag2 = 0;
        uint8_t value[256] = {};
        uint16_t type = 0;
        uint16_t size = 0;
    };

    TFilterListItem(TBaseTable* cursor, TFilterCallback callback, const uint8_t* expression, bool canAbort,
                    uint16_t priority, intptr_t clientData);

    TBaseTable* Cursor() const { return cursor_; }
    intptr_t ClientData() const { return clientData_; }
    uint16_t Priority() const { return priority_; }
    bool CanAbort() const { return canAbort_; }
    const uint8_t* Expression() const { return expression_.empty() ? nullptr : expression_.data(); }
    TFilterCallback Callback() const { return callback_; }
    bool Active() const { return active_; }
    void SetActive(bool active) { active_ = active; }

    bool Evaluate(uint8_t* record);

    // Sign of a against b: same types by value, others as texts (numbers that a text
    // spells out compare by value).
    int CompareValues(const TNodeValue& a, const TNodeValue& b, uint16_t length, bool caseInsensitive);
    static AnsiString ValueToText(const TNodeValue& value);

private:
    bool EvalNode(uint32_t offset, TNodeValue& value, int depth);
    // Bounds-checked reads inside the tree; any read outside it fails the evaluation.
    const uint8_t* NodeAt(uint32_t offset, size_t bytes) const;
    const uint8_t* LiteralAt(uint32_t offset, size_t bytes) const;
    AnsiString LiteralText(uint32_t offset) const;
    uint16_t Word(size_t at) const;

    TBaseTable* cursor_;
    intptr_t clientData_;
    uint16_t priority_;
    bool canAbort_;
    std::vector<uint8_t> expression_;
    TFilterCallback callback_;
    bool active_ = false;
    uint8_t* currentRecord_ = nullptr;
};

}  // namespace btrieve
