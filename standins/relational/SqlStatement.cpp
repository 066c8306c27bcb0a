#include "standins/relational/SqlStatement.h"

#include <cctype>
#include <cstdlib>

namespace wssql {

using namespace btrieve;

namespace {

struct Token {
    enum Kind { Name, QuotedName, Number, String, Variable, Symbol, End };
    Kind kind = End;
    std::string text;
};

bool NameChar(unsigned char c) { return std::isalnum(c) || c == '_' || c == '$' || c == '^' || c == '#' || c >= 0x80; }

[[noreturn]] void Syntax() { throw SqlError(SqlStatusSyntaxError); }

std::vector<Token> Tokenize(const std::string& text) {
    std::vector<Token> tokens;
    size_t i = 0;
    while (i < text.size()) {
        const unsigned char c = text[i];
        if (std::isspace(c)) {
            ++i;
        } else if (c == '\'' || c == '"') {
            // A doubled quote stands for itself.
            std::string body;
            size_t j = i + 1;
            for (;; ++j) {
                if (j >= text.size()) Syntax();
                if (text[j] == static_cast<char>(c)) {
                    if (j + 1 < text.size() && text[j + 1] == static_cast<char>(c)) {
                        body += text[j++];
                        continue;
                    }
                    break;
                }
                body += text[j];
            }
            tokens.push_back({c == '\'' ? Token::String : Token::QuotedName, body});
            i = j + 1;
        } else if (std::isdigit(c) || (c == '.' && i + 1 < text.size() && std::isdigit(static_cast<unsigned char>(text[i + 1])))) {
            size_t j = i;
            while (j < text.size() && (std::isdigit(static_cast<unsigned char>(text[j])) || text[j] == '.')) ++j;
            tokens.push_back({Token::Number, text.substr(i, j - i)});
            i = j;
        } else if (c == '@') {
            size_t j = i + 1;
            while (j < text.size() && NameChar(text[j])) ++j;
            if (j == i + 1) Syntax();
            tokens.push_back({Token::Variable, text.substr(i + 1, j - i - 1)});
            i = j;
        } else if (NameChar(c)) {
            size_t j = i;
            while (j < text.size() && NameChar(text[j])) ++j;
            tokens.push_back({Token::Name, text.substr(i, j - i)});
            i = j;
        } else {
            static const char* const twoChars[] = {"<>", "<=", ">=", "!="};
            std::string symbol(1, static_cast<char>(c));
            for (const char* two : twoChars)
                if (text.compare(i, 2, two) == 0) symbol = two;
            if (symbol == "!=") symbol = "<>";
            if (symbol.size() == 1 && std::string("(),*=<>;-").find(static_cast<char>(c)) == std::string::npos) Syntax();
            tokens.push_back({Token::Symbol, symbol});
            i += symbol == "<>" && text[i] == '!' ? 2 : symbol.size();
        }
    }
    tokens.push_back({Token::End, {}});
    return tokens;
}

class Parser {
public:
    explicit Parser(const std::string& text) : tokens_(Tokenize(text)) {}

    Statement Parse() {
        Statement s;
        if (Keyword("SELECT")) ParseSelect(s);
        else if (Keyword("INSERT")) ParseInsert(s);
        else if (Keyword("UPDATE")) ParseUpdate(s);
        else if (Keyword("DELETE")) ParseDelete(s);
        else if (Keyword("START")) {
            Expect("TRANSACTION");
            s.kind = Statement::BeginTransaction;
        } else if (Keyword("COMMIT")) {
            Keyword("WORK");
            s.kind = Statement::Commit;
        } else if (Keyword("CALL")) {
            s.kind = Statement::Call;
            s.table = Identifier();
            ExpectSymbol("(");
            ExpectSymbol(")");
        } else if (Keyword("ROLLBACK")) {
            Keyword("WORK");
            s.kind = Statement::Rollback;
        } else {
            Syntax();
        }
        Symbol(";");
        if (Peek().kind != Token::End) Syntax();
        return s;
    }

private:
    const Token& Peek() const { return tokens_[at_]; }
    Token Next() {
        Token t = tokens_[at_];
        if (t.kind != Token::End) ++at_;
        return t;
    }
    bool Keyword(const char* word) {
        if (Peek().kind == Token::Name && SameName(Peek().text, word)) {
            ++at_;
            return true;
        }
        return false;
    }
    void Expect(const char* word) {
        if (!Keyword(word)) Syntax();
    }
    bool Symbol(const char* symbol) {
        if (Peek().kind == Token::Symbol && Peek().text == symbol) {
            ++at_;
            return true;
        }
        return false;
    }
    void ExpectSymbol(const char* symbol) {
        if (!Symbol(symbol)) Syntax();
    }
    std::string Identifier() {
        Token t = Next();
        if (t.kind != Token::Name && t.kind != Token::QuotedName) Syntax();
        return t.text;
    }

    void ParseSelect(Statement& s) {
        s.kind = Statement::Select;
        if (Symbol("*")) {
            s.allColumns = true;
        } else {
            do s.items.push_back(SelectItemOf()); while (Symbol(","));
        }
        Expect("FROM");
        s.table = Identifier();
        ParseWhere(s);
        if (Keyword("ORDER")) {
            Expect("BY");
            do {
                OrderItem item;
                if (Peek().kind == Token::Number) item.position = std::atoi(Next().text.c_str());
                else item.column = Identifier();
                if (Keyword("DESC")) item.descending = true;
                else Keyword("ASC");
                s.order.push_back(item);
            } while (Symbol(","));
        }
        if (s.IsAggregate()) {
            for (const SelectItem& item : s.items)
                if (item.kind == SelectItem::Column) Syntax();  // no grouping
        }
    }

    SelectItem SelectItemOf() {
        static const std::pair<const char*, SelectItem::Kind> functions[] = {
            {"COUNT", SelectItem::Count}, {"SUM", SelectItem::Sum}, {"AVG", SelectItem::Avg},
            {"MIN", SelectItem::Min},     {"MAX", SelectItem::Max}};
        SelectItem item;
        const Token& t = Peek();
        if (t.kind == Token::Name && tokens_[at_ + 1].kind == Token::Symbol && tokens_[at_ + 1].text == "(") {
            for (const auto& [name, kind] : functions) {
                if (!SameName(t.text, name)) continue;
                at_ += 2;
                item.kind = kind;
                std::string label = name;
                if (Symbol("*")) {
                    if (kind != SelectItem::Count) Syntax();
                    label += "(*)";
                } else {
                    item.column = Identifier();
                    label += "(" + item.column + ")";
                }
                ExpectSymbol(")");
                item.label = label;
                return item;
            }
            Syntax();
        }
        item.column = Identifier();
        item.label = item.column;
        return item;
    }

    void ParseInsert(Statement& s) {
        s.kind = Statement::Insert;
        Expect("INTO");
        s.table = Identifier();
        if (Symbol("(")) {
            do s.columns.push_back(Identifier()); while (Symbol(","));
            ExpectSymbol(")");
        }
        Expect("VALUES");
        ExpectSymbol("(");
        do s.values.push_back(OperandOf()); while (Symbol(","));
        ExpectSymbol(")");
        if (!s.columns.empty() && s.columns.size() != s.values.size()) Syntax();
    }

    void ParseUpdate(Statement& s) {
        s.kind = Statement::Update;
        s.table = Identifier();
        Expect("SET");
        do {
            s.columns.push_back(Identifier());
            ExpectSymbol("=");
            s.values.push_back(OperandOf());
        } while (Symbol(","));
        ParseWhere(s);
    }

    void ParseDelete(Statement& s) {
        s.kind = Statement::Delete;
        Expect("FROM");
        s.table = Identifier();
        ParseWhere(s);
    }

    void ParseWhere(Statement& s) {
        if (!Keyword("WHERE")) return;
        s.hasWhere = true;
        s.where = OrCondition();
    }

    Condition OrCondition() { return Joined(Condition::Or); }

    // Conditions joined by OR, or by AND (which binds tighter).
    Condition Joined(Condition::Kind kind) {
        auto operand = [&] { return kind == Condition::Or ? Joined(Condition::And) : NotCondition(); };
        Condition left = operand();
        while (Keyword(kind == Condition::Or ? "OR" : "AND")) {
            Condition both;
            both.kind = kind;
            both.children = {std::move(left), operand()};
            left = std::move(both);
        }
        return left;
    }

    Condition NotCondition() {
        if (Keyword("NOT")) {
            Condition c;
            c.kind = Condition::Not;
            c.children.push_back(NotCondition());
            return c;
        }
        if (Symbol("(")) {
            Condition c = OrCondition();
            ExpectSymbol(")");
            return c;
        }
        return Predicate();
    }

    Condition Predicate() {
        Condition c;
        c.operands.push_back(OperandOf());
        if (Keyword("IS")) {
            c.kind = Condition::IsNull;
            c.negated = Keyword("NOT");
            Expect("NULL");
            return c;
        }
        c.negated = Keyword("NOT");
        if (Keyword("LIKE")) {
            c.kind = Condition::Like;
            c.operands.push_back(OperandOf());
        } else if (Keyword("BETWEEN")) {
            c.kind = Condition::Between;
            c.operands.push_back(OperandOf());
            Expect("AND");
            c.operands.push_back(OperandOf());
        } else if (Keyword("IN")) {
            c.kind = Condition::In;
            ExpectSymbol("(");
            do c.operands.push_back(OperandOf()); while (Symbol(","));
            ExpectSymbol(")");
        } else {
            if (c.negated) Syntax();
            const Token t = Next();
            if (t.kind != Token::Symbol || std::string("= <> < <= > >=").find(t.text) == std::string::npos ||
                t.text == "(" || t.text == ")")
                Syntax();
            c.kind = Condition::Compare;
            c.op = t.text;
            c.operands.push_back(OperandOf());
        }
        return c;
    }

    Operand OperandOf() {
        Operand o;
        const bool negative = Symbol("-");
        Token t = Next();
        if (negative && t.kind != Token::Number) Syntax();
        switch (t.kind) {
        case Token::Number: {
            const std::string text = (negative ? "-" : "") + t.text;
            if (t.text.find('.') == std::string::npos) o.literal = Value::OfInt(std::strtoll(text.c_str(), nullptr, 10));
            else o.literal = Value::OfFloat(std::strtod(text.c_str(), nullptr));
            return o;
        }
        case Token::String:
            o.literal = Value::OfText(t.text);
            return o;
        case Token::Variable:
            o.kind = Operand::Variable;
            o.name = t.text;
            return o;
        case Token::Name:
            if (SameName(t.text, "NULL")) return o;
            [[fallthrough]];
        case Token::QuotedName:
            o.kind = Operand::Column;
            o.name = t.text;
            return o;
        default:
            Syntax();
        }
    }

    std::vector<Token> tokens_;
    size_t at_ = 0;
};

}  // namespace

bool Statement::IsAggregate() const {
    for (const SelectItem& item : items)
        if (item.kind != SelectItem::Column) return true;
    return false;
}

Statement ParseStatement(const std::string& text) { return Parser(text).Parse(); }

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])) ||
            (static_cast<unsigned char>(a[i]) >= 0x80 && a[i] != b[i]))
            return false;
    return true;
}

}  // namespace wssql
