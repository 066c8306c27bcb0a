// Filter expressions of the record stores: TBoolParser tokenizes the filter text,
// the parser builds a tree of TExpressionNode, and the tree is evaluated against
// each record the in-memory list considers showing.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "oracle/core/Parser.h"
#include "platform/Variant.h"

namespace oracle {

class TData;
class TFieldDesc;

// Token codes of TBoolParser's table.
enum TBoolToken : int {
    btEqual = 1, btMore, btLess, btMoreEqual, btLessEqual, btNoEqual, btLeftParen, btRightParen,
    btAnd, btFalse, btNot, btNull, btOr, btTrue
};

class TBoolParser : public TParser {
public:
    explicit TBoolParser(const std::string& text);
    static const TLexemeTable& Table();
};

enum TExpressionKind : uint8_t {
    ekEqual = 0, ekMore, ekLess, ekMoreEqual, ekLessEqual, ekNoEqual,
    ekAnd, ekOr, ekNot, ekField, ekValue, ekTrue, ekFalse
};

struct TExpressionNode {
    TExpressionKind Kind = ekTrue;
    TExpressionNode* Left = nullptr;
    TExpressionNode* Right = nullptr;
    TFieldDesc* FieldDesc = nullptr;
    platform::Variant Value;
};

// A parsed filter; owns its nodes.
class TFilterExpression {
public:
    // Nil for a blank text; "Illegal filter expression" or "Filed %s not found" otherwise.
    static std::unique_ptr<TFilterExpression> Parse(TData& data, const std::string& text);
    // Evaluates against the store's FilterRecBuf with its filter options.
    bool Eval(TData& data) const;
    const TExpressionNode* Root() const { return root_; }

private:
    friend class TFilterBuilder;
    bool EvalNode(TData& data, const TExpressionNode* node) const;
    platform::Variant OperandValue(TData& data, const TExpressionNode* node) const;

    std::vector<std::unique_ptr<TExpressionNode>> nodes_;
    TExpressionNode* root_ = nullptr;
};

// "*" matches any run of characters, "_" any one; characters compare exactly.
bool MatchesMask(const std::string& value, const std::string& mask);

}  // namespace oracle
