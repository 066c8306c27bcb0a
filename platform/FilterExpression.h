// The filter-expression parser: turns a dataset's Filter text (or a Locate key list)
// into the canonical expression tree that the Btrieve library's record filters evaluate.
// Used by the Btrieve dataset components; the Oracle library has a parser of its own.
//
// Tree layout (little-endian, 16-bit values unless stated): header version @0, total
// size @2, node count @4, node area start @6, literal area start @8; node references
// are offsets from the node area start, literal references offsets from the literal
// area start; the root is the node at offset 0. Every node starts with its class and
// operator (32-bit each):
//   1 unary       operand @8                                  (10 bytes)
//   2 binary      operands @8, @10                            (12 bytes)
//   3 comparison  case-insensitive @8, partial length @10, operands @12, @14 (16 bytes)
//   4 field       field number @8, name literal @10           (12 bytes)
//   5 constant    logical type @8, size @10, value literal @12 (14 bytes)
// Operators: 1 is blank, 2 is not blank, 3 =, 4 <>, 5 >, 6 <, 7 >=, 8 <=, 9 not,
// 10 and, 11 or. Constants carry the storage's logical value forms (text zero-terminated,
// integers, 64-bit float, boolean 16-bit 0/-1, date int32 day number, time int32
// milliseconds, time stamp double milliseconds).
//
// Filter syntax: comparisons (= <> < > <= >=) between field names, 'quoted texts',
// numbers (with a "." decimal point), TRUE and FALSE; IS NULL, IS NOT NULL, = NULL and
// <> NULL; NOT, AND, OR and parentheses. Field names are plain words or "double quoted"
// or [bracketed]. A text constant ending in "*" compared with = or <> matches by prefix
// unless foNoPartialCompare is set; foCaseInsensitive marks every comparison.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/DataSetTypes.h"
#include "platform/Variant.h"

namespace platform {

// The storage's logical type for a field type (the framework's field-type map).
uint16_t LogicalTypeForFieldType(TFieldType type);

enum TFilterOperator : uint32_t {
    fopIsBlank = 1, fopNotBlank = 2, fopEqual = 3, fopNotEqual = 4, fopGreater = 5, fopLess = 6,
    fopGreaterOrEqual = 7, fopLessOrEqual = 8, fopNot = 9, fopAnd = 10, fopOr = 11
};

// Builds trees node by node (the parser and lookup filters use it).
class TFilterExpressionBuilder {
public:
    using NodeId = int;

    NodeId AddField(const AnsiString& name, int fieldNo, TFieldType type);
    // A constant in the logical form of `type` (ftUnknown: the value's own kind);
    // raises EConvertError when the value does not convert.
    NodeId AddConstant(const Variant& value, TFieldType type);
    NodeId AddUnary(TFilterOperator op, NodeId operand);
    NodeId AddBinary(TFilterOperator op, NodeId left, NodeId right);
    NodeId AddComparison(TFilterOperator op, NodeId left, NodeId right, bool caseInsensitive,
                         int partialLength);
    // The tree bytes with `root` as the root node.
    std::vector<uint8_t> Build(NodeId root) const;

    TFieldType FieldTypeOf(NodeId node) const;
    bool IsField(NodeId node) const;
    bool IsConstant(NodeId node) const;

private:
    struct Node {
        uint32_t nodeClass = 0;
        uint32_t op = 0;
        std::vector<NodeId> operands;
        bool caseInsensitive = false;
        int partialLength = 0;
        int fieldNo = 0;
        TFieldType fieldType = ftUnknown;
        AnsiString name;
        uint16_t logicalType = 0;
        std::vector<uint8_t> value;
    };
    std::vector<Node> nodes_;
};

class TFilterExpression {
public:
    struct FieldInfo {
        int FieldNo = 0;
        TFieldType DataType = ftUnknown;
    };
    // Answers a field's number and type by name; false when the dataset has no such field.
    using FieldResolver = std::function<bool(const AnsiString& name, FieldInfo& info)>;

    // Parses text; raises EDatabaseError for a bad text ("Filter expression ..." or
    // "Field '%s' not found" for an unknown plain field name).
    TFilterExpression(const AnsiString& text, TFilterOptions options, const FieldResolver& resolver);

    const std::vector<uint8_t>& Tree() const { return tree_; }

private:
    std::vector<uint8_t> tree_;
};

}  // namespace platform
