// The relational engine behind the statement library's entry points: sessions logged in to
// a database (a dictionary directory and a data directory), cursors that compile a
// statement, take variable values, execute and deliver result rows, and writes through a
// result cursor back into the table it reads. One per process; callers serialise calls.
// Every operation raises SqlError with the status its entry point answers.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "standins/btrieve/RecordManager.h"
#include "standins/relational/SqlStatement.h"
#include "standins/relational/TableStore.h"

namespace wssql {

struct ResultColumn {
    std::string name;
    int16_t type = 0;
    int16_t size = 0;  // as described; 0 for a computed column
    int16_t decimals = 0;
    uint16_t width = 0;  // bytes in a row
    uint16_t offset = 0; // in a row's column data
};

struct ResultRow {
    int32_t id = 0;          // stable while the cursor lives: the row's position data
    uint32_t position = 0;   // of the table record it came from
    Record data;             // the columns one after the other
};

class Cursor;
struct Session;

class Engine {
public:
    Engine();
    ~Engine();

    void Login(const std::string& user, const std::string& password, const std::string& dictionaryPath,
               const std::string& dataPath);
    void Logout();
    void Stop();
    int16_t CurrentSession() const;
    void MakeCurrent(int16_t sessionId);

    int16_t OpenCursor();
    void Compile(int16_t cursorId, const std::string& text);
    void Substitute(int16_t cursorId, const std::string& name, const std::string& value);
    void Describe(int16_t cursorId, int column, ResultColumn& out);
    void Execute(int16_t cursorId);
    void FreeCursor(int16_t cursorId);

    // Rows into the buffer at the cursor's row stride; the size (bytes delivered) and the
    // count go in and out. False when fewer rows than asked for were there.
    bool Fetch(int16_t cursorId, uint16_t option, uint8_t* buffer, uint32_t& size, uint32_t& count);
    // The current row's position data (a 16-bit length, then the data). A read with the
    // lock bias locks the row's record, until release, another locked read, or the end.
    bool GetPosition(int16_t cursorId, uint8_t* buffer, uint32_t size);
    bool FetchAtPosition(int16_t cursorId, uint16_t option, uint8_t* buffer, uint32_t size);
    uint32_t InsertRows(int16_t cursorId, const uint8_t* buffer, uint32_t count);
    void UpdateRow(int16_t cursorId, const uint8_t* row);
    void RemoveRow(int16_t cursorId);

private:
    Session& SessionOf(int16_t sessionId);
    Cursor& CursorOf(int16_t cursorId);
    void EndSession(Session& session);
    void RunWrite(Cursor& cursor, Session& session);
    void RunTransaction(const Statement& statement, Session& session);

    wbtrv::RecordManager manager_;
    std::map<int16_t, std::unique_ptr<Session>> sessions_;
    std::map<int16_t, std::unique_ptr<Cursor>> cursors_;
    int16_t current_ = -1;
    int16_t nextSession_ = 1;
    int16_t nextCursor_ = 1;
};

// The directory of a database named in the engine's list (see DatabaseNames.h), or empty.
std::string NamedDatabasePath(const std::string& name);

}  // namespace wssql
