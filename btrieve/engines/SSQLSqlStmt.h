// TSSQLSqlStmt: an SQL statement of the relational engine. Its text has its parameter
// markers rewritten to engine variables; it is compiled into an engine cursor, its
// parameters are bound as texts, and executing it can hand back a result cursor.
#pragma once

#include "btrieve/base/SqlStmt.h"

namespace btrieve {

// ":" outside quoted text becomes "@"; every "?" outside quoted text becomes "@QVAR" and
// its number in four digits, counted from 0.
AnsiString RewriteParameterMarkers(const AnsiString& text);
// The text an engine variable gets for a parameter of that descriptor, without the
// terminating zero; converts strings with the session's code page conversion.
AnsiString ParameterValueText(class TBaseSession& session, const struct TEngineFieldDesc& desc,
                              const uint8_t* record);

class TSSQLSqlStmt : public TSqlStmt {
public:
    TSSQLSqlStmt(TBapiListItem* database, uint16_t language, const char* text, int16_t sessionId,
                 const uint8_t* clientId, TQuillonCollection* collection);

    void SetText(const char* text) override;
    // Compiles the text into a new engine cursor.
    void AfterCreate() override;
    // Frees the engine cursor.
    void BeforeDestroy() override;
    void SetParams(uint16_t count, const TEngineFieldDesc* fields, const void* record) override;
    void Execute(TBaseTable** cursor) override;
    void Prepare(bool flag) override;

    const AnsiString& SqlText() const { return sqlText_; }
    int16_t CursorId() const { return cursorId_; }
    void SetSessionId(int16_t sessionId) { sessionId_ = static_cast<uint16_t>(sessionId); }

private:
    class TBaseDatabase& Database() const;
    TBaseSession& Session() const;

    int16_t cursorId_ = -1;
    uint16_t sessionId_ = 0;
    const uint8_t* clientId_ = nullptr;
    AnsiString sqlText_;
    bool hasSqlText_ = false;
};

}  // namespace btrieve
