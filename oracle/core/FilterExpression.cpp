#include "oracle/core/FilterExpression.h"

#include "oracle/core/Assertion.h"
#include "oracle/core/Data.h"
#include "platform/DateTime.h"
#include "platform/SysUtils.h"

namespace oracle {

using platform::Variant;

TBoolParser::TBoolParser(const std::string& text) : TParser(text) { SetLexemes(Table()); }

const TLexemeTable& TBoolParser::Table() {
    static const TLexemeTable table{
        {"=", ">", "<", ">=", "<=", "<>", "(", ")", "AND", "FALSE", "NOT", "NULL", "OR", "TRUE"}, 8, 6};
    return table;
}

// Recursive-descent parser of the filter grammar; each step reads the token after
// the one it consumed.
class TFilterBuilder {
public:
    TFilterBuilder(TData& data, const std::string& text, TFilterExpression& target)
        : data_(data), parser_(text), target_(target) {}

    TExpressionNode* Build() {
        Advance();
        TExpressionNode* root = Expression();
        if (code_ != lcEnd) Illegal();
        return root;
    }

private:
    [[noreturn]] static void Illegal() { throw platform::Exception("Illegal filter expression"); }

    void Advance() { code_ = parser_.GetNext(token_); }

    TExpressionNode* NewNode(TExpressionKind kind, TExpressionNode* left = nullptr, TExpressionNode* right = nullptr) {
        auto node = std::make_unique<TExpressionNode>();
        node->Kind = kind;
        node->Left = left;
        node->Right = right;
        target_.nodes_.push_back(std::move(node));
        return target_.nodes_.back().get();
    }

    TExpressionNode* Expression() {
        TExpressionNode* left = Term();
        while (code_ == btOr) {
            Advance();
            left = NewNode(ekOr, left, Term());
        }
        return left;
    }

    TExpressionNode* Term() {
        TExpressionNode* left = Factor();
        while (code_ == btAnd) {
            Advance();
            left = NewNode(ekAnd, left, Factor());
        }
        return left;
    }

    TExpressionNode* Factor() {
        switch (code_) {
            case btLeftParen: {
                Advance();
                TExpressionNode* inner = Expression();
                if (code_ != btRightParen) Illegal();
                Advance();
                return inner;
            }
            case btNot:
                Advance();
                return NewNode(ekNot, Factor());
            case btTrue:
                Advance();
                return NewNode(ekTrue);
            case btFalse:
                Advance();
                return NewNode(ekFalse);
            case lcString:
            case lcNumber:
            case lcIdent: {
                TExpressionNode* left = Operand();
                if (code_ < btEqual || code_ > btNoEqual) Illegal();
                const auto kind = static_cast<TExpressionKind>(code_ - btEqual);
                Advance();
                return NewNode(kind, left, Operand());
            }
            default:
                Illegal();
        }
    }

    TExpressionNode* Operand() {
        TExpressionNode* node = nullptr;
        switch (code_) {
            case lcString:
                node = NewNode(ekValue);
                node->Value = Variant(token_);
                break;
            case lcNumber:
                node = NewNode(ekValue);
                node->Value = Variant(platform::StrToFloat(token_));
                break;
            case btNull:
                node = NewNode(ekValue);
                node->Value = Variant::Null();
                break;
            case lcIdent: {
                std::string name = token_;
                Advance();
                while (code_ == lcSymbol && token_ == ".") {
                    Advance();
                    if (code_ != lcIdent) Illegal();
                    name += "." + token_;
                    Advance();
                }
                node = NewNode(ekField);
                node->FieldDesc = data_.FieldByName(name);
                node->Value = Variant(name);
                return node;
            }
            default:
                Illegal();
        }
        Advance();
        return node;
    }

    TData& data_;
    TBoolParser parser_;
    TFilterExpression& target_;
    int code_ = lcEnd;
    std::string token_;
};

std::unique_ptr<TFilterExpression> TFilterExpression::Parse(TData& data, const std::string& text) {
    if (platform::Trim(text).empty()) return nullptr;
    auto expression = std::make_unique<TFilterExpression>();
    expression->root_ = TFilterBuilder(data, text, *expression).Build();
    return expression;
}

bool TFilterExpression::Eval(TData& data) const { return !root_ || EvalNode(data, root_); }

Variant TFilterExpression::OperandValue(TData& data, const TExpressionNode* node) const {
    if (node->Kind == ekField) {
        Variant value;
        data.GetFieldAsVariant(node->FieldDesc->FieldNo, data.FilterRecBuf(), value);
        return value;
    }
    return node->Value;
}

bool TFilterExpression::EvalNode(TData& data, const TExpressionNode* node) const {
    switch (node->Kind) {
        case ekEqual:
        case ekMore:
        case ekLess:
        case ekMoreEqual:
        case ekLessEqual:
        case ekNoEqual: {
            Check(node->Left && node->Right, UnitMemData);
            Variant left = OperandValue(data, node->Left);
            Variant right = OperandValue(data, node->Right);
            // A text compared with a date-time field is read as a date-time.
            auto isDateField = [](const TExpressionNode* n) {
                return n->Kind == ekField && n->FieldDesc->DataType == dtDateTime;
            };
            if (isDateField(node->Left) && right.IsString())
                right = Variant::FromDateTime(platform::StrToDateTime(right.AsString()));
            if (isDateField(node->Right) && left.IsString())
                left = Variant::FromDateTime(platform::StrToDateTime(left.AsString()));
            if (data.FilterCaseInsensitive) {
                if (left.IsString()) left = Variant(platform::AnsiUpperCase(left.AsString()));
                if (right.IsString()) right = Variant(platform::AnsiUpperCase(right.AsString()));
            }
            switch (node->Kind) {
                case ekEqual:
                case ekNoEqual: {
                    const bool equal = !data.FilterNoPartialCompare && left.IsString()
                                           ? MatchesMask(left.AsString(), platform::VarToStr(right))
                                           : left == right;
                    return node->Kind == ekEqual ? equal : !equal;
                }
                case ekMore:
                    return left > right;
                case ekLess:
                    return left < right;
                case ekMoreEqual:
                    return left >= right;
                default:
                    return left <= right;
            }
        }
        case ekAnd:
            return EvalNode(data, node->Left) && EvalNode(data, node->Right);
        case ekOr:
            return EvalNode(data, node->Left) || EvalNode(data, node->Right);
        case ekNot:
            return !EvalNode(data, node->Left);
        case ekTrue:
            return true;
        case ekFalse:
            return false;
        default:
            AssertionFailed(UnitMemData);
    }
}

namespace {

// 1: matched; 2: the value ran out first (no later "*" can help); 0: no match.
int MatchFrom(const char* value, const char* mask) {
    while ((*value && *mask) || *mask == '*') {
        if (*mask == '*') {
            if (mask[1] == '\0') return 1;
            const int rest = MatchFrom(value, mask + 1);
            if (rest != 0) return rest;
            if (!*value) return 2;
            ++value;  // the "*" swallows one more character
            continue;
        }
        if (*mask != *value && *mask != '_') return 0;
        ++value;
        ++mask;
    }
    if (!*value) return *mask ? 2 : 1;
    return 0;
}

}  // namespace

bool MatchesMask(const std::string& value, const std::string& mask) {
    return MatchFrom(value.c_str(), mask.c_str()) == 1;
}

}  // namespace oracle
