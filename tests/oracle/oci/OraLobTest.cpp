// LOB and file values against the stand-in server: whole values moved in pieces, direct
// server reads and writes with caching off, and file locators of directory aliases.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <string>

#include "oracle/oci/OCIConnection.h"
#include "oracle/oci/OciLoader.h"
#include "oracle/oci/OraLob.h"
#include "platform/Streams.h"
#include "tests/oracle/oci/OciFixtures.h"

namespace oracle {
namespace {

using testing::OracleRegistryTest;
using testing::ProgramFolder;

// Holds one counted reference of a LOB or file value for the test's lifetime.
template <class T>
class TShared {
public:
    explicit TShared(T* object) : object_(object) {}
    ~TShared() { object_->Release(); }
    TShared(const TShared&) = delete;
    TShared& operator=(const TShared&) = delete;
    T* operator->() const { return object_; }
    T* get() const { return object_; }

private:
    T* object_;
};

std::string Pattern(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return bytes;
}

// A logged-on connection to the stand-in server and a table of its own.
class OraLobTest : public OracleRegistryTest {
protected:
    void SetUp() override {
        OracleRegistryTest::SetUp();
        REQUIRE_STANDIN_SERVER();
        PutOracleValue("", "OCIDLL", ProgramFolder() + "\\oci.dll");
        connection_.SetUsername("scott");
        connection_.SetPassword("tiger");
        connection_.SetServer("SETRIX_TEST");
        connection_.Connect();
        table_ = "LOBS" + testing::UniqueNameSuffix();
        Run("CREATE TABLE " + table_ + " (ID NUMBER, B BLOB, C CLOB)");
    }

    void TearDown() override {
        if (connection_.GetConnected()) {
            Run("DROP TABLE " + table_);
            connection_.Disconnect();
        }
        OracleRegistryTest::TearDown();
    }

    // Runs a statement; a locator is bound to the first placeholder (RETURNING ... INTO)
    // or, for a query, defined as its first column and fetched.
    void Run(const std::string& sql, OCILobLocator** locator = nullptr, ub2 type = SQLT_BLOB, bool query = false) {
        void* handle = nullptr;
        connection_.Check(Oci.OCIHandleAlloc(OciClient().Environment, &handle, OCI_HTYPE_STMT, 0, nullptr));
        auto* statement = static_cast<OCIStmt*>(handle);
        OCIError* error = connection_.ErrorHandle();
        sword status = Oci.OCIStmtPrepare(statement, error, reinterpret_cast<const OraText*>(sql.c_str()),
                                          static_cast<ub4>(sql.size() + 1), OCI_NTV_SYNTAX, OCI_DEFAULT);
        if (status == OCI_SUCCESS && locator && !query) {
            OCIBind* bind = nullptr;
            status = Oci.OCIBindByPos(statement, &bind, error, 1, locator, sizeof *locator, type, nullptr, nullptr,
                                      nullptr, 0, nullptr, OCI_DEFAULT);
        }
        if (status == OCI_SUCCESS && locator && query) {
            OCIDefine* define = nullptr;
            status = Oci.OCIDefineByPos(statement, &define, error, 1, locator, sizeof *locator, type, nullptr,
                                        nullptr, nullptr, OCI_DEFAULT);
        }
        if (status == OCI_SUCCESS)
            status = Oci.OCIStmtExecute(connection_.GetSvcCtx(), statement, error, query ? 0 : 1, 0, nullptr, nullptr,
                                        OCI_DEFAULT);
        if (status == OCI_SUCCESS && query) status = Oci.OCIStmtFetch(statement, error, 1, OCI_FETCH_NEXT, OCI_DEFAULT);
        Oci.OCIHandleFree(statement, OCI_HTYPE_STMT);
        connection_.Check(status);
    }

    // A new BLOB row whose locator the value receives.
    void InsertBlob(TOraLob* lob, int id) {
        Run("INSERT INTO " + table_ + " VALUES (" + std::to_string(id) + ", EMPTY_BLOB(), NULL) RETURNING B INTO :B",
            lob->LocatorPtr());
    }

    void SelectBlob(TOraLob* lob, int id) {
        Run("SELECT B FROM " + table_ + " WHERE ID = " + std::to_string(id), lob->LocatorPtr(), SQLT_BLOB, true);
        lob->ServerData = true;
    }

    // As SelectBlob, with a locator of a locked row that can be written to.
    void SelectBlobToWrite(TOraLob* lob, int id) {
        Run("UPDATE " + table_ + " SET ID = ID WHERE ID = " + std::to_string(id) + " RETURNING B INTO :B",
            lob->LocatorPtr());
        lob->ServerData = true;
    }

    TOCIConnection connection_;
    std::string table_;
};

TEST_F(OraLobTest, NewLocatorIsAnInitialisedEmptyLob) {
    TShared<TOraLob> lob(NewShared<TOraLob>(connection_.GetSvcCtx()));
    EXPECT_THROW(lob->IsInit(), platform::Exception);  // no locator yet
    lob->AllocLob();
    EXPECT_TRUE(lob->IsInit());
    EXPECT_EQ(lob->GetLength(), 0u);
    TShared<TOraLob> orphan(NewShared<TOraLob>());
    orphan->AllocLob();
    try {
        orphan->GetLength();
        FAIL();
    } catch (const platform::Exception& e) {
        EXPECT_STREQ(e.what(), "OCISvcCtx is not defined");
    }
}

TEST_F(OraLobTest, WholeValuesTravelInPieces) {
    const std::string value = Pattern(150000);
    TShared<TOraLob> written(NewShared<TOraLob>(connection_.GetSvcCtx()));
    InsertBlob(written.get(), 1);
    written->SetAsString(value);
    written->WriteLob();
    EXPECT_EQ(written->GetLength(), value.size());

    TShared<TOraLob> fetched(NewShared<TOraLob>(connection_.GetSvcCtx()));
    SelectBlob(fetched.get(), 1);
    EXPECT_EQ(fetched->GetSize(), value.size());  // the server's length, nothing read yet
    EXPECT_EQ(fetched->FirstPiece(), nullptr);
    EXPECT_TRUE(fetched->AsString() == value);
    EXPECT_FALSE(fetched->ServerData);
    std::vector<uint32_t> pieces;
    for (PPieceHeader p = fetched->FirstPiece(); p; p = p->Next) pieces.push_back(p->Used);
    EXPECT_EQ(pieces, (std::vector<uint32_t>{65514, 65514, 18972}));

    // An empty piece chain empties the server value.
    written->Clear();
    written->WriteLob();
    EXPECT_EQ(written->GetLength(), 0u);
}

TEST_F(OraLobTest, CachingOffReadsAndWritesTheServer) {
    TShared<TOraLob> lob(NewShared<TOraLob>(connection_.GetSvcCtx()));
    InsertBlob(lob.get(), 2);
    lob->SetAsString("x");
    try {
        lob->SetCached(false);
        FAIL();
    } catch (const platform::Exception& e) {
        EXPECT_STREQ(e.what(), "Cannot disable lob caching. Lob is not empty.");
    }
    lob->Clear();
    lob->SetCached(false);

    lob->Write(0, 10, "0123456789");
    lob->Write(4, 3, "abc");
    EXPECT_EQ(lob->GetLength(), 10u);
    char middle[6] = {};
    EXPECT_EQ(lob->Read(2, 5, middle), 5u);
    EXPECT_STREQ(middle, "23abc");
    EXPECT_EQ(lob->FirstPiece(), nullptr);  // nothing kept on the client

    // A shorter stream replaces the whole value, without the old tail.
    platform::TMemoryStream shorter;
    shorter.WriteBuffer("new", 3);
    lob->LoadFromStream(shorter);
    EXPECT_EQ(lob->GetLength(), 3u);
    platform::TMemoryStream saved;
    lob->SaveToStream(saved);
    EXPECT_EQ(std::string(saved.Memory(), static_cast<size_t>(saved.Size())), "new");

    // Large values go in piece-size chunks both ways.
    const std::string value = Pattern(70000);
    platform::TMemoryStream large;
    large.WriteBuffer(value.data(), static_cast<int32_t>(value.size()));
    lob->LoadFromStream(large);
    platform::TMemoryStream back;
    lob->SaveToStream(back);
    ASSERT_EQ(back.Size(), static_cast<int64_t>(value.size()));
    EXPECT_TRUE(std::string(back.Memory(), value.size()) == value);
}

TEST_F(OraLobTest, FilesOfDirectoryAliases) {
    const std::string name = "a_file_name_well_beyond_fifty_characters_" + table_ + ".txt";
    std::ofstream(testing::StandinFolder() + "/" + name, std::ios::binary) << "bytes of a file";
    const std::string alias = "DIR_" + table_;
    Run("CREATE OR REPLACE DIRECTORY " + alias + " AS '" + testing::StandinFolder().substr(2) + "'");

    TShared<TOraFile> file(NewShared<TOraFile>(connection_.GetSvcCtx()));
    EXPECT_FALSE(file->Exists());  // no locator
    EXPECT_EQ(file->FileName(), "");
    Run("SELECT BFILENAME('" + alias + "', '" + name + "') FROM DUAL", file->LocatorPtr(), SQLT_BFILEE, true);
    EXPECT_EQ(file->FileDir(), alias);
    EXPECT_EQ(file->FileName(), name);
    EXPECT_TRUE(file->Exists());
    file->ServerData = true;
    EXPECT_EQ(file->GetSize(), 15u);  // read through an opened file
    EXPECT_EQ(file->AsString(), "bytes of a file");

    struct Missing {
        std::string directory;
        std::string fileName;
    };
    for (const Missing& m : {Missing{"NO_SUCH_DIR", "x"}, Missing{alias, "no_such_file.txt"}}) {
        TShared<TOraFile> missing(NewShared<TOraFile>(connection_.GetSvcCtx()));
        Run("SELECT BFILENAME('" + m.directory + "', '" + m.fileName + "') FROM DUAL", missing->LocatorPtr(),
            SQLT_BFILEE, true);
        EXPECT_FALSE(missing->Exists()) << m.directory << "/" << m.fileName;
        missing->ServerData = true;
        EXPECT_EQ(missing->GetSize(), 0u);
        missing->CheckValue();  // nothing to read, no failure
        EXPECT_EQ(missing->FirstPiece(), nullptr);
    }
}

// A fetched value that was not read yet (deferred reading) is read before it changes.
TEST_F(OraLobTest, UnreadServerValuesAreReadBeforeTheyChange) {
    const std::string old = "old value, long";
    TShared<TOraLob> written(NewShared<TOraLob>(connection_.GetSvcCtx()));
    InsertBlob(written.get(), 5);
    written->SetAsString(old);
    written->WriteLob();

    // A write inside the value keeps the bytes around it.
    TShared<TOraLob> partial(NewShared<TOraLob>(connection_.GetSvcCtx()));
    SelectBlob(partial.get(), 5);
    partial->Write(4, 3, "VAL");
    EXPECT_EQ(partial->AsString(), "old VALue, long");

    // Cancelling an edit (the record store's rollback mode) brings back the server value.
    TShared<TOraLob> cancelled(NewShared<TOraLob>(connection_.GetSvcCtx()));
    SelectBlob(cancelled.get(), 5);
    static_cast<TBlob*>(cancelled.get())->SetCached(true);
    cancelled->Write(0, 3, "NEW");
    cancelled->Cancel();
    EXPECT_EQ(cancelled->AsString(), old);

    // The record store empties a value before it writes a whole new one in its place.
    TShared<TOraLob> replaced(NewShared<TOraLob>(connection_.GetSvcCtx()));
    SelectBlob(replaced.get(), 5);
    TBlob* edited = replaced.get();
    edited->SetCached(true);
    edited->Truncate(0);
    replaced->Write(0, 3, "new");
    EXPECT_EQ(replaced->AsString(), "new");
    replaced->Cancel();
    EXPECT_EQ(replaced->AsString(), old);

    // A stream replaces the whole value; cancelled, the server value is back too.
    TShared<TOraLob> loaded(NewShared<TOraLob>(connection_.GetSvcCtx()));
    SelectBlob(loaded.get(), 5);
    static_cast<TBlob*>(loaded.get())->SetCached(true);
    platform::TMemoryStream stream;
    stream.WriteBuffer("short", 5);
    loaded->LoadFromStream(stream);
    EXPECT_EQ(loaded->AsString(), "short");
    loaded->Cancel();
    EXPECT_EQ(loaded->AsString(), old);
}

// Emptying or replacing a value that was not read yet holds: posted, the server keeps the
// new value; cancelled inside an edit, the server value comes back.
TEST_F(OraLobTest, UnreadServerValuesClearedOrReplacedKeepTheChange) {
    const std::string old = "old value, long";
    const struct {
        const char* name;
        bool inEdit;  // the record store's rollback mode
        std::function<void(TBlob&)> change;
        std::string expected;
    } cases[] = {
        {"clear", false, [](TBlob& b) { b.Clear(); }, ""},
        {"shorter text", false, [](TBlob& b) { b.SetAsString("new"); }, "new"},
        {"shorter text in an edit", true, [](TBlob& b) { b.SetAsString("new"); }, "new"},
        {"cut", true, [](TBlob& b) { b.Truncate(3); }, "old"},
        // The record store empties the value of a field set to null.
        {"null", true, [](TBlob& b) { b.Clear(); }, ""},
    };
    int id = 10;
    for (const auto& c : cases) {
        ++id;
        TShared<TOraLob> written(NewShared<TOraLob>(connection_.GetSvcCtx()));
        InsertBlob(written.get(), id);
        written->SetAsString(old);
        written->WriteLob();

        TShared<TOraLob> cancelled(NewShared<TOraLob>(connection_.GetSvcCtx()));
        SelectBlob(cancelled.get(), id);
        static_cast<TBlob*>(cancelled.get())->SetCached(true);
        c.change(*cancelled.get());
        EXPECT_EQ(cancelled->AsString(), c.expected) << c.name;
        cancelled->Cancel();
        EXPECT_EQ(cancelled->AsString(), old) << c.name;

        TShared<TOraLob> posted(NewShared<TOraLob>(connection_.GetSvcCtx()));
        SelectBlobToWrite(posted.get(), id);
        static_cast<TBlob*>(posted.get())->SetCached(c.inEdit);
        c.change(*posted.get());
        EXPECT_EQ(posted->GetSize(), c.expected.size()) << c.name;
        EXPECT_EQ(posted->AsString(), c.expected) << c.name;
        posted->WriteLob();
        posted->Commit();

        TShared<TOraLob> readBack(NewShared<TOraLob>(connection_.GetSvcCtx()));
        SelectBlob(readBack.get(), id);
        EXPECT_EQ(readBack->AsString(), c.expected) << c.name;
    }
}

}  // namespace
}  // namespace oracle
