#include "StringList.h"

#include <algorithm>

namespace platform {

// ---- TStrings ----

int TStrings::Add(const AnsiString& s) {
    const int index = Count();
    Insert(index, s);
    return index;
}

int TStrings::IndexOf(const AnsiString& s) const {
    for (int i = 0; i < Count(); ++i)
        if (AnsiSameText(Get(i), s)) return i;
    return -1;
}

int TStrings::AddObject(const AnsiString& s, void* object) {
    const int index = Add(s);
    if (index >= 0) PutObject(index, object);
    return index;
}

void TStrings::AddStrings(const TStrings& other) {
    TStringsUpdate update(*this);
    for (int i = 0; i < other.Count(); ++i) AddObject(other.Get(i), other.GetObject(i));
}

void TStrings::AssignText(const AnsiString& text) {
    TStringsUpdate update(*this);
    Clear();
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == AnsiString::npos) end = text.size();
        Add(text.substr(pos, end - pos));
        pos = end;
        if (pos < text.size() && text[pos] == '\r') ++pos;
        if (pos < text.size() && text[pos] == '\n') ++pos;
    }
}

void TStrings::AssignZText(const char* text) { AssignText(text ? AnsiString(text) : AnsiString()); }

AnsiString TStrings::JoinedText() const {
    AnsiString out;
    for (int i = 0; i < Count(); ++i) {
        out += Get(i);
        out += "\r\n";
    }
    return out;
}

void TStrings::AssignCommaText(const AnsiString& text) {
    TStringsUpdate update(*this);
    Clear();
    size_t i = 0;
    auto skipBlanks = [&] {
        while (i < text.size() && static_cast<unsigned char>(text[i]) <= ' ') ++i;
    };
    skipBlanks();
    while (i < text.size()) {
        AnsiString item;
        if (text[i] == '"') {
            ++i;
            while (i < text.size()) {
                if (text[i] == '"') {
                    if (i + 1 < text.size() && text[i + 1] == '"') {
                        item += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                item += text[i++];
            }
        } else {
            while (i < text.size() && text[i] != ',' && static_cast<unsigned char>(text[i]) > ' ')
                item += text[i++];
        }
        Add(item);
        skipBlanks();
        if (i < text.size() && text[i] == ',') {
            ++i;
            skipBlanks();
            if (i == text.size()) Add("");
        }
    }
}

AnsiString TStrings::CommaText() const {
    AnsiString out;
    for (int i = 0; i < Count(); ++i) {
        const AnsiString& s = Get(i);
        if (i > 0) out += ',';
        const bool quote = s.empty() || s.find_first_of(",\"") != AnsiString::npos ||
                           std::any_of(s.begin(), s.end(),
                                       [](char c) { return static_cast<unsigned char>(c) <= ' '; });
        if (!quote) {
            out += s;
            continue;
        }
        out += '"';
        for (char c : s) {
            if (c == '"') out += '"';
            out += c;
        }
        out += '"';
    }
    return out;
}

AnsiString TStrings::Names(int index) const {
    const AnsiString& s = Get(index);
    const size_t eq = s.find('=');
    return eq == AnsiString::npos ? AnsiString() : s.substr(0, eq);
}

int TStrings::IndexOfName(const AnsiString& name) const {
    for (int i = 0; i < Count(); ++i) {
        const AnsiString& s = Get(i);
        const size_t eq = s.find('=');
        if (eq != AnsiString::npos && AnsiSameText(s.substr(0, eq), name)) return i;
    }
    return -1;
}

AnsiString TStrings::Values(const AnsiString& name) const {
    const int i = IndexOfName(name);
    return i < 0 ? AnsiString() : Get(i).substr(Get(i).find('=') + 1);
}

void TStrings::SetValue(const AnsiString& name, const AnsiString& value) {
    const int i = IndexOfName(name);
    if (value.empty()) {
        if (i >= 0) Delete(i);
    } else if (i < 0) {
        Add(name + "=" + value);
    } else {
        Put(i, name + "=" + value);
    }
}

void TStrings::BeginUpdate() {
    if (updateCount_ == 0) SetUpdateState(true);
    ++updateCount_;
}

void TStrings::EndUpdate() {
    if (updateCount_ == 0) return;
    if (--updateCount_ == 0) SetUpdateState(false);
}

void TStrings::CheckIndex(int index, int limit) const {
    if (index < 0 || index >= limit)
        throw EStringListError("List index out of bounds (" + IntToStr(index) + ")");
}

// ---- TStringList ----

void TStringList::Changing() {
    if (UpdateCount() == 0 && OnChanging) OnChanging(*this);
}

void TStringList::Changed() {
    if (UpdateCount() == 0 && OnChange) OnChange(*this);
}

void TStringList::Clear() {
    if (items_.empty()) return;
    Changing();
    items_.clear();
    Changed();
}

int TStringList::CompareLines(const AnsiString& a, const AnsiString& b) const {
    return caseSensitive_ ? AnsiCompareStr(a, b) : AnsiCompareText(a, b);
}

const AnsiString& TStringList::Get(int index) const {
    CheckIndex(index, Count());
    return items_[static_cast<size_t>(index)].text;
}

void TStringList::Put(int index, const AnsiString& s) {
    if (sorted_) throw EStringListError("Operation not allowed on sorted list");
    CheckIndex(index, Count());
    Changing();
    items_[static_cast<size_t>(index)].text = s;
    Changed();
}

void* TStringList::GetObject(int index) const {
    CheckIndex(index, Count());
    return items_[static_cast<size_t>(index)].object;
}

void TStringList::PutObject(int index, void* object) {
    CheckIndex(index, Count());
    Changing();
    items_[static_cast<size_t>(index)].object = object;
    Changed();
}

void TStringList::Insert(int index, const AnsiString& s) {
    if (sorted_) throw EStringListError("Operation not allowed on sorted list");
    CheckIndex(index, Count() + 1);
    Changing();
    items_.insert(items_.begin() + index, Item{s, nullptr});
    Changed();
}

void TStringList::Delete(int index) {
    CheckIndex(index, Count());
    Changing();
    items_.erase(items_.begin() + index);
    Changed();
}

int TStringList::Add(const AnsiString& s) {
    if (!sorted_) {
        Changing();
        items_.push_back(Item{s, nullptr});
        Changed();
        return Count() - 1;
    }
    int index = 0;
    if (Find(s, index)) {
        if (duplicates_ == TDuplicates::dupIgnore) return -1;
        if (duplicates_ == TDuplicates::dupError)
            throw EStringListError("String list does not allow duplicates");
    }
    Changing();
    items_.insert(items_.begin() + index, Item{s, nullptr});
    Changed();
    return index;
}

int TStringList::IndexOf(const AnsiString& s) const {
    if (!sorted_) {
        for (int i = 0; i < Count(); ++i)
            if (CompareLines(items_[static_cast<size_t>(i)].text, s) == 0) return i;
        return -1;
    }
    int index = 0;
    return Find(s, index) ? index : -1;
}

bool TStringList::Find(const AnsiString& s, int& index) const {
    int lo = 0, hi = Count() - 1;
    bool found = false;
    while (lo <= hi) {
        const int mid = lo + (hi - lo) / 2;
        const int c = CompareLines(items_[static_cast<size_t>(mid)].text, s);
        if (c < 0) {
            lo = mid + 1;
        } else {
            hi = mid - 1;
            if (c == 0) {
                found = true;
                // With duplicates accepted the first equal line is the match.
                if (duplicates_ != TDuplicates::dupAccept) lo = mid;
            }
        }
    }
    index = lo;
    return found;
}

void TStringList::Sort() {
    Changing();
    std::stable_sort(items_.begin(), items_.end(),
                     [this](const Item& a, const Item& b) { return CompareLines(a.text, b.text) < 0; });
    Changed();
}

void TStringList::SetSortedFlag(bool sorted) {
    if (sorted && !sorted_) Sort();
    sorted_ = sorted;
}

}  // namespace platform
