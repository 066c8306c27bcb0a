#include "oracle/core/Macros.h"

#include <vector>

#include "platform/DataSetTypes.h"

namespace oracle {

using namespace platform;

namespace {

// Macro names follow '&' as an identifier or a keyword; symbols never name a macro.
bool NamesMacro(const TParser& parser, int code) {
    return code == lcIdent || code > parser.Lexemes().SymbolCount;
}

}  // namespace

const TClassInfo& TMacro::StaticClassInfo() {
    static const TClassInfo info = [] {
        TClassInfo i("TMacro", &TCollectionItem::StaticClassInfo());
        i.Property("Name", &TMacro::Name, &TMacro::SetName);
        i.Property("Value", &TMacro::Value, &TMacro::SetValue);
        i.Property("Active", &TMacro::Active, &TMacro::SetActive);
        return i;
    }();
    return info;
}

void TMacro::SetValue(const AnsiString& value) {
    if (value == value_) return;
    value_ = value;
    Changed(false);
}

void TMacro::SetActive(bool value) {
    if (value == active_) return;
    active_ = value;
    Changed(false);
}

void TMacro::CopyToTarget(TPersistent& target) const {
    auto* macro = dynamic_cast<TMacro*>(&target);
    if (!macro) {
        TCollectionItem::CopyToTarget(target);
        return;
    }
    macro->SetName(name_);
    macro->SetValue(value_);
    macro->SetActive(active_);
}

AnsiString TMacro::ItemDisplayName() const { return name_.empty() ? TCollectionItem::ItemDisplayName() : name_; }

TMacros::TMacros(TPersistent* owner) : TOwnedCollection(owner, ItemsOf<TMacro>()) {}

const TClassInfo& TMacros::StaticClassInfo() {
    static const TClassInfo info("TMacros", &TCollection::StaticClassInfo());
    return info;
}

std::unique_ptr<TParser> TMacros::NewParser(const AnsiString& text) const {
    std::unique_ptr<TParser> parser = parserClass_(text);
    parser->OmitBlank = false;
    parser->OmitComment = false;
    parser->Uppercase = false;
    return parser;
}

void TMacros::Scan(const AnsiString& text) {
    if (text.find(MacroChar) == std::string::npos) {
        Clear();
        return;
    }
    // Name, value and activity of each macro the text uses, in order of appearance.
    struct Entry {
        AnsiString Name, Value;
        bool Active = true;
    };
    std::vector<Entry> found;
    std::unique_ptr<TParser> parser = NewParser(text);
    std::string token;
    for (int code = parser->GetNext(token); code != lcEnd; code = parser->GetNext(token)) {
        if (token.size() != 1 || token[0] != MacroChar || code == lcString || code == lcComment) continue;
        std::string name;
        const int next = parser->GetNext(name);
        if (!NamesMacro(*parser, next)) {
            parser->Back();
            continue;
        }
        bool known = false;
        for (const Entry& e : found) known = known || AnsiSameText(e.Name, name);
        if (known) continue;
        Entry entry{name, AnsiString(), true};
        if (const TMacro* old = FindMacro(name)) entry = {old->Name(), old->Value(), old->Active()};
        found.push_back(entry);
    }
    BeginUpdate();
    try {
        Clear();
        for (const Entry& e : found) {
            auto& macro = static_cast<TMacro&>(Add());
            macro.SetName(e.Name);
            macro.SetValue(e.Value);
            macro.SetActive(e.Active);
        }
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

void TMacros::Expand(AnsiString& text) const {
    if (Count() == 0) return;
    std::unique_ptr<TParser> parser = NewParser(text);
    parser->QuotedString = true;
    AnsiString result;
    std::string token;
    for (int code = parser->GetNext(token); code != lcEnd; code = parser->GetNext(token)) {
        if (token.size() != 1 || token[0] != MacroChar || code == lcString || code == lcComment) {
            result += token;
            continue;
        }
        std::string name;
        const int next = parser->GetNext(name);
        const TMacro* macro = NamesMacro(*parser, next) ? FindMacro(name) : nullptr;
        if (macro) {
            if (macro->Active()) result += macro->Value();
        } else {
            // An '&' that names no macro is part of the statement.
            result += token;
            parser->Back();
        }
    }
    text = result;
}

TMacro* TMacros::FindMacro(const AnsiString& name) const {
    for (int i = 0; i < Count(); ++i)
        if (AnsiSameText(Items(i).Name(), name)) return &Items(i);
    return nullptr;
}

TMacro& TMacros::MacroByName(const AnsiString& name) const {
    TMacro* macro = FindMacro(name);
    if (!macro) DatabaseErrorFmt("Macro %s not found", name);
    return *macro;
}

bool TMacros::IsEqual(const TMacros& other) const {
    if (Count() != other.Count()) return false;
    for (int i = 0; i < Count(); ++i) {
        const TMacro& a = Items(i);
        const TMacro& b = other.Items(i);
        if (a.Name() != b.Name() || a.Value() != b.Value() || a.Active() != b.Active()) return false;
    }
    return true;
}

void TMacros::CopyToTarget(TPersistent& target) const {
    auto* macros = dynamic_cast<TMacros*>(&target);
    if (!macros) {
        TOwnedCollection::CopyToTarget(target);
        return;
    }
    macros->BeginUpdate();
    try {
        macros->Clear();
        for (int i = 0; i < Count(); ++i) Items(i).CopyToTarget(macros->Add());
    } catch (...) {
        macros->EndUpdate();
        throw;
    }
    macros->EndUpdate();
}

void TMacros::Update(TCollectionItem*) {
    if (OnChanged) OnChanged();
}

// Stored form: a first byte, 'd' followed by a second byte when each entry ends with an
// Active byte; then per macro already in the list: name length (1 byte), name, value
// length (2 bytes, little-endian), value. A description cut short ends the reading.
void TMacros::DeclareStreamedValues(TStreamedValues& values) {
    TOwnedCollection::DeclareStreamedValues(values);
    values.DefineBinary("Data", [this](const std::string& data) { ReadData(data); });
}

void TMacros::ReadData(const std::string& data) {
    size_t pos = 0;
    auto has = [&](size_t n) { return pos + n <= data.size(); };
    if (!has(1)) return;
    const bool withActive = data[pos++] == 'd';
    if (withActive) {
        if (!has(1)) return;
        ++pos;
    }
    BeginUpdate();
    try {
        for (int i = 0; i < Count(); ++i) {
            if (!has(1)) break;
            const size_t nameLength = static_cast<unsigned char>(data[pos++]);
            if (!has(nameLength)) break;
            AnsiString name = data.substr(pos, std::min<size_t>(nameLength, 1000));
            pos += nameLength;
            if (!has(2)) break;
            const size_t valueLength =
                static_cast<unsigned char>(data[pos]) | (static_cast<size_t>(static_cast<unsigned char>(data[pos + 1])) << 8);
            pos += 2;
            if (!has(valueLength)) break;
            AnsiString value = data.substr(pos, std::min<size_t>(valueLength, 1000));
            pos += valueLength;
            bool active = true;
            if (withActive) {
                if (!has(1)) break;
                active = data[pos++] != 0;
            }
            TMacro& macro = MacroByName(name);
            macro.SetValue(value);
            if (withActive) macro.SetActive(active);
        }
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

}  // namespace oracle
