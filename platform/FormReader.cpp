#include "FormReader.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace platform {

namespace {

bool IsIdentStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool IsIdentChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// One parsed value: a plain variant, or a name (an enumeration value or a component).
struct ParsedValue {
    Variant value;
    bool isName = false;
};

class LineParser {
public:
    LineParser(const AnsiString& line, int lineNo) : line_(line), lineNo_(lineNo) {}

    [[noreturn]] void Fail(const AnsiString& what) const {
        throw EFormReadError("Line " + IntToStr(lineNo_) + ": " + what);
    }

    void SkipBlanks() {
        while (pos_ < line_.size() && (line_[pos_] == ' ' || line_[pos_] == '\t')) ++pos_;
    }
    bool AtEnd() {
        SkipBlanks();
        return pos_ >= line_.size();
    }
    bool Take(char c) {
        SkipBlanks();
        if (pos_ < line_.size() && line_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    char Peek() {
        SkipBlanks();
        return pos_ < line_.size() ? line_[pos_] : '\0';
    }
    AnsiString Identifier() {
        SkipBlanks();
        if (pos_ >= line_.size() || !IsIdentStart(line_[pos_])) Fail("name expected");
        const size_t start = pos_;
        while (pos_ < line_.size() && IsIdentChar(line_[pos_])) ++pos_;
        return line_.substr(start, pos_ - start);
    }

    ParsedValue Value() {
        SkipBlanks();
        ParsedValue out;
        const char c = Peek();
        if (c == '\'' || c == '#') {
            out.value = Text();
        } else if (c == '[') {
            const size_t close = line_.find(']', pos_);
            if (close == AnsiString::npos) Fail("']' expected");
            out.value = line_.substr(pos_, close - pos_ + 1);
            pos_ = close + 1;
        } else if (c == '$') {
            ++pos_;
            const size_t start = pos_;
            while (pos_ < line_.size() && std::isxdigit(static_cast<unsigned char>(line_[pos_]))) ++pos_;
            int64_t v;
            if (!TryStrToInt64("$" + line_.substr(start, pos_ - start), v)) Fail("hexadecimal number expected");
            out.value = FitInteger(v);
        } else if (c == '-' || c == '+' || std::isdigit(static_cast<unsigned char>(c))) {
            out.value = Number();
        } else if (IsIdentStart(c)) {
            const AnsiString name = Identifier();
            if (AnsiSameText(name, "True")) out.value = true;
            else if (AnsiSameText(name, "False")) out.value = false;
            else {
                out.value = name;
                out.isName = true;
            }
        } else {
            Fail("value expected");
        }
        if (!AtEnd()) Fail("unexpected text after the value");
        return out;
    }

private:
    static Variant FitInteger(int64_t v) {
        if (v >= INT32_MIN && v <= INT32_MAX) return Variant(static_cast<int32_t>(v));
        return Variant(v);
    }

    // 'quoted' pieces and #code characters, side by side.
    AnsiString Text() {
        AnsiString out;
        for (;;) {
            if (pos_ < line_.size() && line_[pos_] == '\'') {
                ++pos_;
                for (;;) {
                    if (pos_ >= line_.size()) Fail("unterminated text");
                    if (line_[pos_] == '\'') {
                        if (pos_ + 1 < line_.size() && line_[pos_ + 1] == '\'') {
                            out += '\'';
                            pos_ += 2;
                            continue;
                        }
                        ++pos_;
                        break;
                    }
                    out += line_[pos_++];
                }
            } else if (pos_ < line_.size() && line_[pos_] == '#') {
                ++pos_;
                int code = 0, digits = 0;
                while (pos_ < line_.size() && std::isdigit(static_cast<unsigned char>(line_[pos_])))
                    code = code * 10 + (line_[pos_++] - '0'), ++digits;
                if (digits == 0 || code > 255) Fail("character code expected");
                out += static_cast<char>(code);
            } else {
                return out;
            }
        }
    }

    Variant Number() {
        const size_t start = pos_;
        if (line_[pos_] == '-' || line_[pos_] == '+') ++pos_;
        bool isFloat = false;
        while (pos_ < line_.size()) {
            const char d = line_[pos_];
            if (std::isdigit(static_cast<unsigned char>(d))) ++pos_;
            else if (d == '.' || d == 'e' || d == 'E') isFloat = true, ++pos_;
            else if ((d == '-' || d == '+') && (line_[pos_ - 1] == 'e' || line_[pos_ - 1] == 'E')) ++pos_;
            else break;
        }
        const AnsiString text = line_.substr(start, pos_ - start);
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

    const AnsiString& line_;
    int lineNo_;
    size_t pos_ = 0;
};

struct PendingReference {
    TComponent* component;
    const TPropertyInfo* property;
    AnsiString target;
    int lineNo;
};

class FormReader {
public:
    explicit FormReader(TComponent& root) : root_(root) {}

    void Read(const AnsiString& description) {
        try {
            ReadLines(description);
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
    void ReadLines(const AnsiString& description) {
        TComponent* current = nullptr;
        int lineNo = 0;
        size_t pos = 0;
        while (pos <= description.size()) {
            size_t end = description.find_first_of("\r\n", pos);
            if (end == AnsiString::npos) end = description.size();
            const AnsiString line = description.substr(pos, end - pos);
            ++lineNo;
            pos = end + 1;
            if (end < description.size() && description[end] == '\r' && pos < description.size() &&
                description[pos] == '\n')
                ++pos;

            LineParser parser(line, lineNo);
            if (parser.AtEnd() || parser.Peek() == '#') continue;
            const AnsiString name = parser.Identifier();
            if (parser.Take(':')) {
                const AnsiString className = parser.Identifier();
                if (!parser.AtEnd()) parser.Fail("unexpected text after the class name");
                current = current ? NewChild(name, className, parser) : StartRoot(name, className, parser);
            } else if (parser.Take('=')) {
                if (!current) parser.Fail("a component header must come first");
                SetProperty(*current, name, parser, lineNo);
            } else {
                parser.Fail("':' or '=' expected");
            }
        }
        if (!current) throw EFormReadError("The form description is empty");
    }

    TComponent* StartRoot(const AnsiString& name, const AnsiString& className, LineParser& parser) {
        if (!AnsiSameText(root_.ClassName(), className))
            parser.Fail("the description is for " + className + ", not " + root_.ClassName());
        Begin(root_);
        Guard(parser, name, "Name", [&] { root_.SetName(name); });
        return &root_;
    }

    TComponent* NewChild(const AnsiString& name, const AnsiString& className, LineParser& parser) {
        const TClassInfo* info = FindComponentClass(className);
        if (!info) parser.Fail("Class " + className + " not found");
        TComponent* component = nullptr;
        Guard(parser, name, "", [&] { component = info->CreateOwned(root_); });
        Begin(*component);
        Guard(parser, name, "Name", [&] { component->SetName(name); });
        return component;
    }

    void Begin(TComponent& component) {
        component.IncludeState(csLoading);
        component.IncludeState(csReading);
        loaded_.push_back(&component);
    }

    void SetProperty(TComponent& component, const AnsiString& property, LineParser& parser, int lineNo) {
        const TPropertyInfo* info = component.ClassInfo().FindProperty(property);
        if (!info || !(info->Write || info->WriteComponent))
            parser.Fail("Error reading " + component.Name() + "." + property + ": Property " + property +
                        " does not exist");
        const ParsedValue parsed = parser.Value();
        if (info->IsComponentReference) {
            if (!parsed.isName) parser.Fail("Error reading " + component.Name() + "." + property + ": component name expected");
            const AnsiString target = parsed.value.AsString();
            if (AnsiSameText(target, "nil")) {
                Guard(parser, component.Name(), property, [&] { info->WriteComponent(component, nullptr); });
                return;
            }
            if (TComponent* found = Lookup(target)) {
                Guard(parser, component.Name(), property, [&] { info->WriteComponent(component, found); });
                return;
            }
            pending_.push_back({&component, info, target, lineNo});
            return;
        }
        Guard(parser, component.Name(), property, [&] { info->Write(component, parsed.value); });
    }

    TComponent* Lookup(const AnsiString& name) const {
        if (AnsiSameText(root_.Name(), name)) return &root_;
        return root_.FindComponent(name);
    }

    void ResolvePending() {
        for (const PendingReference& ref : pending_) {
            const AnsiString where = ref.component->Name() + "." + ref.property->Name;
            TComponent* found = Lookup(ref.target);
            if (!found)
                throw EFormReadError("Line " + IntToStr(ref.lineNo) + ": Error reading " + where +
                                     ": no component named " + ref.target);
            try {
                ref.property->WriteComponent(*ref.component, found);
            } catch (const Exception& e) {
                throw EFormReadError("Line " + IntToStr(ref.lineNo) + ": Error reading " + where + ": " + e.Message());
            }
        }
    }

    template <class Action>
    void Guard(LineParser& parser, const AnsiString& component, const AnsiString& property, Action action) {
        try {
            action();
        } catch (const EFormReadError&) {
            throw;
        } catch (const Exception& e) {
            parser.Fail("Error reading " + component + (property.empty() ? "" : "." + property) + ": " + e.Message());
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
