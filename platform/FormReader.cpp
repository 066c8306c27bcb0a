#include "FormReader.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <vector>


namespace platform {

namespace {

bool IsIdentStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool IsIdentChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

[[noreturn]] void FailAt(int line, const AnsiString& what) {
    throw EFormReadError("Line " + IntToStr(line) + ": " + what);
}

struct Assignment;

// One value as written: a plain variant, a name (an enumeration value or a component),
// the lines of a list, the bytes of a binary block, or the items of a collection.
struct ParsedValue {
    enum Kind { kScalar, kName, kLines, kBinary, kItems } kind = kScalar;
    Variant value;
    std::string bytes;
    std::vector<std::vector<Assignment>> items;
};

// "Path = value" on the line it starts on.
struct Assignment {
    std::vector<AnsiString> path;
    ParsedValue value;
    int line = 0;

    AnsiString PathText() const {
        AnsiString text;
        for (const AnsiString& part : path) text += (text.empty() ? "" : ".") + part;
        return text;
    }
};

// A component header and the assignments under it.
struct ComponentBlock {
    AnsiString name, className;
    int line = 0;
    std::vector<Assignment> assignments;
};

// Reads the description into component blocks; knows nothing of classes.
class Parser {
public:
    explicit Parser(const AnsiString& text) : text_(text) {}

    std::vector<ComponentBlock> Parse() {
        std::vector<ComponentBlock> blocks;
        while (NextStatement()) {
            const int line = line_;
            const AnsiString name = Identifier();
            if (Take(':')) {
                ComponentBlock block;
                block.name = name;
                block.className = Identifier();
                block.line = line;
                EndLine("unexpected text after the class name");
                blocks.push_back(std::move(block));
                continue;
            }
            if (Peek() != '=' && Peek() != '.') Fail("':' or '=' expected");
            if (blocks.empty()) Fail("a component header must come first");
            blocks.back().assignments.push_back(AssignmentAfter(name, line));
        }
        if (blocks.empty()) throw EFormReadError("The form description is empty");
        return blocks;
    }

private:
    [[noreturn]] void Fail(const AnsiString& what) const { FailAt(line_, what); }

    char Current() const { return pos_ < text_.size() ? text_[pos_] : '\0'; }
    bool AtEnd() const { return pos_ >= text_.size(); }

    void SkipBlanks() {
        while (!AtEnd() && IsBlank(Current())) ++pos_;
    }
    // Moves past one line end (CR, LF or CR LF).
    void TakeLineEnd() {
        if (Current() == '\r') ++pos_;
        if (Current() == '\n') ++pos_;
        ++line_;
    }
    // Blanks and line ends, inside a value that spans lines.
    void SkipSpace() {
        for (;;) {
            SkipBlanks();
            if (AtEnd() || !IsLineEnd(Current())) return;
            TakeLineEnd();
        }
    }
    // To the first character of the next statement, past blank and comment lines.
    bool NextStatement() {
        for (;;) {
            SkipBlanks();
            if (AtEnd()) return false;
            if (Current() == '#') {
                while (!AtEnd() && !IsLineEnd(Current())) ++pos_;
            }
            if (AtEnd()) return false;
            if (!IsLineEnd(Current())) return true;
            TakeLineEnd();
        }
    }
    void EndLine(const AnsiString& what) {
        SkipBlanks();
        if (AtEnd()) return;
        if (!IsLineEnd(Current())) Fail(what);
        TakeLineEnd();
    }
    char Peek() {
        SkipBlanks();
        return Current();
    }
    bool Take(char c) {
        if (Peek() != c) return false;
        ++pos_;
        return true;
    }
    AnsiString Identifier() {
        SkipBlanks();
        if (!IsIdentStart(Current())) Fail("name expected");
        const size_t start = pos_;
        while (!AtEnd() && IsIdentChar(Current())) ++pos_;
        return text_.substr(start, pos_ - start);
    }

    // The rest of "Name(.Name)* = value" after its first name.
    Assignment AssignmentAfter(const AnsiString& first, int line) {
        Assignment assignment;
        assignment.line = line;
        assignment.path.push_back(first);
        while (Take('.')) assignment.path.push_back(Identifier());
        if (!Take('=')) Fail("'=' expected");
        assignment.value = Value();
        EndLine("unexpected text after the value");
        return assignment;
    }

    ParsedValue Value() {
        ParsedValue out;
        const char c = Peek();
        if (c == '(') {
            ++pos_;
            out.kind = ParsedValue::kLines;
            out.value = Lines();
        } else if (c == '{') {
            ++pos_;
            out.kind = ParsedValue::kBinary;
            out.bytes = Binary();
        } else if (c == '<') {
            ++pos_;
            out.kind = ParsedValue::kItems;
            out.items = Items();
        } else if (c == '\'' || c == '#') {
            out.value = Text();
        } else if (c == '[') {
            const size_t close = text_.find(']', pos_);
            const size_t lineEnd = text_.find_first_of("\r\n", pos_);
            if (close == AnsiString::npos || close > lineEnd) Fail("']' expected");
            out.value = text_.substr(pos_, close - pos_ + 1);
            pos_ = close + 1;
        } else if (c == '$') {
            ++pos_;
            const size_t start = pos_;
            while (!AtEnd() && std::isxdigit(static_cast<unsigned char>(Current()))) ++pos_;
            int64_t v;
            if (!TryStrToInt64("$" + text_.substr(start, pos_ - start), v)) Fail("hexadecimal number expected");
            out.value = FitInteger(v);
        } else if (c == '-' || c == '+' || std::isdigit(static_cast<unsigned char>(c))) {
            out.value = Number();
        } else if (IsIdentStart(c)) {
            const AnsiString name = Identifier();
            if (AnsiSameText(name, "True")) {
                out.value = true;
            } else if (AnsiSameText(name, "False")) {
                out.value = false;
            } else {
                out.kind = ParsedValue::kName;
                out.value = name;
            }
        } else {
            Fail("value expected");
        }
        return out;
    }

    // ( 'line' 'line' ... ): the text of a string list, lines joined by CR LF.
    AnsiString Lines() {
        AnsiString joined;
        bool first = true;
        for (;;) {
            SkipSpace();
            if (AtEnd()) Fail("')' expected");
            if (Current() == ')') {
                ++pos_;
                return joined;
            }
            if (Current() != '\'' && Current() != '#') Fail("text expected");
            joined += (first ? "" : "\r\n") + Text();
            first = false;
        }
    }

    // { hex digits }: two digits a byte; blanks and line ends anywhere between them.
    std::string Binary() {
        std::string bytes;
        int high = -1;
        for (;;) {
            SkipSpace();
            if (AtEnd()) Fail("'}' expected");
            const char c = Current();
            if (c == '}') {
                ++pos_;
                if (high >= 0) Fail("odd number of hexadecimal digits");
                return bytes;
            }
            if (!std::isxdigit(static_cast<unsigned char>(c))) Fail("hexadecimal digit expected");
            ++pos_;
            const int digit = std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : std::toupper(c) - 'A' + 10;
            if (high < 0) {
                high = digit;
            } else {
                bytes += static_cast<char>(high * 16 + digit);
                high = -1;
            }
        }
    }

    // < item (assignments) end ... >: the items of a collection.
    std::vector<std::vector<Assignment>> Items() {
        std::vector<std::vector<Assignment>> items;
        for (;;) {
            SkipSpace();
            if (Take('>')) return items;
            if (!NextStatement()) Fail("'>' expected");
            if (Take('>')) return items;
            if (!AnsiSameText(Identifier(), "item")) Fail("'item' expected");
            EndLine("unexpected text after 'item'");
            std::vector<Assignment> item;
            for (;;) {
                if (!NextStatement()) Fail("'end' expected");
                const int line = line_;
                const AnsiString name = Identifier();
                if (AnsiSameText(name, "end") && Peek() != '=' && Peek() != '.') break;
                item.push_back(AssignmentAfter(name, line));
            }
            items.push_back(std::move(item));
            if (Take('>')) return items;
            EndLine("unexpected text after 'end'");
        }
    }

    static Variant FitInteger(int64_t v) {
        if (v >= INT32_MIN && v <= INT32_MAX) return Variant(static_cast<int32_t>(v));
        return Variant(v);
    }

    // 'quoted' pieces and #code characters, side by side.
    AnsiString Text() {
        AnsiString out;
        for (;;) {
            if (Current() == '\'') {
                ++pos_;
                for (;;) {
                    if (AtEnd() || IsLineEnd(Current())) Fail("unterminated text");
                    if (Current() == '\'') {
                        if (pos_ + 1 < text_.size() && text_[pos_ + 1] == '\'') {
                            out += '\'';
                            pos_ += 2;
                            continue;
                        }
                        ++pos_;
                        break;
                    }
                    out += text_[pos_++];
                }
            } else if (Current() == '#') {
                ++pos_;
                int code = 0, digits = 0;
                while (!AtEnd() && std::isdigit(static_cast<unsigned char>(Current())))
                    code = code * 10 + (text_[pos_++] - '0'), ++digits;
                if (digits == 0 || code > 255) Fail("character code expected");
                out += static_cast<char>(code);
            } else {
                return out;
            }
        }
    }

    Variant Number() {
        const size_t start = pos_;
        if (Current() == '-' || Current() == '+') ++pos_;
        bool isFloat = false;
        while (!AtEnd()) {
            const char d = Current();
            if (std::isdigit(static_cast<unsigned char>(d))) ++pos_;
            else if (d == '.' || d == 'e' || d == 'E') isFloat = true, ++pos_;
            else if ((d == '-' || d == '+') && (text_[pos_ - 1] == 'e' || text_[pos_ - 1] == 'E')) ++pos_;
            else break;
        }
        const AnsiString text = text_.substr(start, pos_ - start);
        if (isFloat) {
            // Descriptions always write a full stop, whatever the user's separator.
            char* end = nullptr;
            const double v = std::strtod(text.c_str(), &end);
            if (!end || *end) Fail("number expected: " + text);
            return Variant(v);
        }
        int64_t v;
        if (!TryStrToInt64(text, v)) Fail("number expected: " + text);
        return FitInteger(v);
    }

    const AnsiString& text_;
    size_t pos_ = 0;
    int line_ = 1;
};

struct PendingReference {
    TPersistent* object;
    const TPropertyInfo* property;
    AnsiString where;
    AnsiString target;
    int line;
};

// Creates the components and applies the parsed values to them.
class FormReader {
public:
    explicit FormReader(TComponent& root) : root_(root) {}

    void Read(const AnsiString& description) {
        const std::vector<ComponentBlock> blocks = Parser(description).Parse();
        try {
            for (size_t i = 0; i < blocks.size(); ++i) {
                TComponent& component = i == 0 ? StartRoot(blocks[i]) : NewChild(blocks[i]);
                for (const Assignment& assignment : blocks[i].assignments)
                    Assign(component, component.Name(), assignment);
            }
            ResolvePending();
        } catch (...) {
            for (TComponent* c : loaded_) {
                c->ExcludeState(csReading);
                c->ExcludeState(csLoading);
            }
            throw;
        }
        for (TComponent* c : loaded_) c->ExcludeState(csReading);
        for (TComponent* c : loaded_) c->StreamingCompleted();
    }

private:
    TComponent& StartRoot(const ComponentBlock& block) {
        if (!AnsiSameText(root_.ClassName(), block.className))
            FailAt(block.line, "the description is for " + block.className + ", not " + root_.ClassName());
        Begin(root_);
        Guard(block.line, block.name + ".Name", [&] { root_.SetName(block.name); });
        return root_;
    }

    TComponent& NewChild(const ComponentBlock& block) {
        const TClassInfo* info = FindComponentClass(block.className);
        if (!info) FailAt(block.line, "Class " + block.className + " not found");
        TComponent* component = nullptr;
        Guard(block.line, block.name, [&] { component = info->CreateOwned(root_); });
        Begin(*component);
        Guard(block.line, block.name + ".Name", [&] { component->SetName(block.name); });
        return *component;
    }

    void Begin(TComponent& component) {
        component.IncludeState(csLoading);
        component.IncludeState(csReading);
        loaded_.push_back(&component);
    }

    [[noreturn]] static void Missing(const Assignment& a, const AnsiString& where, const AnsiString& property) {
        FailAt(a.line, "Error reading " + where + ": Property " + property + " does not exist");
    }
    // The property exists but takes no value of the kind written.
    [[noreturn]] static void Unsuited(const Assignment& a, const AnsiString& where) {
        FailAt(a.line, "Error reading " + where + ": Invalid property value");
    }

    // Sets one value on `target` (a component, or an item of a collection, named `owner`).
    void Assign(TPersistent& target, const AnsiString& owner, const Assignment& a) {
        const AnsiString where = owner + "." + a.PathText();
        TPersistent* object = &target;
        for (size_t i = 0; i + 1 < a.path.size(); ++i) {
            const TPropertyInfo* step = object->ClassInfo().FindProperty(a.path[i]);
            if (!step) Missing(a, where, a.path[i]);
            if (!step->Object) Unsuited(a, where);
            object = &step->Object(*object);
        }
        const AnsiString& name = a.path.back();
        const TPropertyInfo* info = object->ClassInfo().FindProperty(name);
        const ParsedValue& value = a.value;

        if (value.kind == ParsedValue::kItems || value.kind == ParsedValue::kBinary) {
            TStreamedValues streamed;
            object->DeclareStreamedValues(streamed);
            const TStreamedValues::Entry* entry = streamed.Find(name);
            if (!entry && !info) Missing(a, where, name);
            if (value.kind == ParsedValue::kBinary) {
                if (!entry || !entry->Binary) Unsuited(a, where);
                Guard(a.line, where, [&] { entry->Binary(value.bytes); });
                return;
            }
            TCollection* items = entry ? entry->Items : nullptr;
            if (!items && info && info->Object) items = dynamic_cast<TCollection*>(&info->Object(*object));
            if (!items) Unsuited(a, where);
            ReadItems(*items, where, value.items, a.line);
            return;
        }
        if (!info) Missing(a, where, name);
        if (!info->Write && !info->WriteComponent) Unsuited(a, where);
        if (info->IsComponentReference) {
            if (value.kind != ParsedValue::kName)
                FailAt(a.line, "Error reading " + where + ": component name expected");
            const AnsiString componentName = value.value.AsString();
            if (AnsiSameText(componentName, "nil")) {
                Guard(a.line, where, [&] { info->WriteComponent(*object, nullptr); });
            } else if (TComponent* found = Lookup(componentName)) {
                Guard(a.line, where, [&] { info->WriteComponent(*object, found); });
            } else {
                pending_.push_back({object, info, where, componentName, a.line});
            }
            return;
        }
        Guard(a.line, where, [&] { info->Write(*object, value.value); });
    }

    // A collection takes exactly the items written, in one batch of changes.
    void ReadItems(TCollection& items, const AnsiString& where, const std::vector<std::vector<Assignment>>& written,
                   int line) {
        items.BeginUpdate();
        try {
            Guard(line, where, [&] { items.Clear(); });
            for (size_t i = 0; i < written.size(); ++i) {
                TCollectionItem* item = nullptr;
                Guard(line, where, [&] { item = &items.Add(); });
                for (const Assignment& a : written[i])
                    Assign(*item, where + "[" + IntToStr(static_cast<int>(i)) + "]", a);
            }
        } catch (...) {
            try {
                items.EndUpdate();
            } catch (...) {
                // The first failure is the one to report.
            }
            throw;
        }
        // The owner hears of the new items here, and may reject them.
        Guard(line, where, [&] { items.EndUpdate(); });
    }

    TComponent* Lookup(const AnsiString& name) const {
        if (AnsiSameText(root_.Name(), name)) return &root_;
        return root_.FindComponent(name);
    }

    void ResolvePending() {
        for (const PendingReference& ref : pending_) {
            TComponent* found = Lookup(ref.target);
            if (!found) FailAt(ref.line, "Error reading " + ref.where + ": no component named " + ref.target);
            Guard(ref.line, ref.where, [&] { ref.property->WriteComponent(*ref.object, found); });
        }
    }

    template <class Action>
    static void Guard(int line, const AnsiString& where, Action action) {
        try {
            action();
        } catch (const EFormReadError&) {
            throw;
        } catch (const Exception& e) {
            FailAt(line, "Error reading " + where + ": " + e.Message());
        }
    }

    TComponent& root_;
    std::vector<TComponent*> loaded_;
    std::vector<PendingReference> pending_;
};

}  // namespace

void ReadComponentText(TComponent& root, const AnsiString& description) { FormReader(root).Read(description); }

void ReadComponentResource(TComponent& root, HMODULE module, const AnsiString& resourceName) {
    const AnsiString name = resourceName.empty() ? AnsiUpperCase(root.ClassName()) : resourceName;
    TResourceStream stream(module, name, MAKEINTRESOURCEA(10));
    ReadComponentText(root, AnsiString(stream.Memory(), static_cast<size_t>(stream.DataSize())));
}

}  // namespace platform
