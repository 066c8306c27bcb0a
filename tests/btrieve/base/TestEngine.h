// A small engine over memory for the engine-neutral layer's tests: a session, a
// database and a cursor over an in-memory table kept sorted by its integer key.
// Rows: ID (32-bit integer, the key of index 0), NAME (12-byte string), FLAG (16-bit).
// A table named PLAIN reports no indexes.
#pragma once

#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "btrieve/base/BaseSession.h"

namespace testengine {

using namespace btrieve;

#pragma pack(push, 1)
struct TRow {
    int32_t id;
    char name[12];
    int16_t flag;
};
#pragma pack(pop)
static_assert(sizeof(TRow) == 18);

TRow Row(int32_t id, const char* name = "", int16_t flag = 0);

// The tables of the test engine, by name; shared by every cursor opened on them.
struct TTestStore {
    std::map<std::string, std::vector<TRow>> tables;
    std::set<int32_t> refuseDelete;  // ids whose deletion the engine refuses
    std::set<int32_t> refuseModify;
    int lockedReads = 0;             // reads made with a record lock
    static TTestStore& Get();
    void Reset() { *this = TTestStore{}; }
};

class TTestCursor : public TBaseTable {
public:
    TTestCursor(TBapiListItem* database, TQuillonCollection* collection, const char* table, int32_t openMode,
                int32_t shareMode);

    std::vector<TRow>& Rows() { return TTestStore::Get().tables[GetTableName()]; }
    int Pos() const { return pos_; }

    uint16_t GetBookmarkSize() const override { return 4; }
    void PhysFirst() override;
    void PhysLast() override;
    void PhysNext() override;
    void PhysPrior() override;
    void FieldToLogical(uint16_t, uint16_t, bool& blank, void* value, const uint8_t* data, uint16_t length,
                        int16_t) override;
    void FieldToPhysical(uint16_t, uint16_t, uint8_t* data, const void* value, uint16_t length, int16_t) override;
    void OpenCursor() override;
    void GetBookMark(void* bookmark) override;
    void SetToBookMark(const void* bookmark) override;
    void ReadAtBookmark(const void* bookmark, uint8_t* record, int lock) override;
    void KeySearch(int condition, bool keyItself, uint8_t* record, const void* key, uint16_t partial,
                   uint16_t count) override;
    void ExtractKeyRaw(const uint8_t* record, void* key, uint16_t& length, uint16_t partial, uint16_t count) override;
    void GetIndexDesc(uint16_t number, TEngineIndexDesc& desc) override;
    void GetCursorProps(TCursorProps& props) override;
    void InsertRecord(int lock, uint8_t* record) override;
    void ModifyRecord(uint8_t* record, bool releaseLock) override;
    void DeleteRecord(uint8_t* record) override;

private:
    void ReadAt(int index);
    int pos_ = -1;
    int32_t currentId_ = 0;  // the bookmark: the key of the record last read
    bool hasCurrent_ = false;
};

class TTestDatabase : public TBaseDatabase {
public:
    using TBaseDatabase::TBaseDatabase;
    void OpenTable(const char* tableName, const char*, const char*, const char*, uint16_t, int32_t openMode,
                   int32_t shareMode, int32_t, bool, const void*, TBaseTable*& cursor) override;
    void OpenTableList(bool, bool, const char*, TBaseTable*& cursor) override;
    void OpenFieldList(const char*, const char*, bool, TBaseTable*&) override { RaiseUnsupported(0); }
};

class TTestSession : public TBaseSession {
public:
    using TBaseSession::TBaseSession;
    void InitEngine() override;
    void CreateDatabaseObject(const TDatabaseDesc& desc, TBaseDatabase*& database, int32_t openMode,
                              int32_t shareMode, const char*, uint16_t paramCount, const TEngineFieldDesc* paramDescs,
                              const char* paramValues) override;
    TDatabaseDesc lastDesc{};
};

// Field descriptors of the test rows.
std::vector<TEngineFieldDesc> RowFields();
// The result code an action raises; 0 when it returns.
inline uint16_t CodeOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const EQuillonEngineError& e) {
        return e.Code();
    }
    return 0;
}

// A database of the test engine (the caller frees it with FreeHandle).
TBaseDatabase* NewDatabase(TBaseSession* session);

}  // namespace testengine
