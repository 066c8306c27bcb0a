#include "IniText.h"

namespace platform {

namespace {

constexpr size_t kNoHeader = static_cast<size_t>(-1);

bool SameName(const AnsiString& a, const AnsiString& b) {
    return a.size() == b.size() && AnsiUpperCase(a) == AnsiUpperCase(b);
}

// A "[name]" line: the name runs to the last "]", without the blanks around it. A "[" line
// without one is a key line.
bool IsHeader(const AnsiString& line, AnsiString& name) {
    const AnsiString text = Trim(line);
    if (text.empty() || text[0] != '[') return false;
    const size_t close = text.rfind(']');
    if (close == AnsiString::npos || close == 0) return false;
    name = Trim(text.substr(1, close - 1));
    return true;
}

// A key line: its name, and its value when it has "=".
struct KeyLine {
    AnsiString name;
    std::optional<AnsiString> value;
};

std::optional<KeyLine> KeyOf(const AnsiString& line) {
    const AnsiString text = Trim(line);
    if (text.empty()) return std::nullopt;
    const size_t equals = text.find('=');
    if (equals == AnsiString::npos) return KeyLine{text, std::nullopt};
    return KeyLine{TrimRight(text.substr(0, equals)), TrimLeft(text.substr(equals + 1))};
}

}  // namespace

TIniText::TIniText(const AnsiString& text) {
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t stop = text.find_first_of("\r\n", pos);
        if (stop == AnsiString::npos) {
            lines_.push_back({text.substr(pos), ""});
            break;
        }
        const size_t endLength = text.compare(stop, 2, "\r\n") == 0 ? 2 : 1;
        lines_.push_back({text.substr(pos, stop - pos), text.substr(stop, endLength)});
        pos = stop + endLength;
    }
}

AnsiString TIniText::Text() const {
    AnsiString text;
    for (const Line& line : lines_) text += line.text + line.end;
    return text;
}

std::optional<TIniText::Section> TIniText::FindSection(const AnsiString& name) const {
    const AnsiString wanted = Trim(name);
    Section section{kNoHeader, 0, 0};
    bool found = wanted.empty();  // the lines before the first header
    for (size_t i = 0; i < lines_.size(); ++i) {
        AnsiString header;
        if (!IsHeader(lines_[i].text, header)) continue;
        if (found) {
            section.end = i;
            return section;
        }
        if (SameName(header, wanted)) {
            found = true;
            section = {i, i + 1, 0};
        }
    }
    if (!found) return std::nullopt;
    section.end = lines_.size();
    return section;
}

std::optional<size_t> TIniText::FindKey(const Section& section, const AnsiString& key) const {
    const AnsiString wanted = Trim(key);
    for (size_t i = section.firstKey; i < section.end; ++i) {
        const std::optional<KeyLine> line = KeyOf(lines_[i].text);
        if (line && SameName(line->name, wanted)) return i;
    }
    return std::nullopt;
}

std::optional<AnsiString> TIniText::Value(const AnsiString& section, const AnsiString& key) const {
    const std::optional<Section> found = FindSection(section);
    if (!found) return std::nullopt;
    const std::optional<size_t> line = FindKey(*found, key);
    if (!line) return std::nullopt;
    return KeyOf(lines_[*line].text)->value;
}

void TIniText::SectionNames(TStrings& out) const {
    out.Clear();
    for (const Line& line : lines_) {
        AnsiString name;
        if (IsHeader(line.text, name) && !name.empty()) out.Add(name);
    }
}

void TIniText::KeyNames(const AnsiString& section, TStrings& out) const {
    out.Clear();
    const std::optional<Section> found = FindSection(section);
    if (!found) return;
    for (size_t i = found->firstKey; i < found->end; ++i) {
        const std::optional<KeyLine> line = KeyOf(lines_[i].text);
        if (line && line->value && (line->name.empty() || line->name[0] != ';')) out.Add(line->name);
    }
}

void TIniText::Insert(size_t at, AnsiString text) {
    // The line before may be a last line without its end.
    if (at > 0 && lines_[at - 1].end.empty()) lines_[at - 1].end = "\r\n";
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), Line{std::move(text), "\r\n"});
}

bool TIniText::SetValue(const AnsiString& section, const AnsiString& key, const AnsiString& value) {
    const AnsiString keyName = Trim(key), newValue = TrimLeft(value);
    const std::optional<Section> found = FindSection(section);
    if (!found) {
        Insert(lines_.size(), "[" + Trim(section) + "]");
        Insert(lines_.size(), keyName + "=" + newValue);
        return true;
    }
    if (const std::optional<size_t> line = FindKey(*found, key)) {
        const KeyLine old = *KeyOf(lines_[*line].text);
        if (old.value == newValue) return false;
        lines_[*line].text = old.name + "=" + newValue;
        return true;
    }
    size_t at = found->firstKey;
    for (size_t i = found->firstKey; i < found->end; ++i)
        if (!Trim(lines_[i].text).empty()) at = i + 1;
    Insert(at, keyName + "=" + newValue);
    return true;
}

bool TIniText::RemoveKey(const AnsiString& section, const AnsiString& key) {
    const std::optional<Section> found = FindSection(section);
    if (!found) return false;
    const std::optional<size_t> line = FindKey(*found, key);
    if (!line) return false;
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(*line));
    return true;
}

bool TIniText::RemoveSection(const AnsiString& section) {
    const std::optional<Section> found = FindSection(section);
    if (!found) return false;
    const size_t first = found->header == kNoHeader ? 0 : found->header;
    if (first == found->end) return false;
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(first),
                 lines_.begin() + static_cast<std::ptrdiff_t>(found->end));
    return true;
}

}  // namespace platform
