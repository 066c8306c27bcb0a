// Macros of statements and SQL datasets: named text substitutions written as '&name'
// in the SQL text. TMacros scans a text for the names it uses (keeping the values of
// names that stay) and expands them before the text goes to the server.
#pragma once

#include <functional>

#include "oracle/core/Parser.h"
#include "platform/Classes.h"

namespace oracle {

inline constexpr char MacroChar = '&';

class TMacro : public platform::TCollectionItem {
public:
    explicit TMacro(platform::TCollection* collection) : TCollectionItem(collection) {}
    static const platform::TClassInfo& StaticClassInfo();
    const platform::TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

    const platform::AnsiString& Name() const { return name_; }
    void SetName(const platform::AnsiString& value) { name_ = value; }
    const platform::AnsiString& Value() const { return value_; }
    void SetValue(const platform::AnsiString& value);
    bool Active() const { return active_; }
    void SetActive(bool value);

    void CopyToTarget(platform::TPersistent& target) const override;
    platform::AnsiString ItemDisplayName() const override;

private:
    platform::AnsiString name_;
    platform::AnsiString value_;
    bool active_ = true;
};

class TMacros : public platform::TOwnedCollection {
public:
    explicit TMacros(platform::TPersistent* owner = nullptr);
    static const platform::TClassInfo& StaticClassInfo();
    const platform::TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

    TMacro& Items(int index) const { return static_cast<TMacro&>(Item(index)); }
    // Rebuilds the list from the names the text uses; values of names that stay are kept.
    void Scan(const platform::AnsiString& text);
    // Replaces '&name' of each macro by its value (nothing for an inactive one).
    void Expand(platform::AnsiString& text) const;
    TMacro* FindMacro(const platform::AnsiString& name) const;
    // Raises "Macro %s not found".
    TMacro& MacroByName(const platform::AnsiString& name) const;
    bool IsEqual(const TMacros& other) const;
    void SetParserClass(TParserFactory factory) { parserClass_ = factory; }
    TParserFactory ParserClass() const { return parserClass_; }

    // Reads the stored macro values of a form description ("Data").
    void ReadData(const std::string& data);
    // "Data": read only, for older form descriptions.
    void DeclareStreamedValues(platform::TStreamedValues& values) override;

    void CopyToTarget(platform::TPersistent& target) const override;
    // Runs outside batches when a macro's value, activity or the list changed.
    std::function<void()> OnChanged;

protected:
    void Update(platform::TCollectionItem* item) override;

private:
    std::unique_ptr<TParser> NewParser(const platform::AnsiString& text) const;
    TParserFactory parserClass_ = &CreateParser<TParser>;
};

}  // namespace oracle
