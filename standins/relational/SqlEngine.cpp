#include "standins/relational/SqlEngine.h"

#include <algorithm>
#include <cstring>

#include "btrieve/engines/BtrieveApi.h"
#include "btrieve/engines/RelationalApi.h"
#include "standins/relational/DatabaseNames.h"

namespace wssql {

using namespace btrieve;

struct Session {
    int16_t id = 0;
    std::string dictionaryPath;
    std::string dataPath;
    wbtrv::ClientKey client{};
    bool inTransaction = false;
};

class Cursor {
public:
    int16_t session = 0;
    bool compiled = false;
    Statement statement;
    TableDef table;
    std::vector<ResultColumn> columns;
    std::vector<int> columnFields;  // the table field of each plain column, -1 when computed
    std::map<std::string, std::string> variables;  // by upper-case name

    bool executed = false;
    std::unique_ptr<BtrieveFile> file;  // the table, open while the result lives
    std::vector<ResultRow> rows;
    size_t place = 0;    // the row the cursor is on, or the gap before it
    bool onRow = false;
    int32_t nextRowId = 1;

    uint32_t DataSize() const {
        uint32_t size = 0;
        for (const ResultColumn& c : columns) size += c.width;
        return size;
    }
    uint32_t Stride() const { return 2 + DataSize() + kSqlRowSpare; }

    void WriteRow(const ResultRow& row, uint8_t* out) const {
        const uint32_t size = DataSize();
        out[0] = static_cast<uint8_t>(size);
        out[1] = static_cast<uint8_t>(size >> 8);
        std::memcpy(out + 2, row.data.data(), size);
        std::memset(out + 2 + size, 0, kSqlRowSpare);
    }

    // The row's column data taken from a table record.
    Record Project(const Record& record) const {
        Record data(DataSize(), 0);
        for (size_t i = 0; i < columns.size(); ++i) {
            const FieldDef& field = table.fields[columnFields[i]];
            std::memcpy(data.data() + columns[i].offset, record.data() + field.offset, field.size);
        }
        return data;
    }

    bool Updatable() const { return statement.kind == Statement::Select && !statement.IsAggregate(); }

    BtrieveFile& File() {
        if (!executed || !file) throw SqlError(SqlStatusNotExecuted);
        return *file;
    }

    // A read with the lock bias locks the row's record; computed rows have none.
    void LockWhenAsked(uint16_t option, const ResultRow& row) {
        if ((option & FetchLockBias) && Updatable()) File().Lock(row.position);
    }
};

namespace {

std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

int ResolveField(const TableDef& table, const std::string& name) {
    const int field = table.FindField(name);
    if (field < 0) throw SqlError(SqlStatusUnknownColumn);
    return field;
}

void ResolveOperand(const TableDef& table, Operand& operand) {
    if (operand.kind == Operand::Column) operand.field = ResolveField(table, operand.name);
}

void ResolveCondition(const TableDef& table, Condition& condition) {
    for (Operand& o : condition.operands) ResolveOperand(table, o);
    for (Condition& c : condition.children) ResolveCondition(table, c);
}

// Evaluates operands and conditions over one table record.
class RecordScope {
public:
    RecordScope(const Cursor& cursor, const Record& record) : cursor_(cursor), record_(record) {}

    Value Evaluate(const Operand& operand) const {
        switch (operand.kind) {
        case Operand::Column:
            return DecodeField(cursor_.table.fields[operand.field], record_.data());
        case Operand::Variable: {
            auto it = cursor_.variables.find(Upper(operand.name));
            if (it == cursor_.variables.end()) throw SqlError(SqlStatusMissingVariable);
            return Value::OfText(it->second);
        }
        default:
            return operand.literal;
        }
    }

    bool Holds(const Condition& c) const {
        switch (c.kind) {
        case Condition::And:
            return Holds(c.children[0]) && Holds(c.children[1]);
        case Condition::Or:
            return Holds(c.children[0]) || Holds(c.children[1]);
        case Condition::Not:
            return !Holds(c.children[0]);
        case Condition::IsNull:
            return (Evaluate(c.operands[0]).kind == Value::Null) != c.negated;
        default:
            break;
        }
        const Value left = Evaluate(c.operands[0]);
        if (left.kind == Value::Null) return false;
        bool result = false;
        if (c.kind == Condition::Compare) {
            const Value right = Evaluate(c.operands[1]);
            if (right.kind == Value::Null) return false;
            const int order = Compare(left, right);
            if (c.op == "=") result = order == 0;
            else if (c.op == "<>") result = order != 0;
            else if (c.op == "<") result = order < 0;
            else if (c.op == "<=") result = order <= 0;
            else if (c.op == ">") result = order > 0;
            else result = order >= 0;
            return result;
        }
        if (c.kind == Condition::Like) {
            const Value pattern = Evaluate(c.operands[1]);
            result = left.kind == Value::Text && pattern.kind == Value::Text && Like(left.text, pattern.text);
        } else if (c.kind == Condition::Between) {
            result = Compare(left, Evaluate(c.operands[1])) >= 0 && Compare(left, Evaluate(c.operands[2])) <= 0;
        } else if (c.kind == Condition::In) {
            for (size_t i = 1; i < c.operands.size() && !result; ++i) {
                const Value v = Evaluate(c.operands[i]);
                result = v.kind != Value::Null && Compare(left, v) == 0;
            }
        }
        return result != c.negated;
    }

private:
    const Cursor& cursor_;
    const Record& record_;
};

struct Selected {
    uint32_t position;
    Record record;
};

// The table's records that satisfy the statement's condition, in physical order.
std::vector<Selected> SelectRecords(const Cursor& cursor, BtrieveFile& file) {
    std::vector<Selected> selected;
    Record record;
    uint32_t position = 0;
    for (bool first = true; file.Step(first, record, position); first = false) {
        if (cursor.statement.hasWhere && !RecordScope(cursor, record).Holds(cursor.statement.where)) continue;
        selected.push_back({position, record});
    }
    return selected;
}

void SortRecords(const Cursor& cursor, std::vector<Selected>& selected) {
    const std::vector<OrderItem>& order = cursor.statement.order;
    if (order.empty()) return;
    std::stable_sort(selected.begin(), selected.end(), [&](const Selected& a, const Selected& b) {
        for (const OrderItem& item : order) {
            const FieldDef& field = cursor.table.fields[item.field];
            const int c = Compare(DecodeField(field, a.record.data()), DecodeField(field, b.record.data()));
            if (c != 0) return item.descending ? c > 0 : c < 0;
        }
        return false;
    });
}

Record Aggregate(const Cursor& cursor, const std::vector<Selected>& selected) {
    Record data(cursor.DataSize(), 0);
    const std::vector<SelectItem>& items = cursor.statement.items;
    for (size_t i = 0; i < items.size(); ++i) {
        uint8_t* out = data.data() + cursor.columns[i].offset;
        const SelectItem& item = items[i];
        if (item.kind == SelectItem::Count) {
            const int32_t count = static_cast<int32_t>(selected.size());
            std::memcpy(out, &count, 4);
            continue;
        }
        const FieldDef& field = cursor.table.fields[item.field];
        if (item.kind == SelectItem::Min || item.kind == SelectItem::Max) {
            const Selected* best = nullptr;
            for (const Selected& s : selected) {
                if (!best) {
                    best = &s;
                    continue;
                }
                const int c = Compare(DecodeField(field, s.record.data()), DecodeField(field, best->record.data()));
                if (item.kind == SelectItem::Min ? c < 0 : c > 0) best = &s;
            }
            if (best) std::memcpy(out, best->record.data() + field.offset, field.size);
            continue;
        }
        double sum = 0;
        for (const Selected& s : selected) {
            const Value v = DecodeField(field, s.record.data());
            if (!v.IsNumber()) throw SqlError(SqlStatusBadValue);
            sum += v.AsDouble();
        }
        if (item.kind == SelectItem::Avg) sum = selected.empty() ? 0 : sum / static_cast<double>(selected.size());
        std::memcpy(out, &sum, 8);
    }
    return data;
}

void AddColumn(Cursor& cursor, const std::string& name, int16_t type, int16_t size, int16_t decimals, uint16_t width,
               int field) {
    ResultColumn column;
    column.name = name;
    column.type = type;
    column.size = size;
    column.decimals = decimals;
    column.width = width;
    column.offset = static_cast<uint16_t>(cursor.DataSize());
    cursor.columns.push_back(column);
    cursor.columnFields.push_back(field);
}

void ResolveSelect(Cursor& cursor) {
    Statement& s = cursor.statement;
    const TableDef& table = cursor.table;
    if (s.allColumns) {
        for (size_t i = 0; i < table.fields.size(); ++i) {
            const FieldDef& f = table.fields[i];
            AddColumn(cursor, f.name, f.type, f.size, f.decimals, f.size, static_cast<int>(i));
        }
    } else {
        for (SelectItem& item : s.items) {
            if (!item.column.empty()) item.field = ResolveField(table, item.column);
            switch (item.kind) {
            case SelectItem::Count:
                AddColumn(cursor, item.label, kSqlComputedType, 0, 0, 4, -1);
                break;
            case SelectItem::Sum:
            case SelectItem::Avg:
                AddColumn(cursor, item.label, kSqlComputedType, 0, 0, 8, -1);
                break;
            default: {
                const FieldDef& f = table.fields[item.field];
                AddColumn(cursor, item.kind == SelectItem::Column ? f.name : item.label, f.type, f.size, f.decimals,
                          f.size, item.kind == SelectItem::Column ? item.field : -1);
            }
            }
        }
    }
    for (OrderItem& item : s.order) {
        if (item.position == 0) {
            item.field = ResolveField(table, item.column);
        } else {
            if (item.position < 1 || item.position > static_cast<int>(cursor.columns.size()) ||
                cursor.columnFields[item.position - 1] < 0)
                throw SqlError(SqlStatusUnknownColumn);
            item.field = cursor.columnFields[item.position - 1];
        }
    }
}

Record ReadRecord(BtrieveFile& file, uint32_t position) {
    Record record;
    file.ReadAt(position, record);
    return record;
}

}  // namespace

Engine::Engine() = default;
Engine::~Engine() = default;

void Engine::Login(const std::string& user, const std::string& password, const std::string& dictionaryPath,
                   const std::string& dataPath) {
    std::string dictionary = dictionaryPath;
    std::string data = dataPath;
    if (!dictionary.empty() && dictionary[0] == '@') {
        dictionary = NamedDatabasePath(dictionary.substr(1));
        if (dictionary.empty()) throw SqlError(SqlStatusDatabaseNotFound);
        if (data.empty()) data = dictionary;
    }
    if (data.empty()) data = dictionary;
    if (dictionary.empty() || !Dictionary::Exists(dictionary)) throw SqlError(SqlStatusDatabaseNotFound);
    if (sessions_.size() >= 0x7FFF) throw SqlError(SqlStatusInvalidSession);
    while (nextSession_ <= 0 || sessions_.count(nextSession_)) nextSession_ = nextSession_ <= 0 ? 1 : nextSession_ + 1;
    auto session = std::make_unique<Session>();
    session->id = nextSession_;
    session->dictionaryPath = dictionary;
    session->dataPath = data;
    // Each session is a client of its own to the record manager: its transactions and
    // locks are its own.
    uint8_t clientId[kClientIdSize] = {};
    clientId[12] = 'S';
    clientId[13] = 'Q';
    clientId[14] = static_cast<uint8_t>(session->id);
    clientId[15] = static_cast<uint8_t>(session->id >> 8);
    session->client = wbtrv::ClientFromId(clientId);
    if (!Dictionary(manager_, session->client, dictionary, data).Admits(user, password))
        throw SqlError(SqlStatusBadPassword);
    ++nextSession_;
    current_ = session->id;
    sessions_[session->id] = std::move(session);
}

std::string NamedDatabasePath(const std::string& name) {
    for (bool remote : {false, true})
        for (const NamedDatabase& database : ListDatabases(remote))
            if (SameName(database.name, name)) return database.directory;
    return {};
}

void Engine::EndSession(Session& session) {
    const int16_t id = session.id;
    for (auto it = cursors_.begin(); it != cursors_.end();)
        it = it->second->session == id ? cursors_.erase(it) : std::next(it);
    // An open transaction is rolled back; the client's files are closed.
    uint8_t scratch[8] = {};
    uint32_t length = 0;
    uint8_t positionBlock[kPositionBlockSize] = {};
    if (session.inTransaction) {
        wbtrv::CallArgs abort{OpAbortTransaction, positionBlock, nullptr, &length, scratch, 0, 0};
        manager_.Call(abort, session.client);
    }
    length = 5;
    wbtrv::CallArgs stop{OpStop, positionBlock, scratch, &length, scratch, 0, 0};
    manager_.Call(stop, session.client);
    if (current_ == id) current_ = -1;
    sessions_.erase(id);
}

void Engine::Logout() {
    EndSession(SessionOf(current_));
}

void Engine::Stop() {
    while (!sessions_.empty()) EndSession(*sessions_.begin()->second);
}

int16_t Engine::CurrentSession() const {
    if (!sessions_.count(current_)) throw SqlError(SqlStatusInvalidSession);
    return current_;
}

void Engine::MakeCurrent(int16_t sessionId) {
    SessionOf(sessionId);
    current_ = sessionId;
}

Session& Engine::SessionOf(int16_t sessionId) {
    auto it = sessions_.find(sessionId);
    if (it == sessions_.end()) throw SqlError(SqlStatusInvalidSession);
    return *it->second;
}

Cursor& Engine::CursorOf(int16_t cursorId) {
    auto it = cursors_.find(cursorId);
    if (it == cursors_.end()) throw SqlError(SqlStatusInvalidCursor);
    return *it->second;
}

int16_t Engine::OpenCursor() {
    Session& session = SessionOf(current_);
    if (cursors_.size() >= 0x7FFF) throw SqlError(SqlStatusInvalidCursor);
    while (nextCursor_ <= 0 || cursors_.count(nextCursor_)) nextCursor_ = nextCursor_ <= 0 ? 1 : nextCursor_ + 1;
    auto cursor = std::make_unique<Cursor>();
    cursor->session = session.id;
    const int16_t id = nextCursor_++;
    cursors_[id] = std::move(cursor);
    return id;
}

void Engine::FreeCursor(int16_t cursorId) {
    CursorOf(cursorId);
    cursors_.erase(cursorId);
}

void Engine::Compile(int16_t cursorId, const std::string& text) {
    Cursor& cursor = CursorOf(cursorId);
    Session& session = SessionOf(cursor.session);
    cursor.compiled = false;
    cursor.executed = false;
    cursor.file.reset();
    cursor.rows.clear();
    cursor.columns.clear();
    cursor.columnFields.clear();
    const Dictionary dictionary(manager_, session.client, session.dictionaryPath, session.dataPath);
    cursor.statement = ParseStatement(text);
    // A stored procedure runs the statement kept under its name.
    if (cursor.statement.kind == Statement::Call) {
        cursor.statement = ParseStatement(dictionary.ProcedureText(cursor.statement.table));
        if (cursor.statement.kind == Statement::Call) throw SqlError(SqlStatusSyntaxError);
    }
    Statement& s = cursor.statement;
    if (s.kind == Statement::BeginTransaction || s.kind == Statement::Commit || s.kind == Statement::Rollback) {
        cursor.compiled = true;
        return;
    }
    cursor.table = dictionary.Lookup(s.table);
    if (s.hasWhere) ResolveCondition(cursor.table, s.where);
    for (const std::string& column : s.columns) s.columnFields.push_back(ResolveField(cursor.table, column));
    if (s.kind == Statement::Insert && s.columns.empty()) {
        if (s.values.size() != cursor.table.fields.size()) throw SqlError(SqlStatusSyntaxError);
        for (size_t i = 0; i < s.values.size(); ++i) s.columnFields.push_back(static_cast<int>(i));
    }
    for (Operand& value : s.values) ResolveOperand(cursor.table, value);
    if (s.kind == Statement::Select) ResolveSelect(cursor);
    cursor.compiled = true;
}

void Engine::Substitute(int16_t cursorId, const std::string& name, const std::string& value) {
    Cursor& cursor = CursorOf(cursorId);
    if (name.empty()) throw SqlError(SqlStatusMissingVariable);
    cursor.variables[Upper(name[0] == '@' ? name.substr(1) : name)] = value;
}

void Engine::Describe(int16_t cursorId, int column, ResultColumn& out) {
    Cursor& cursor = CursorOf(cursorId);
    if (!cursor.compiled) throw SqlError(SqlStatusNotExecuted);
    if (column < 1 || column > static_cast<int>(cursor.columns.size())) throw SqlError(SqlStatusNoSuchColumn);
    out = cursor.columns[column - 1];
}

void Engine::Execute(int16_t cursorId) {
    Cursor& cursor = CursorOf(cursorId);
    if (!cursor.compiled) throw SqlError(SqlStatusNotExecuted);
    Session& session = SessionOf(cursor.session);
    const Statement& s = cursor.statement;
    if (s.kind == Statement::BeginTransaction || s.kind == Statement::Commit || s.kind == Statement::Rollback) {
        RunTransaction(s, session);
        return;
    }
    if (s.kind != Statement::Select) {
        RunWrite(cursor, session);
        return;
    }
    cursor.executed = false;
    cursor.file.reset();
    auto file = std::make_unique<BtrieveFile>(manager_, session.client, cursor.table.path);
    std::vector<Selected> selected = SelectRecords(cursor, *file);
    cursor.rows.clear();
    if (s.IsAggregate()) {
        cursor.rows.push_back({cursor.nextRowId++, 0, Aggregate(cursor, selected)});
    } else {
        SortRecords(cursor, selected);
        for (const Selected& one : selected) cursor.rows.push_back({cursor.nextRowId++, one.position, cursor.Project(one.record)});
    }
    cursor.file = std::move(file);
    cursor.executed = true;
    cursor.place = 0;
    cursor.onRow = false;
}

void Engine::RunTransaction(const Statement& statement, Session& session) {
    uint16_t operation = kBeginConcurrentTransaction;
    if (statement.kind == Statement::Commit) operation = OpEndTransaction;
    else if (statement.kind == Statement::Rollback) operation = OpAbortTransaction;
    uint8_t positionBlock[kPositionBlockSize] = {};
    uint8_t key[kKeyBufferSize] = {};
    uint32_t length = 0;
    wbtrv::CallArgs args{operation, positionBlock, nullptr, &length, key, 0, 0};
    if (int16_t status = manager_.Call(args, session.client)) throw SqlError(status);
    session.inTransaction = statement.kind == Statement::BeginTransaction;
}

void Engine::RunWrite(Cursor& cursor, Session& session) {
    const Statement& s = cursor.statement;
    BtrieveFile file(manager_, session.client, cursor.table.path);
    if (s.kind == Statement::Insert) {
        Record record = cursor.table.EmptyRecord(file.RecordLength());
        const Record none;
        RecordScope scope(cursor, none);
        for (size_t i = 0; i < s.values.size(); ++i) {
            if (s.values[i].kind == Operand::Column) throw SqlError(SqlStatusSyntaxError);
            EncodeField(cursor.table.fields[s.columnFields[i]], scope.Evaluate(s.values[i]), record.data());
        }
        file.Insert(record);
        return;
    }
    // The matching records are collected first, so a change never meets itself again.
    const std::vector<Selected> selected = SelectRecords(cursor, file);
    for (const Selected& one : selected) {
        if (s.kind == Statement::Delete) {
            file.Delete(one.position);
            continue;
        }
        Record record = one.record;
        RecordScope scope(cursor, one.record);
        for (size_t i = 0; i < s.values.size(); ++i)
            EncodeField(cursor.table.fields[s.columnFields[i]], scope.Evaluate(s.values[i]), record.data());
        file.Update(one.position, record);
    }
}

bool Engine::Fetch(int16_t cursorId, uint16_t option, uint8_t* buffer, uint32_t& size, uint32_t& count) {
    Cursor& cursor = CursorOf(cursorId);
    const uint16_t lock = option & FetchLockBias;
    option &= static_cast<uint16_t>(~FetchLockBias);
    if (option == FetchRelease) {
        if (cursor.file) cursor.file->Unlock();
        count = 0;
        size = 0;
        return true;
    }
    if (!cursor.executed || cursor.statement.kind != Statement::Select) throw SqlError(SqlStatusNotExecuted);
    if (option > FetchLast) throw SqlError(SqlStatusNotSupported);
    const uint32_t stride = cursor.Stride();
    const uint32_t wanted = option == FetchNext ? std::max<uint32_t>(count, 1) : 1;
    if (size < stride) throw SqlError(SqlStatusBufferTooShort);
    const size_t rows = cursor.rows.size();
    uint32_t delivered = 0;
    const uint32_t room = size;
    // A failure part-way (a locked record) leaves the rows delivered so far counted.
    count = 0;
    size = 0;
    while (delivered < wanted && (delivered + 1) * stride <= room) {
        size_t target;
        bool found = true;
        switch (delivered ? static_cast<uint16_t>(FetchNext) : option) {
        case FetchCurrent:
            found = cursor.onRow;
            target = cursor.place;
            break;
        case FetchFirst:
            found = rows > 0;
            target = 0;
            break;
        case FetchLast:
            found = rows > 0;
            target = rows - 1;
            break;
        case FetchNext:
            target = cursor.onRow ? cursor.place + 1 : cursor.place;
            found = target < rows;
            if (!found) {
                cursor.place = rows;
                cursor.onRow = false;
            }
            break;
        default:  // prior
            found = cursor.place > 0;
            target = found ? cursor.place - 1 : 0;
            if (!found) cursor.onRow = false;
            break;
        }
        if (!found) break;
        cursor.LockWhenAsked(lock, cursor.rows[target]);
        cursor.place = target;
        cursor.onRow = true;
        cursor.WriteRow(cursor.rows[target], buffer + delivered * stride);
        ++delivered;
        count = delivered;
        size = delivered * stride;
    }
    return delivered == wanted;
}

bool Engine::GetPosition(int16_t cursorId, uint8_t* buffer, uint32_t size) {
    Cursor& cursor = CursorOf(cursorId);
    if (size < 6) throw SqlError(SqlStatusBufferTooShort);
    if (!cursor.onRow) return false;
    buffer[0] = 4;
    buffer[1] = 0;
    std::memcpy(buffer + 2, &cursor.rows[cursor.place].id, 4);
    return true;
}

bool Engine::FetchAtPosition(int16_t cursorId, uint16_t option, uint8_t* buffer, uint32_t size) {
    Cursor& cursor = CursorOf(cursorId);
    if (!cursor.executed) throw SqlError(SqlStatusNotExecuted);
    if (size < 6 || buffer[0] + (buffer[1] << 8) != 4) return false;
    int32_t id;
    std::memcpy(&id, buffer + 2, 4);
    auto it = std::find_if(cursor.rows.begin(), cursor.rows.end(), [&](const ResultRow& r) { return r.id == id; });
    if (it == cursor.rows.end()) return false;
    if (size < cursor.Stride()) throw SqlError(SqlStatusBufferTooShort);
    cursor.LockWhenAsked(option, *it);
    cursor.place = static_cast<size_t>(it - cursor.rows.begin());
    cursor.onRow = true;
    cursor.WriteRow(*it, buffer);
    return true;
}

uint32_t Engine::InsertRows(int16_t cursorId, const uint8_t* buffer, uint32_t count) {
    Cursor& cursor = CursorOf(cursorId);
    if (!cursor.executed) throw SqlError(SqlStatusNotExecuted);
    if (!cursor.Updatable()) throw SqlError(SqlStatusNotUpdatable);
    BtrieveFile& file = cursor.File();
    const uint32_t stride = cursor.Stride();
    uint32_t inserted = 0;
    for (; inserted < count; ++inserted) {
        const uint8_t* row = buffer + inserted * stride;
        uint32_t length = row[0] | row[1] << 8;
        if (length == 0 || length > cursor.DataSize()) length = cursor.DataSize();
        Record record = cursor.table.EmptyRecord(file.RecordLength());
        // A short data length leaves the columns past it (or their tail) without a value.
        for (size_t i = 0; i < cursor.columns.size(); ++i) {
            const ResultColumn& column = cursor.columns[i];
            if (column.offset >= length) break;
            const uint32_t bytes = std::min<uint32_t>(column.width, length - column.offset);
            std::memcpy(record.data() + cursor.table.fields[cursor.columnFields[i]].offset, row + 2 + column.offset, bytes);
        }
        const uint32_t position = file.Insert(record);
        cursor.rows.push_back({cursor.nextRowId++, position, cursor.Project(ReadRecord(file, position))});
        cursor.place = cursor.rows.size() - 1;
        cursor.onRow = true;
    }
    return inserted;
}

void Engine::UpdateRow(int16_t cursorId, const uint8_t* row) {
    Cursor& cursor = CursorOf(cursorId);
    if (!cursor.Updatable()) throw SqlError(SqlStatusNotUpdatable);
    if (!cursor.executed || !cursor.onRow) throw SqlError(SqlStatusNoCurrentRow);
    BtrieveFile& file = cursor.File();
    ResultRow& current = cursor.rows[cursor.place];
    Record record = ReadRecord(file, current.position);
    for (size_t i = 0; i < cursor.columns.size(); ++i)
        std::memcpy(record.data() + cursor.table.fields[cursor.columnFields[i]].offset, row + 2 + cursor.columns[i].offset,
                    cursor.columns[i].width);
    file.Update(current.position, record);
    current.data = cursor.Project(ReadRecord(file, current.position));
}

void Engine::RemoveRow(int16_t cursorId) {
    Cursor& cursor = CursorOf(cursorId);
    if (!cursor.Updatable()) throw SqlError(SqlStatusNotUpdatable);
    if (!cursor.executed || !cursor.onRow) throw SqlError(SqlStatusNoCurrentRow);
    BtrieveFile& file = cursor.File();
    file.Delete(cursor.rows[cursor.place].position);
    cursor.rows.erase(cursor.rows.begin() + static_cast<std::ptrdiff_t>(cursor.place));
    cursor.onRow = false;  // in the gap before the row that followed
}

}  // namespace wssql
