#include "platform/FilterExpression.h"

#include <cctype>
#include <cstring>

#include "platform/DateTime.h"

namespace platform {

uint16_t LogicalTypeForFieldType(TFieldType type) {
    switch (type) {
    case ftString: case ftFixedChar: case ftWideString: case ftGuid: return 1;
    case ftDate: return 2;
    case ftBoolean: return 4;
    case ftSmallint: return 5;
    case ftInteger: case ftAutoInc: return 6;
    case ftFloat: case ftCurrency: return 7;
    case ftBCD: case ftFMTBcd: return 8;
    case ftBytes: return 9;
    case ftTime: return 10;
    case ftDateTime: return 11;
    case ftWord: return 12;
    case ftVarBytes: return 15;
    case ftLargeint: return 18;
    case ftADT: return 20;
    case ftArray: return 21;
    case ftReference: return 22;
    case ftDataSet: return 23;
    case ftTimeStamp: return 24;
    default: return IsBlobType(type) ? 3 : 0;
    }
}

// ================================================================ builder

namespace {

template <class T>
std::vector<uint8_t> BytesOf(T value) {
    std::vector<uint8_t> bytes(sizeof(T));
    std::memcpy(bytes.data(), &value, sizeof(T));
    return bytes;
}

void Put16(std::vector<uint8_t>& out, size_t at, uint32_t value) {
    out[at] = static_cast<uint8_t>(value & 0xFF);
    out[at + 1] = static_cast<uint8_t>((value >> 8) & 0xFF);
}

void Put32(std::vector<uint8_t>& out, size_t at, uint32_t value) {
    Put16(out, at, value & 0xFFFF);
    Put16(out, at + 2, value >> 16);
}

size_t NodeSize(uint32_t nodeClass) {
    switch (nodeClass) {
    case 1: return 10;
    case 2: return 12;
    case 3: return 16;
    case 4: return 12;
    default: return 14;
    }
}

}  // namespace

TFilterExpressionBuilder::NodeId TFilterExpressionBuilder::AddField(const AnsiString& name, int fieldNo,
                                                                    TFieldType type) {
    Node node;
    node.nodeClass = 4;
    node.name = name;
    node.fieldNo = fieldNo;
    node.fieldType = type;
    nodes_.push_back(std::move(node));
    return static_cast<NodeId>(nodes_.size() - 1);
}

TFilterExpressionBuilder::NodeId TFilterExpressionBuilder::AddConstant(const Variant& value, TFieldType type) {
    if (type == ftUnknown) {
        if (value.VarType() == varBoolean) type = ftBoolean;
        else if (value.IsOrdinal()) type = value.VarType() == varInt64 ? ftLargeint : ftInteger;
        else if (value.IsFloat()) type = ftFloat;
        else if (value.VarType() == varDate) type = ftDateTime;
        else type = ftString;
    }
    Node node;
    node.nodeClass = 5;
    node.fieldType = type;
    node.logicalType = LogicalTypeForFieldType(type);
    switch (node.logicalType) {
    case 4: node.value = BytesOf<int16_t>(value.AsBoolean() ? -1 : 0); break;
    case 5: {
        int32_t v = value.AsInteger();
        if (v < -32768 || v > 32767) throw EConvertError("Value out of range: " + value.AsString());
        node.value = BytesOf<int16_t>(static_cast<int16_t>(v));
        break;
    }
    case 12: {
        int32_t v = value.AsInteger();
        if (v < 0 || v > 65535) throw EConvertError("Value out of range: " + value.AsString());
        node.value = BytesOf<uint16_t>(static_cast<uint16_t>(v));
        break;
    }
    case 6: node.value = BytesOf<int32_t>(value.AsInteger()); break;
    case 18: node.value = BytesOf<int64_t>(value.AsInt64()); break;
    case 7: case 8: node.value = BytesOf<double>(value.AsDouble()); break;
    case 2: node.value = BytesOf<int32_t>(DateTimeToTimeStamp(value.AsDateTime()).Date); break;
    case 10: node.value = BytesOf<int32_t>(DateTimeToTimeStamp(value.AsDateTime()).Time); break;
    case 11: node.value = BytesOf<double>(TimeStampToMSecs(DateTimeToTimeStamp(value.AsDateTime()))); break;
    default: {
        node.logicalType = 1;
        AnsiString text = value.AsString();
        node.value.assign(text.begin(), text.end());
        node.value.push_back(0);
        break;
    }
    }
    nodes_.push_back(std::move(node));
    return static_cast<NodeId>(nodes_.size() - 1);
}

TFilterExpressionBuilder::NodeId TFilterExpressionBuilder::AddUnary(TFilterOperator op, NodeId operand) {
    Node node;
    node.nodeClass = 1;
    node.op = op;
    node.operands = {operand};
    nodes_.push_back(std::move(node));
    return static_cast<NodeId>(nodes_.size() - 1);
}

TFilterExpressionBuilder::NodeId TFilterExpressionBuilder::AddBinary(TFilterOperator op, NodeId left,
                                                                     NodeId right) {
    Node node;
    node.nodeClass = 2;
    node.op = op;
    node.operands = {left, right};
    nodes_.push_back(std::move(node));
    return static_cast<NodeId>(nodes_.size() - 1);
}

TFilterExpressionBuilder::NodeId TFilterExpressionBuilder::AddComparison(TFilterOperator op, NodeId left,
                                                                         NodeId right, bool caseInsensitive,
                                                                         int partialLength) {
    Node node;
    node.nodeClass = 3;
    node.op = op;
    node.operands = {left, right};
    node.caseInsensitive = caseInsensitive;
    node.partialLength = partialLength;
    nodes_.push_back(std::move(node));
    return static_cast<NodeId>(nodes_.size() - 1);
}

TFieldType TFilterExpressionBuilder::FieldTypeOf(NodeId node) const {
    return nodes_[static_cast<size_t>(node)].fieldType;
}
bool TFilterExpressionBuilder::IsField(NodeId node) const { return nodes_[static_cast<size_t>(node)].nodeClass == 4; }
bool TFilterExpressionBuilder::IsConstant(NodeId node) const {
    return nodes_[static_cast<size_t>(node)].nodeClass == 5;
}

std::vector<uint8_t> TFilterExpressionBuilder::Build(NodeId root) const {
    // Nodes in pre-order (the root first), literals in the same order.
    std::vector<NodeId> order;
    std::function<void(NodeId)> visit = [&](NodeId id) {
        order.push_back(id);
        for (NodeId child : nodes_[static_cast<size_t>(id)].operands) visit(child);
    };
    visit(root);
    std::vector<size_t> nodeOffset(nodes_.size(), 0);
    size_t nodeArea = 0;
    for (NodeId id : order) {
        nodeOffset[static_cast<size_t>(id)] = nodeArea;
        nodeArea += NodeSize(nodes_[static_cast<size_t>(id)].nodeClass);
    }
    std::vector<uint8_t> literals;
    std::vector<size_t> literalOffset(nodes_.size(), 0);
    for (NodeId id : order) {
        const Node& node = nodes_[static_cast<size_t>(id)];
        if (node.nodeClass == 4) {
            literalOffset[static_cast<size_t>(id)] = literals.size();
            literals.insert(literals.end(), node.name.begin(), node.name.end());
            literals.push_back(0);
        } else if (node.nodeClass == 5) {
            literalOffset[static_cast<size_t>(id)] = literals.size();
            literals.insert(literals.end(), node.value.begin(), node.value.end());
        }
    }
    const size_t header = 10;
    size_t total = header + nodeArea + literals.size();
    if (total > 0xFFFF) DatabaseError("Filter expression too large");
    std::vector<uint8_t> out(total, 0);
    Put16(out, 0, 1);
    Put16(out, 2, static_cast<uint32_t>(total));
    Put16(out, 4, static_cast<uint32_t>(order.size()));
    Put16(out, 6, static_cast<uint32_t>(header));
    Put16(out, 8, static_cast<uint32_t>(header + nodeArea));
    for (NodeId id : order) {
        const Node& node = nodes_[static_cast<size_t>(id)];
        size_t at = header + nodeOffset[static_cast<size_t>(id)];
        Put32(out, at, node.nodeClass);
        Put32(out, at + 4, node.op);
        auto ref = [&](size_t index) { return static_cast<uint32_t>(nodeOffset[static_cast<size_t>(node.operands[index])]); };
        switch (node.nodeClass) {
        case 1: Put16(out, at + 8, ref(0)); break;
        case 2: Put16(out, at + 8, ref(0)); Put16(out, at + 10, ref(1)); break;
        case 3:
            Put16(out, at + 8, node.caseInsensitive ? 1 : 0);
            Put16(out, at + 10, static_cast<uint32_t>(node.partialLength));
            Put16(out, at + 12, ref(0));
            Put16(out, at + 14, ref(1));
            break;
        case 4:
            Put16(out, at + 8, static_cast<uint32_t>(node.fieldNo));
            Put16(out, at + 10, static_cast<uint32_t>(literalOffset[static_cast<size_t>(id)]));
            break;
        default:
            Put16(out, at + 8, node.logicalType);
            Put16(out, at + 10, static_cast<uint32_t>(node.value.size()));
            Put16(out, at + 12, static_cast<uint32_t>(literalOffset[static_cast<size_t>(id)]));
            break;
        }
    }
    std::memcpy(out.data() + header + nodeArea, literals.data(), literals.size());
    return out;
}

// ================================================================ parser

namespace {

enum class Tok { End, Name, QuotedName, Text, Number, Op, LParen, RParen, Word };

struct Token {
    Tok kind = Tok::End;
    AnsiString text;  // names and texts as written; words upper-cased
};

[[noreturn]] void Illegal(const AnsiString& text) {
    DatabaseError("Filter expression incorrectly formed: " + text);
}

class Lexer {
public:
    explicit Lexer(const AnsiString& text) : text_(text) {}

    Token Next() {
        while (pos_ < text_.size() && static_cast<unsigned char>(text_[pos_]) <= ' ') ++pos_;
        Token t;
        if (pos_ >= text_.size()) return t;
        char c = text_[pos_];
        if (c == '(' || c == ')') {
            ++pos_;
            t.kind = c == '(' ? Tok::LParen : Tok::RParen;
            t.text = AnsiString(1, c);
        } else if (c == '\'') {
            t.kind = Tok::Text;
            t.text = Quoted('\'');
        } else if (c == '"') {
            t.kind = Tok::QuotedName;
            t.text = Quoted('"');
        } else if (c == '[') {
            size_t end = text_.find(']', pos_);
            if (end == AnsiString::npos) Illegal(text_);
            t.kind = Tok::QuotedName;
            t.text = text_.substr(pos_ + 1, end - pos_ - 1);
            pos_ = end + 1;
        } else if (c == '=' || c == '<' || c == '>') {
            t.kind = Tok::Op;
            t.text = AnsiString(1, c);
            ++pos_;
            if (pos_ < text_.size() && (text_[pos_] == '=' || (c == '<' && text_[pos_] == '>'))) t.text += text_[pos_++];
        } else if (std::isdigit(static_cast<unsigned char>(c)) ||
                   ((c == '-' || c == '.') && pos_ + 1 < text_.size() &&
                    std::isdigit(static_cast<unsigned char>(text_[pos_ + 1])))) {
            t.kind = Tok::Number;
            size_t start = pos_++;
            while (pos_ < text_.size() && (std::isdigit(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '.'))
                ++pos_;
            t.text = text_.substr(start, pos_ - start);
        } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_' || static_cast<unsigned char>(c) >= 0x80) {
            size_t start = pos_;
            while (pos_ < text_.size()) {
                unsigned char d = static_cast<unsigned char>(text_[pos_]);
                if (!(std::isalnum(d) || d == '_' || d == '.' || d >= 0x80)) break;
                ++pos_;
            }
            t.text = text_.substr(start, pos_ - start);
            AnsiString upper = AnsiUpperCase(t.text);
            if (upper == "AND" || upper == "OR" || upper == "NOT" || upper == "IS" || upper == "NULL" ||
                upper == "TRUE" || upper == "FALSE") {
                t.kind = Tok::Word;
                t.text = upper;
            } else {
                t.kind = Tok::Name;
            }
        } else {
            Illegal(text_);
        }
        return t;
    }

private:
    // A quoted run; a doubled quote inside stands for one.
    AnsiString Quoted(char quote) {
        AnsiString result;
        ++pos_;
        for (;;) {
            if (pos_ >= text_.size()) Illegal(text_);
            char c = text_[pos_++];
            if (c == quote) {
                if (pos_ < text_.size() && text_[pos_] == quote) {
                    result += quote;
                    ++pos_;
                    continue;
                }
                return result;
            }
            result += c;
        }
    }

    const AnsiString& text_;
    size_t pos_ = 0;
};

class Parser {
public:
    Parser(const AnsiString& text, TFilterOptions options, const TFilterExpression::FieldResolver& resolver)
        : text_(text), lexer_(text), options_(options), resolver_(resolver) {
        Advance();
    }

    std::vector<uint8_t> Run() {
        if (current_.kind == Tok::End) Illegal(text_);
        TFilterExpressionBuilder::NodeId root = OrExpr();
        if (current_.kind != Tok::End) Illegal(text_);
        return builder_.Build(root);
    }

private:
    using NodeId = TFilterExpressionBuilder::NodeId;

    // An operand before the builder knows what it compares with.
    struct Operand {
        enum Kind { Field, Text, Number, Boolean, Null, Node } kind;
        AnsiString text;
        NodeId node = -1;
        TFieldType fieldType = ftUnknown;
        int fieldNo = 0;
    };

    void Advance() { current_ = lexer_.Next(); }
    bool IsWord(const char* w) const { return current_.kind == Tok::Word && current_.text == w; }

    NodeId OrExpr() {
        NodeId left = AndExpr();
        while (IsWord("OR")) {
            Advance();
            left = builder_.AddBinary(fopOr, left, AndExpr());
        }
        return left;
    }

    NodeId AndExpr() {
        NodeId left = NotExpr();
        while (IsWord("AND")) {
            Advance();
            left = builder_.AddBinary(fopAnd, left, NotExpr());
        }
        return left;
    }

    NodeId NotExpr() {
        if (IsWord("NOT")) {
            Advance();
            return builder_.AddUnary(fopNot, NotExpr());
        }
        return Comparison();
    }

    NodeId Comparison() {
        Operand left = Primary();
        if (left.kind == Operand::Node && current_.kind != Tok::Op) return left.node;
        if (IsWord("IS")) {
            Advance();
            bool negate = false;
            if (IsWord("NOT")) {
                negate = true;
                Advance();
            }
            if (!IsWord("NULL")) Illegal(text_);
            Advance();
            return builder_.AddUnary(negate ? fopNotBlank : fopIsBlank, Materialise(left, ftUnknown));
        }
        if (current_.kind != Tok::Op) {
            // A boolean field standing alone is true when set.
            if (left.kind == Operand::Field && left.fieldType == ftBoolean) {
                NodeId field = Materialise(left, ftUnknown);
                NodeId yes = builder_.AddConstant(Variant(true), ftBoolean);
                return builder_.AddComparison(fopEqual, field, yes, false, 0);
            }
            Illegal(text_);
        }
        AnsiString op = current_.text;
        Advance();
        Operand right = Primary();
        TFilterOperator code = op == "=" ? fopEqual : op == "<>" ? fopNotEqual : op == "<" ? fopLess
                             : op == ">" ? fopGreater : op == "<=" ? fopLessOrEqual : fopGreaterOrEqual;
        if (right.kind == Operand::Null || left.kind == Operand::Null) {
            if (code != fopEqual && code != fopNotEqual) Illegal(text_);
            Operand& value = right.kind == Operand::Null ? left : right;
            if (value.kind == Operand::Null) Illegal(text_);
            return builder_.AddUnary(code == fopEqual ? fopIsBlank : fopNotBlank, Materialise(value, ftUnknown));
        }
        // A constant takes the type of the field it is compared with when it converts.
        TFieldType leftType = left.kind == Operand::Field ? left.fieldType : ftUnknown;
        TFieldType rightType = right.kind == Operand::Field ? right.fieldType : ftUnknown;
        int partial = 0;
        if ((code == fopEqual || code == fopNotEqual) && (options_ & foNoPartialCompare) == 0) {
            Operand* text = right.kind == Operand::Text ? &right : left.kind == Operand::Text ? &left : nullptr;
            if (text && text->text.size() > 1 && text->text.back() == '*') {
                text->text.pop_back();
                partial = static_cast<int>(text->text.size());
            }
        }
        NodeId l = Materialise(left, rightType);
        NodeId r = Materialise(right, leftType);
        return builder_.AddComparison(code, l, r, (options_ & foCaseInsensitive) != 0, partial);
    }

    Operand Primary() {
        Operand o{};
        switch (current_.kind) {
        case Tok::LParen: {
            Advance();
            o.kind = Operand::Node;
            o.node = OrExpr();
            if (current_.kind != Tok::RParen) Illegal(text_);
            Advance();
            return o;
        }
        case Tok::Name:
        case Tok::QuotedName: {
            TFilterExpression::FieldInfo info;
            bool known = resolver_ && resolver_(current_.text, info);
            if (!known && current_.kind == Tok::Name) DatabaseError("Field '" + current_.text + "' not found");
            o.kind = Operand::Field;
            o.text = current_.text;
            o.fieldNo = known ? info.FieldNo : 0;
            o.fieldType = known ? info.DataType : ftString;
            Advance();
            return o;
        }
        case Tok::Text: o.kind = Operand::Text; break;
        case Tok::Number: o.kind = Operand::Number; break;
        case Tok::Word:
            if (current_.text == "TRUE" || current_.text == "FALSE") o.kind = Operand::Boolean;
            else if (current_.text == "NULL") o.kind = Operand::Null;
            else Illegal(text_);
            break;
        default:
            Illegal(text_);
        }
        o.text = current_.text;
        Advance();
        return o;
    }

    // Puts an operand into the tree; constants take `type` when they convert to it.
    NodeId Materialise(const Operand& o, TFieldType type) {
        switch (o.kind) {
        case Operand::Node: return o.node;
        case Operand::Field: return builder_.AddField(o.text, o.fieldNo, o.fieldType);
        case Operand::Boolean: return builder_.AddConstant(Variant(o.text == "TRUE"), ftBoolean);
        case Operand::Number: {
            Variant value = NumberValue(o.text);
            if (type != ftUnknown && type != ftString && type != ftFixedChar) {
                try {
                    return builder_.AddConstant(value, type);
                } catch (const EConvertError&) {
                    // Out of the field's range: compared as the number it is.
                }
            }
            return builder_.AddConstant(value, ftUnknown);
        }
        case Operand::Text: {
            if (type == ftDate || type == ftTime || type == ftDateTime) {
                TDateTime when;
                bool ok = type == ftDate ? TryStrToDate(o.text, when)
                        : type == ftTime ? TryStrToTime(o.text, when) : TryStrToDateTime(o.text, when);
                if (ok) return builder_.AddConstant(Variant::FromDateTime(when), type);
            } else if (type != ftUnknown && type != ftString && type != ftFixedChar && LogicalTypeForFieldType(type) != 1 &&
                       type != ftBytes && type != ftVarBytes && !IsBlobType(type)) {
                try {
                    return builder_.AddConstant(Variant(o.text), type);
                } catch (const EConvertError&) {
                    // Not a value of the field's kind: compared as text.
                }
            }
            return builder_.AddConstant(Variant(o.text), ftString);
        }
        case Operand::Null: break;
        }
        Illegal(text_);
    }

    Variant NumberValue(const AnsiString& text) {
        bool isFloat = text.find('.') != AnsiString::npos;
        if (!isFloat) {
            errno = 0;
            long long v = std::strtoll(text.c_str(), nullptr, 10);
            if (errno == 0 && v >= INT32_MIN && v <= INT32_MAX) return Variant(static_cast<int32_t>(v));
            if (errno == 0) return Variant(static_cast<int64_t>(v));
        }
        char* end = nullptr;
        double d = std::strtod(text.c_str(), &end);
        if (!end || *end != '\0') Illegal(text_);
        return Variant(d);
    }

    const AnsiString& text_;
    Lexer lexer_;
    TFilterOptions options_;
    const TFilterExpression::FieldResolver& resolver_;
    TFilterExpressionBuilder builder_;
    Token current_;
};

}  // namespace

TFilterExpression::TFilterExpression(const AnsiString& text, TFilterOptions options, const FieldResolver& resolver)
    : tree_(Parser(text, options, resolver).Run()) {}

}  // namespace platform
