// String lists: TStrings, the text operations every list shares, and TStringList,
// the stored list that can keep itself sorted in the user's locale.
// Used by the exports' list texts, the registry class and every later container user.
#pragma once

#include <functional>
#include <vector>

#include "ScopeExit.h"
#include "SysUtils.h"

namespace platform {

class TStrings {
public:
    virtual ~TStrings() = default;

    virtual int Count() const = 0;
    virtual const AnsiString& Get(int index) const = 0;
    virtual void Put(int index, const AnsiString& s) = 0;
    virtual void* GetObject(int index) const = 0;
    virtual void PutObject(int index, void* object) = 0;
    virtual void Insert(int index, const AnsiString& s) = 0;
    virtual void Delete(int index) = 0;
    virtual void Clear() = 0;
    // Index of the new line, or -1 when a sorted list ignored a duplicate.
    virtual int Add(const AnsiString& s);
    virtual int IndexOf(const AnsiString& s) const;

    int AddObject(const AnsiString& s, void* object);
    void AddStrings(const TStrings& other);
    const AnsiString& operator[](int index) const { return Get(index); }

    // Lines separated by CR, LF or CR LF; a final line end adds no empty line.
    void AssignText(const AnsiString& text);
    // The same from a zero-terminated text; a null pointer is the empty text.
    void AssignZText(const char* text);
    // Every line followed by CR LF; the empty list gives "".
    AnsiString JoinedText() const;

    // Comma text: items separated by commas or blanks; quoted items keep both,
    // a doubled quote inside stands for one.
    void AssignCommaText(const AnsiString& text);
    AnsiString CommaText() const;

    // name=value lines.
    AnsiString Names(int index) const;
    AnsiString Values(const AnsiString& name) const;
    void SetValue(const AnsiString& name, const AnsiString& value);
    int IndexOfName(const AnsiString& name) const;

    // Update brackets: changes inside report once, when the outermost one ends.
    void BeginUpdate();
    void EndUpdate();
    int UpdateCount() const { return updateCount_; }

protected:
    void CheckIndex(int index, int limit) const;
    // Called when the first bracket opens (true) and the last one closes (false).
    virtual void SetUpdateState(bool updating) {}

private:
    int updateCount_ = 0;
};

// Keeps a list inside one update bracket for a scope. Closing the bracket reports the
// change, and a listener may raise (a statement's text that does not parse): its error
// passes on to the caller, unless the scope is left by another exception, which then
// goes on in its place.
class TStringsUpdate {
public:
    explicit TStringsUpdate(TStrings& list) : list_(list) { list_.BeginUpdate(); }
    ~TStringsUpdate() noexcept(false) {
        guard_.Run([this] { list_.EndUpdate(); });
    }
    TStringsUpdate(const TStringsUpdate&) = delete;
    TStringsUpdate& operator=(const TStringsUpdate&) = delete;

private:
    TStrings& list_;
    TUnwindGuard guard_;
};

enum class TDuplicates { dupIgnore, dupAccept, dupError };

class TStringList : public TStrings {
public:
    int Count() const override { return static_cast<int>(items_.size()); }
    const AnsiString& Get(int index) const override;
    void Put(int index, const AnsiString& s) override;
    void* GetObject(int index) const override;
    void PutObject(int index, void* object) override;
    void Insert(int index, const AnsiString& s) override;
    void Delete(int index) override;
    void Clear() override;
    int Add(const AnsiString& s) override;
    int IndexOf(const AnsiString& s) const override;

    // A sorted list keeps case-insensitive locale order; turning it on sorts the lines.
    void SetSortedFlag(bool sorted);
    bool Sorted() const { return sorted_; }
    void SetDuplicates(TDuplicates d) { duplicates_ = d; }
    TDuplicates Duplicates() const { return duplicates_; }
    void SetCaseSensitive(bool on) { caseSensitive_ = on; }

    // Binary search of a sorted list: true when found; index is the match or the
    // place where the line would go.
    bool Find(const AnsiString& s, int& index) const;
    void Sort();

    // Called before and after every change, outside update brackets; a bracket
    // calls OnChanging when it opens and OnChange when it closes.
    std::function<void(TStringList&)> OnChanging;
    std::function<void(TStringList&)> OnChange;

protected:
    void SetUpdateState(bool updating) override { updating ? Changing() : Changed(); }

private:
    void Changing();
    void Changed();

    struct Item {
        AnsiString text;
        void* object = nullptr;
    };
    int CompareLines(const AnsiString& a, const AnsiString& b) const;

    std::vector<Item> items_;
    bool sorted_ = false;
    bool caseSensitive_ = false;
    TDuplicates duplicates_ = TDuplicates::dupIgnore;
};

}  // namespace platform
