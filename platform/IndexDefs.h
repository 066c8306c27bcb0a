// Index definitions of a dataset: name, key fields, descending fields, expression,
// options and source. Filled by the Btrieve table component from its engine and
// searched when a field list has to be mapped to an index.
#pragma once

#include <functional>

#include "platform/FieldDefs.h"

namespace platform {

class TIndexDef {
public:
    TIndexDef(AnsiString name, AnsiString fields, TIndexOptions options)
        : name_(std::move(name)), fields_(std::move(fields)), options_(options) {}

    const AnsiString& Name() const { return name_; }
    void SetName(const AnsiString& v) { name_ = v; }
    // Key fields separated by ";" (or the key expression of an expression index).
    const AnsiString& Fields() const { return fields_; }
    void SetFields(const AnsiString& v) { fields_ = v; }
    const AnsiString& DescFields() const { return descFields_; }
    void SetDescFields(const AnsiString& v) { descFields_ = v; }
    const AnsiString& Expression() const { return expression_; }
    void SetExpression(const AnsiString& v) { expression_ = v; }
    const AnsiString& Source() const { return source_; }
    void SetSource(const AnsiString& v) { source_ = v; }
    TIndexOptions Options() const { return options_; }
    void SetOptions(TIndexOptions v) { options_ = v; }

private:
    AnsiString name_;
    AnsiString fields_;
    AnsiString descFields_;
    AnsiString expression_;
    AnsiString source_;
    TIndexOptions options_;
};

class TIndexDefs : public TDefCollection<TIndexDef> {
public:
    TIndexDef& Add(const AnsiString& name, const AnsiString& fields, TIndexOptions options);

    // The index whose key fields are exactly this ";"-list (compared without regard to
    // case and blanks around names); raises "No index for fields '%s'" when none.
    TIndexDef& FindIndexForFields(const AnsiString& fields) const;
    // The same, counting only indexes whose case-insensitive option equals the flag;
    // none when there is no such index.
    TIndexDef* GetIndexForFields(const AnsiString& fields, bool caseInsensitive) const;

    // Bring the definitions up to date: the owner re-reads them when not Updated.
    void Update();
    void SetUpdateHandler(std::function<void()> handler) { updateHandler_ = std::move(handler); }

private:
    std::function<void()> updateHandler_;
};

}  // namespace platform
