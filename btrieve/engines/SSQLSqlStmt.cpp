#include "btrieve/engines/SSQLSqlStmt.h"

#include <cmath>
#include <cstring>

#include "btrieve/base/BaseSession.h"
#include "btrieve/engines/BtrSqlDatabase.h"
#include "btrieve/engines/BtrieveFields.h"
#include "btrieve/engines/BtrSqlBaseTable.h"
#include "btrieve/engines/SqlEngine.h"
#include "platform/DateTime.h"

namespace btrieve {

namespace {

template <class T>
T ReadValue(const uint8_t* at) {
    T value{};
    std::memcpy(&value, at, sizeof value);
    return value;
}

AnsiString DateText(int32_t dayNumber) {
    platform::TTimeStamp stamp;
    stamp.Date = dayNumber;
    int year = 0, month = 0, day = 0;
    try {
        platform::DecodeDate(platform::TimeStampToDateTime(stamp), year, month, day);
    } catch (const platform::Exception&) {
        return AnsiString();
    }
    return platform::Format("%4.4u-%2.2u-%2.2u", year, month, day);
}

AnsiString TimeText(int32_t msecs, bool withHundredths) {
    if (msecs < 0) msecs = 0;
    const unsigned hour = msecs / 3600000, minute = msecs / 60000 % 60, second = msecs / 1000 % 60;
    const unsigned rest = msecs % 1000;
    if (withHundredths && rest != 0)
        return platform::Format("%2.2u:%2.2u:%2.2u:%2.2u", hour, minute, second, rest / 10);
    return platform::Format("%2.2u:%2.2u:%2.2u", hour, minute, second);
}

AnsiString FloatText(double value) {
    AnsiString text = platform::FloatToStr(value);
    for (char& c : text)
        if (c == platform::FormatSettings().DecimalSeparator) c = '.';
    return text;
}

}  // namespace

AnsiString RewriteParameterMarkers(const AnsiString& text) {
    // The rewritten text grows with every marker: it is built as it goes, never cut.
    AnsiString result;
    result.reserve(text.size() * 2);
    char quote = 0;
    int marker = 0;
    for (const char c : text) {
        if (quote) {
            if (c == quote) quote = 0;
            result += c;
        } else if (c == '\'' || c == '"') {
            quote = c;
            result += c;
        } else if (c == ':') {
            result += '@';
        } else if (c == '?') {
            result += platform::Format("@QVAR%4.4d", marker++);
        } else {
            result += c;
        }
    }
    return result;
}

AnsiString ParameterValueText(TBaseSession& session, const TEngineFieldDesc& desc, const uint8_t* record) {
    const uint8_t* at = record + desc.offset;
    switch (desc.fieldType) {
    case fldtype::ZString: {
        std::vector<char> text(desc.length + 1u, 0);
        const size_t length = strnlen(reinterpret_cast<const char*>(at), desc.length);
        bool changed = false;
        session.AnsiToNative(changed, text.data(), length, AnsiString(reinterpret_cast<const char*>(at), length).c_str());
        return AnsiString(text.data(), strnlen(text.data(), length));
    }
    case fldtype::Date: return DateText(ReadValue<int32_t>(at));
    case fldtype::Bool: return at[0] ? "true" : "false";
    case fldtype::Int16: return platform::IntToStr(ReadValue<int16_t>(at));
    case fldtype::Int32: return platform::IntToStr(ReadValue<int32_t>(at));
    case fldtype::UInt16: return platform::IntToStr(ReadValue<uint16_t>(at));
    case fldtype::UInt32: return platform::Format("%u", ReadValue<uint32_t>(at));
    case fldtype::Int64: return platform::Format("%lld", static_cast<long long>(ReadValue<int64_t>(at)));
    case fldtype::UInt64:
        return platform::Format("%llu", static_cast<unsigned long long>(ReadValue<uint64_t>(at)));
    case fldtype::Float:
    case fldtype::Bcd:
    case fldtype::FloatIeee: return FloatText(ReadValue<double>(at));
    case fldtype::Time: return TimeText(ReadValue<int32_t>(at), true);
    case fldtype::Timestamp: {
        const double msecs = std::round(ReadValue<double>(at));
        const double days = std::floor(msecs / platform::MSecsPerDay);
        const int32_t time = static_cast<int32_t>(msecs - days * platform::MSecsPerDay);
        return DateText(static_cast<int32_t>(days)) + " " + TimeText(time, false);
    }
    default: return AnsiString();
    }
}

TSSQLSqlStmt::TSSQLSqlStmt(TBapiListItem* database, uint16_t language, const char* text, int16_t sessionId,
                           const uint8_t* clientId, TQuillonCollection* collection)
    : TSqlStmt(database, language, nullptr, collection),
      sessionId_(static_cast<uint16_t>(sessionId)),
      clientId_(clientId) {
    SetText(text);
}

TBaseDatabase& TSSQLSqlStmt::Database() const { return *static_cast<TBaseDatabase*>(Owner()); }

TBaseSession& TSSQLSqlStmt::Session() const { return *static_cast<TBaseSession*>(Owner()->Owner()); }

void TSSQLSqlStmt::SetText(const char* text) {
    // A cursor compiled from the old text would run it instead of the new one.
    BeforeDestroy();
    hasSqlText_ = text != nullptr;
    sqlText_ = text ? RewriteParameterMarkers(text) : AnsiString();
}

void TSSQLSqlStmt::AfterCreate() {
    BeforeDestroy();
    if (!hasSqlText_) return;
    PutSqlSession(static_cast<int16_t>(sessionId_));
    CheckSqlStatus(SqlEngine().cursor(&cursorId_));
    CheckSqlStatus(SqlEngine().compile(cursorId_, static_cast<uint16_t>(sqlText_.size()), sqlText_.c_str()));
}

void TSSQLSqlStmt::BeforeDestroy() {
    if (cursorId_ == -1) return;
    const int16_t cursor = cursorId_;
    cursorId_ = -1;
    if (!SqlEngineLoaded()) return;
    // Runs while statements are freed: a cursor the engine no longer knows is gone anyway,
    // and a failure here must not stop the rest from being freed.
    if (SqlEngine().putSessionId(static_cast<int16_t>(sessionId_)) == 0) SqlEngine().free(cursor);
}

void TSSQLSqlStmt::SetParams(uint16_t count, const TEngineFieldDesc* fields, const void* record) {
    if (count == 0) return;
    CheckParam(fields);
    CheckParam(record);
    PutSqlSession(static_cast<int16_t>(sessionId_));
    if (cursorId_ == -1) AfterCreate();
    for (uint16_t n = 0; n < count; ++n) {
        if (fields[n].name[0] != '\0') continue;
        const AnsiString variable = platform::Format("QVAR%4.4d", static_cast<int>(n));
        const AnsiString value = ParameterValueText(Session(), fields[n], static_cast<const uint8_t*>(record));
        CheckSqlStatus(SqlEngine().subst(cursorId_, 1, static_cast<uint16_t>(variable.size() + 1), variable.c_str(),
                                         static_cast<uint16_t>(value.size() + 1), value.c_str()));
    }
}

void TSSQLSqlStmt::Execute(TBaseTable** cursor) {
    if (cursor) *cursor = nullptr;
    PutSqlSession(static_cast<int16_t>(sessionId_));
    if (cursorId_ == -1) AfterCreate();
    if (!cursor) {
        // A statement compiled just now runs too: a caller that asks for no rows still
        // expects its statement to have been carried out.
        CheckSqlStatus(SqlEngine().exec(cursorId_));
        return;
    }
    // The result cursor executes the statement when it opens; executing it here too
    // would run a change statement twice.
    TBtrSqlBaseTable* result = nullptr;
    if (PropValue16() != 0)
        result = MakeHandle<TBtrSqlAggTable>(this, static_cast<int16_t>(sessionId_), clientId_, cursorId_,
                                             &Database().Cursors());
    else
        result = MakeHandle<TBtrSqlBaseTable>(this, static_cast<int16_t>(sessionId_), clientId_, cursorId_,
                                              &Database().Cursors());
    *cursor = OpenNewCursor(result);
}

void TSSQLSqlStmt::Prepare(bool flag) {
    PutSqlSession(static_cast<int16_t>(sessionId_));
    if (flag && cursorId_ == -1) AfterCreate();
}

}  // namespace btrieve
