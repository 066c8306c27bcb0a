#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/FormReader.h"

using namespace platform;

namespace {

std::vector<std::string> gEvents;

class TTestRoot : public TComponent {
public:
    using TComponent::TComponent;
    static const TClassInfo& StaticClassInfo() {
        static const TClassInfo info = TClassInfo::Of<TTestRoot>("TTestRoot", &TComponent::StaticClassInfo())
                                           .Property("Width", &TTestRoot::Width, &TTestRoot::SetWidth);
        return info;
    }
    const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
    void StreamingCompleted() override {
        TComponent::StreamingCompleted();
        gEvents.push_back("loaded " + Name());
    }
    int Width() const { return width_; }
    void SetWidth(int w) { width_ = w; }

private:
    int width_ = 0;
};

enum TOpenMode { omReadWrite, omReadOnly, omExclusive };

class TTestTable : public TComponent {
public:
    using TComponent::TComponent;
    static const TClassInfo& StaticClassInfo() {
        static const TClassInfo info =
            TClassInfo::Of<TTestTable>("TTestTable", &TComponent::StaticClassInfo())
                .Property("TableName", &TTestTable::TableName, &TTestTable::SetTableName)
                .Property("Active", &TTestTable::Active, &TTestTable::SetActive)
                .Property("Ratio", &TTestTable::Ratio, &TTestTable::SetRatio)
                .Property("Options", &TTestTable::Options, &TTestTable::SetOptions)
                .EnumProperty("OpenMode", &TTestTable::OpenMode, &TTestTable::SetOpenMode,
                              {{"omReadWrite", omReadWrite}, {"omReadOnly", omReadOnly}, {"omExclusive", omExclusive}})
                .ComponentProperty("MasterTable", &TTestTable::SetMasterTable);
        return info;
    }
    const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

    const AnsiString& TableName() const { return tableName_; }
    void SetTableName(const AnsiString& n) { tableName_ = n; }
    bool Active() const { return active_; }
    // Opening waits for the end of loading, as datasets do.
    void SetActive(bool a) {
        if (InState(csLoading)) activeWhenLoaded_ = a;
        else active_ = a;
    }
    double Ratio() const { return ratio_; }
    void SetRatio(double r) { ratio_ = r; }
    const AnsiString& Options() const { return options_; }
    void SetOptions(const AnsiString& o) { options_ = o; }
    TOpenMode OpenMode() const { return mode_; }
    void SetOpenMode(TOpenMode m) { mode_ = m; }
    TTestTable* MasterTable() const { return master_; }
    void SetMasterTable(TTestTable* t) { master_ = t; }
    void StreamingCompleted() override {
        TComponent::StreamingCompleted();
        gEvents.push_back("loaded " + Name());
        if (activeWhenLoaded_) active_ = true;
    }

private:
    AnsiString tableName_, options_;
    bool active_ = false, activeWhenLoaded_ = false;
    double ratio_ = 0;
    TOpenMode mode_ = omReadWrite;
    TTestTable* master_ = nullptr;
};

class TTestField : public TComponent {
public:
    using TComponent::TComponent;
    static const TClassInfo& StaticClassInfo() {
        static const TClassInfo info = TClassInfo::Of<TTestField>("TTestField", &TComponent::StaticClassInfo())
                                           .Property("FieldName", &TTestField::FieldName, &TTestField::SetFieldName)
                                           .ComponentProperty("DataSet", &TTestField::SetDataSet);
        return info;
    }
    const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
    const AnsiString& FieldName() const { return fieldName_; }
    void SetFieldName(const AnsiString& n) { fieldName_ = n; }
    TTestTable* DataSet() const { return dataSet_; }
    void SetDataSet(TTestTable* t) {
        dataSet_ = t;
        gEvents.push_back("bind " + Name() + (InState(csLoading) ? " while loading" : ""));
    }

private:
    AnsiString fieldName_;
    TTestTable* dataSet_ = nullptr;
};

class FormReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        gEvents.clear();
        RegisterComponentClass(TTestTable::StaticClassInfo());
        RegisterComponentClass(TTestField::StaticClassInfo());
        root_ = NewUnownedComponent<TTestRoot>();
    }
    void TearDown() override {
        UnregisterComponentClass(TTestTable::StaticClassInfo());
        UnregisterComponentClass(TTestField::StaticClassInfo());
    }
    template <class T>
    T& Child(const char* name) {
        TComponent* c = root_->FindComponent(name);
        EXPECT_NE(c, nullptr) << name;
        return dynamic_cast<T&>(*c);
    }

    std::unique_ptr<TTestRoot> root_;
};

const char kForm[] =
    "# the main form\r\n"
    "Form1: TTestRoot\r\n"
    "  Width = 104\r\n"
    "\r\n"
    "Table1ID: TTestField\r\n"
    "  DataSet = Table1\r\n"  // declared further down
    "  FieldName = 'ID '#253#236#232#242#229#237#242#224\r\n"
    "Table1: TTestTable\r\n"
    "  TableName = 'ecfil003.dat'\r\n"
    "  Active = True\r\n"
    "  Ratio = -1.5e2\r\n"
    "  OpenMode = omReadOnly\r\n"
    "  Options = [ioFirst, ioSecond]\r\n"
    "  MasterTable = Table2\r\n"
    "Table2: TTestTable\n"
    "  TableName = 'it''s'\n"
    "  Tag = $10\n"
    "  OpenMode = 2\n"
    "  MasterTable = nil\n";

}  // namespace

TEST_F(FormReaderTest, CreatesComponentsSetsPropertiesAndFinishesLoadingInOrder) {
    ReadComponentText(*root_, kForm);
    EXPECT_EQ(root_->Name(), "Form1");
    EXPECT_EQ(root_->Width(), 104);
    ASSERT_EQ(root_->ComponentCount(), 3);

    auto& field = Child<TTestField>("Table1ID");
    auto& table1 = Child<TTestTable>("Table1");
    auto& table2 = Child<TTestTable>("Table2");
    EXPECT_EQ(field.FieldName(), "ID \xFD\xEC\xE8\xF2\xE5\xED\xF2\xE0");
    EXPECT_EQ(field.DataSet(), &table1);
    EXPECT_EQ(table1.TableName(), "ecfil003.dat");
    EXPECT_TRUE(table1.Active());
    EXPECT_DOUBLE_EQ(table1.Ratio(), -150.0);
    EXPECT_EQ(table1.OpenMode(), omReadOnly);
    EXPECT_EQ(table1.Options(), "[ioFirst, ioSecond]");
    EXPECT_EQ(table1.MasterTable(), &table2);
    EXPECT_EQ(table2.TableName(), "it's");
    EXPECT_EQ(table2.Tag(), 16);
    EXPECT_EQ(table2.OpenMode(), omExclusive);
    EXPECT_EQ(table2.MasterTable(), nullptr);
    EXPECT_EQ(table1.GetPropertyValue("OpenMode").AsString(), "omReadOnly");

    const std::vector<std::string> expected = {"bind Table1ID while loading", "loaded Form1", "loaded Table1",
                                               "loaded Table2"};
    EXPECT_EQ(gEvents, expected);
    for (int i = 0; i < root_->ComponentCount(); ++i) {
        EXPECT_FALSE(root_->Components(i)->InState(csLoading));
        EXPECT_FALSE(root_->Components(i)->InState(csReading));
    }
}

TEST_F(FormReaderTest, BadDescriptionsNameTheLineAndLeaveNothingLoading) {
    struct Case {
        const char* text;
        const char* messagePart;
    };
    const Case cases[] = {
        {"", "empty"},
        {"Form1: TOther\n", "Line 1: the description is for TOther"},
        {"  Width = 1\n", "Line 1: a component header must come first"},
        {"Form1: TTestRoot\nT: TNoSuchClass\n", "Line 2: Class TNoSuchClass not found"},
        {"Form1: TTestRoot\n  Height = 5\n", "Line 2: Error reading Form1.Height: Property Height does not exist"},
        {"Form1: TTestRoot\n  Width = 'wide'\n", "Line 2: Error reading Form1.Width: "},
        {"Form1: TTestRoot\n  Width = 5 6\n", "Line 2: unexpected text"},
        {"Form1: TTestRoot\n  Width = 'open\n", "Line 2: unterminated text"},
        {"Form1: TTestRoot\nT: TTestTable\n  OpenMode = omWrong\n", "Line 3: Error reading T.OpenMode: Invalid property value"},
        {"Form1: TTestRoot\nF: TTestField\n  DataSet = Missing\n", "Line 3: Error reading F.DataSet: no component named Missing"},
        {"Form1: TTestRoot\nF: TTestField\nG: TTestField\n  DataSet = F\n", "Line 4: Error reading G.DataSet: Invalid property value"},
        {"Form1: TTestRoot\nT: TTestTable\nT: TTestTable\n", "Line 3: Error reading T.Name: A component named T already exists"},
        {"Form1: TTestRoot\nWidth 5\n", "Line 2: ':' or '=' expected"},
    };
    for (const Case& c : cases) {
        auto root = NewUnownedComponent<TTestRoot>();
        try {
            ReadComponentText(*root, c.text);
            ADD_FAILURE() << "no error for: " << c.text;
        } catch (const EFormReadError& e) {
            EXPECT_NE(e.Message().find(c.messagePart), AnsiString::npos) << e.Message();
        }
        EXPECT_FALSE(root->InState(csLoading));
        for (int i = 0; i < root->ComponentCount(); ++i) EXPECT_FALSE(root->Components(i)->InState(csLoading));
    }
}

TEST_F(FormReaderTest, ReadsTheDescriptionFromAnRcdataResource) {
    ReadComponentResource(*root_, GetModuleHandleA(nullptr), "TESTFORM");
    EXPECT_EQ(root_->Width(), 104);
    EXPECT_EQ(Child<TTestTable>("Table1").TableName(), "ecfil003.dat");
    auto other = NewUnownedComponent<TTestRoot>();
    // By default the resource is named after the root's class.
    EXPECT_THROW(ReadComponentResource(*other, GetModuleHandleA(nullptr)), EResNotFound);
}
