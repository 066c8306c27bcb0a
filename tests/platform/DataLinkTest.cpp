// What data links hear from their dataset, master/detail links, and the connection
// component's events and client notices.
#include <gtest/gtest.h>

#include "MemoryTable.h"
#include "platform/CustomConnection.h"
#include "platform/DataLink.h"

using namespace platform;
using testing_support::Column;
using testing_support::TMemoryTable;

namespace {

std::unique_ptr<TMemoryTable> MakeTable(int rows) {
    auto table = NewUnownedComponent<TMemoryTable>(std::vector<Column>{{"ID", ftInteger}, {"NAME", ftString, 10}});
    for (int i = 1; i <= rows; ++i) table->AddRow({Variant(i), Variant("N" + IntToStr(i))});
    return table;
}

class RecordingLink : public TDataLink {
public:
    std::vector<AnsiString> heard;
    AnsiString pendingName;  // written into NAME when the dataset asks for pending values

protected:
    void ActiveChanged() override { heard.push_back(Active() ? "active" : "inactive"); }
    void EditingChanged() override { heard.push_back(Editing() ? "editing" : "not editing"); }
    void DataSetChanged() override { heard.push_back("changed"); }
    void DataSetScrolled(int distance) override { heard.push_back("scrolled " + IntToStr(distance)); }
    void RecordChanged(TField* field) override { heard.push_back("record " + (field ? field->FieldName() : AnsiString("-"))); }
    void UpdateData() override {
        heard.push_back("update");
        if (!pendingName.empty()) DataSet()->FieldNamed("NAME")->WriteAsString(pendingName);
    }
    void CheckBrowseMode() override { heard.push_back("check"); }
};

}  // namespace

TEST(DataLinks, HearStateScrollEditAndPost) {
    auto table = MakeTable(3);
    auto source = NewUnownedComponent<TDataSource>();
    source->SetDataSet(table.get());
    RecordingLink link;
    link.SetDataSource(source.get());

    struct Step {
        const char* action;
        std::vector<AnsiString> expected;
    };
    const std::vector<Step> steps = {
        {"open", {"active"}},
        {"next", {"check", "scrolled 1"}},
        {"edit", {"check", "editing", "record -"}},
        {"write", {"record NAME"}},
        {"post", {"update", "not editing", "changed"}},
        {"disable-next-enable", {"changed"}},
        {"close", {"inactive"}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.action);
        link.heard.clear();
        AnsiString a = step.action;
        if (a == "open") table->OpenDataSet();
        else if (a == "next") table->MoveToNext();
        else if (a == "edit") table->BeginEdit();
        else if (a == "write") table->FieldNamed("NAME")->WriteAsString("x");
        else if (a == "post") table->PostChanges();
        else if (a == "disable-next-enable") {
            table->DisableControls();
            table->MoveToNext();
            table->EnableControls();
        } else table->CloseDataSet();
        EXPECT_EQ(link.heard, step.expected);
    }
    link.SetDataSource(nullptr);
}

TEST(DataLinks, PendingControlValuesArePostedWhenTheDatasetMoves) {
    auto table = MakeTable(2);
    auto source = NewUnownedComponent<TDataSource>();
    source->SetDataSet(table.get());
    RecordingLink link;
    link.SetDataSource(source.get());
    table->OpenDataSet();
    table->BeginEdit();
    link.pendingName = "typed";
    table->MoveToNext();
    EXPECT_EQ(table->Stored(0, "NAME").AsString(), "typed");
    link.SetDataSource(nullptr);
}

TEST(DataLinks, SourceFreedBeforeItsLinksAndDatasetLeavesThemInactive) {
    auto table = MakeTable(1);
    RecordingLink link;
    {
        auto source = NewUnownedComponent<TDataSource>();
        source->SetDataSet(table.get());
        link.SetDataSource(source.get());
        table->OpenDataSet();
        EXPECT_TRUE(link.Active());
    }
    EXPECT_EQ(link.DataSource(), nullptr);
    EXPECT_FALSE(link.Active());
    table->MoveToFirst();  // no source left to notify
}

// A detail dataset that follows its master through a master link.
class DetailTable : public TMemoryTable {
public:
    explicit DetailTable(TComponent* owner) : TMemoryTable(owner), link(this) {
        link.OnMasterChange = [this] { masterChanges.push_back(link.Fields().empty() ? -1 : link.Fields()[0]->ReadAsInteger()); };
        link.OnMasterDisable = [this] { ++masterDisables; };
    }
    TDataSource* DataSource() override { return link.DataSource(); }
    TMasterDataLink link;
    std::vector<int> masterChanges;
    int masterDisables = 0;
};

TEST(MasterLinks, DetailHearsMasterMovesAndClose) {
    auto master = MakeTable(3);
    auto source = NewUnownedComponent<TDataSource>();
    source->SetDataSet(master.get());
    auto detail = NewUnownedComponent<DetailTable>();
    detail->link.SetFieldNames("ID");
    detail->link.SetDataSource(source.get());
    master->OpenDataSet();
    master->MoveToNext();
    master->MoveToLast();
    master->BeginEdit();
    master->FieldNamed("NAME")->WriteAsString("not a link field");
    master->FieldNamed("ID")->WriteAsInteger(30);
    master->PostChanges();
    // Starting the edit is a record change too; the name field is no link field.
    EXPECT_EQ(detail->masterChanges, (std::vector<int>{1, 2, 3, 3, 30, 30}));
    master->CloseDataSet();
    EXPECT_EQ(detail->masterDisables, 1);
    detail->link.SetDataSource(nullptr);
}

TEST(MasterLinks, CircularLinksAreFound) {
    auto a = NewUnownedComponent<DetailTable>();
    auto b = NewUnownedComponent<DetailTable>();
    auto sourceA = NewUnownedComponent<TDataSource>();
    auto sourceB = NewUnownedComponent<TDataSource>();
    sourceA->SetDataSet(a.get());
    b->link.SetDataSource(sourceA.get());  // b follows a
    sourceB->SetDataSet(b.get());
    EXPECT_TRUE(a->IsLinkedTo(sourceB.get()));   // a may not follow b
    EXPECT_FALSE(b->IsLinkedTo(sourceA.get()));
    EXPECT_TRUE(sourceA->IsLinkedTo(b.get()));
    auto other = NewUnownedComponent<TDataSource>();
    other->SetDataSet(b.get());
    try {
        sourceA->SetDataSet(b.get());  // b would show through the source it follows
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_STREQ(e.what(), "Circular datalinks are not allowed");
    }
    b->link.SetDataSource(nullptr);
}

// ---------------------------------------------------------------- connections

class TestConnection : public TCustomConnection {
public:
    using TCustomConnection::TCustomConnection;
    bool Connected() const override { return connected; }
    bool connected = false;
    std::vector<AnsiString>* log = nullptr;

protected:
    void EstablishConnection() override {
        log->push_back("establish");
        connected = true;
    }
    void ReleaseConnection() override {
        log->push_back("release");
        connected = false;
    }
};

class ClientTable : public TMemoryTable {
public:
    using TMemoryTable::TMemoryTable;
    std::vector<AnsiString>* log = nullptr;

protected:
    void DispatchDataEvent(TDataEvent event, intptr_t info) override {
        if (event == deConnectChange) log->push_back(info ? "client connect" : "client disconnect");
        TMemoryTable::DispatchDataEvent(event, info);
    }
};

TEST(Connections, EventsAroundConnectAndDisconnectAndClientsTold) {
    std::vector<AnsiString> log;
    auto connection = NewUnownedComponent<TestConnection>();
    connection->log = &log;
    auto client = NewUnownedComponent<ClientTable>();
    client->log = &log;
    connection->AttachClient(client.get());
    connection->AttachClient(client.get());
    EXPECT_EQ(connection->ClientDataSetCount(), 1);
    connection->BeforeConnect = [&](TCustomConnection&) { log.push_back("before connect"); };
    connection->AfterConnect = [&](TCustomConnection&) { log.push_back("after connect"); };
    connection->BeforeDisconnect = [&](TCustomConnection&) { log.push_back("before disconnect"); };
    connection->AfterDisconnect = [&](TCustomConnection&) { log.push_back("after disconnect"); };
    connection->OpenConnection();
    connection->OpenConnection();  // already connected: nothing
    connection->CloseConnection();
    EXPECT_EQ(log, (std::vector<AnsiString>{"before connect", "establish", "client connect", "after connect",
                                            "before disconnect", "client disconnect", "release",
                                            "after disconnect"}));
    connection->DetachClient(client.get());
    EXPECT_EQ(connection->ClientDataSetCount(), 0);
}

TEST(Connections, ConnectedReadFromAFormConnectsWhenLoadingEnds) {
    std::vector<AnsiString> log;
    auto connection = NewUnownedComponent<TestConnection>();
    connection->log = &log;
    connection->IncludeState(csLoading);
    connection->SetPropertyValue("Connected", Variant(true));
    EXPECT_FALSE(connection->Connected());
    connection->StreamingCompleted();
    EXPECT_TRUE(connection->Connected());
}
