#include <gtest/gtest.h>

#include <functional>
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

// An object a component holds, set through "Sorting.Key = ...".
class TTestSorting : public TPersistent {
public:
    static const TClassInfo& StaticClassInfo() {
        static const TClassInfo info = TClassInfo("TTestSorting", &TPersistent::StaticClassInfo())
                                           .Property("Key", &TTestSorting::Key, &TTestSorting::SetKey)
                                           .SetProperty("Flags", &TTestSorting::Flags, &TTestSorting::SetFlags,
                                                        {{"sfDescending", 1}, {"sfCaseless", 2}, {"sfNullsFirst", 4}});
        return info;
    }
    const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
    const AnsiString& Key() const { return key_; }
    void SetKey(const AnsiString& k) { key_ = k; }
    int Flags() const { return flags_; }
    void SetFlags(int f) { flags_ = f; }

private:
    AnsiString key_;
    int flags_ = 0;
};

class TTestColumn : public TCollectionItem {
public:
    using TCollectionItem::TCollectionItem;
    static const TClassInfo& StaticClassInfo() {
        static const TClassInfo info = TClassInfo("TTestColumn", &TCollectionItem::StaticClassInfo())
                                           .Property("Title", &TTestColumn::Title, &TTestColumn::SetTitle)
                                           .Property("Width", &TTestColumn::Width, &TTestColumn::SetWidth)
                                           .ObjectProperty("Sorting", &TTestColumn::Sorting);
        return info;
    }
    const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
    const AnsiString& Title() const { return title_; }
    void SetTitle(const AnsiString& t) { title_ = t; }
    int Width() const { return width_; }
    void SetWidth(int w) { width_ = w; }
    TTestSorting& Sorting() { return sorting_; }

private:
    AnsiString title_;
    int width_ = 0;
    TTestSorting sorting_;
};

// Collections notice each batch of changes once, at its end.
class TTestColumns : public TCollection {
public:
    TTestColumns() : TCollection(ItemsOf<TTestColumn>()) {}
    TTestColumn& Column(int i) const { return static_cast<TTestColumn&>(Item(i)); }
    int Updates = 0;
    std::function<void()> OnUpdate;

protected:
    void Update(TCollectionItem*) override {
        ++Updates;
        if (OnUpdate) OnUpdate();
    }
};

// A grid with a published collection, a held object, a list of lines, and two streamed
// values: "Layout" (the columns, or a binary block of titles in their older form) and
// the binary "Marks".
class TTestGrid : public TComponent {
public:
    using TComponent::TComponent;
    static const TClassInfo& StaticClassInfo() {
        static const TClassInfo info = TClassInfo::Of<TTestGrid>("TTestGrid", &TComponent::StaticClassInfo())
                                           .Property("Lines", &TTestGrid::Lines, &TTestGrid::SetLines)
                                           .ObjectProperty("Sorting", &TTestGrid::Sorting)
                                           .ObjectProperty("Columns", &TTestGrid::Columns);
        return info;
    }
    const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
    void DeclareStreamedValues(TStreamedValues& values) override {
        TComponent::DeclareStreamedValues(values);
        values.DefineCollection("Layout", layout_, [this](const std::string& bytes) {
            // Older form: one title per byte-counted entry.
            layout_.Clear();
            for (size_t i = 0; i < bytes.size();) {
                const size_t n = static_cast<unsigned char>(bytes[i]);
                if (i + 1 + n > bytes.size()) throw EReadError("Stream read error");
                static_cast<TTestColumn&>(layout_.Add()).SetTitle(bytes.substr(i + 1, n));
                i += 1 + n;
            }
        });
        values.DefineBinary("Marks", [this](const std::string& bytes) { marks_ = bytes; });
    }
    const AnsiString& Lines() const { return lines_; }
    void SetLines(const AnsiString& l) { lines_ = l; }
    TTestSorting& Sorting() { return sorting_; }
    TTestColumns& Columns() { return columns_; }
    TTestColumns& Layout() { return layout_; }
    const std::string& Marks() const { return marks_; }

private:
    AnsiString lines_;
    TTestSorting sorting_;
    TTestColumns columns_;
    TTestColumns layout_;
    std::string marks_;
};

class FormReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        gEvents.clear();
        RegisterComponentClass(TTestTable::StaticClassInfo());
        RegisterComponentClass(TTestField::StaticClassInfo());
        RegisterComponentClass(TTestGrid::StaticClassInfo());
        root_ = NewUnownedComponent<TTestRoot>();
    }
    void TearDown() override {
        UnregisterComponentClass(TTestTable::StaticClassInfo());
        UnregisterComponentClass(TTestField::StaticClassInfo());
        UnregisterComponentClass(TTestGrid::StaticClassInfo());
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

TEST_F(FormReaderTest, ReadsHeldObjectsListsCollectionsAndStreamedValues) {
    const char form[] =
        "Form1: TTestRoot\n"
        "Grid: TTestGrid\n"
        "  Sorting.Key = 'NAME'\n"
        "  Sorting.Flags = [sfDescending, sfNullsFirst]\n"
        "  Lines = (\n"
        "    'select *'\n"
        "    'from t where a = ''x'''#9\n"
        "  )\n"
        "  Columns = <\n"
        "    item\n"
        "      Title = 'Id'\n"
        "      Width = 40\n"
        "      Sorting.Flags = []\n"
        "    end\n"
        "    # a comment between items\n"
        "    item\n"
        "      Title = 'Name'\n"
        "      Sorting.Key = 'N'\n"
        "    end>\n"
        "  Layout = <item\n"
        "      Title = 'one'\n"
        "    end>\n"
        "  Marks = {00 0a FF\n"
        "           7f}\n"
        "Grid2: TTestGrid\n"
        "  Columns = <\n"
        "    item\n"
        "      Title = 'dropped'\n"
        "    end>\n"
        "  Columns = <>\n"
        "  Layout = {03616263 017A}\n"
        "  Lines = ()\n"
        "  Marks = {}\n";
    ReadComponentText(*root_, form);

    auto& grid = Child<TTestGrid>("Grid");
    EXPECT_EQ(grid.Sorting().Key(), "NAME");
    EXPECT_EQ(grid.Sorting().Flags(), 5);
    EXPECT_EQ(grid.Sorting().GetPropertyValue("Flags").AsString(), "[sfDescending, sfNullsFirst]");
    EXPECT_EQ(grid.Lines(), "select *\r\nfrom t where a = 'x'\t");
    ASSERT_EQ(grid.Columns().Count(), 2);
    EXPECT_EQ(grid.Columns().Column(0).Title(), "Id");
    EXPECT_EQ(grid.Columns().Column(0).Width(), 40);
    EXPECT_EQ(grid.Columns().Column(0).Sorting().Flags(), 0);
    EXPECT_EQ(grid.Columns().Column(1).Title(), "Name");
    EXPECT_EQ(grid.Columns().Column(1).Sorting().Key(), "N");
    // One batch: the collection heard of its new items once.
    EXPECT_EQ(grid.Columns().Updates, 1);
    ASSERT_EQ(grid.Layout().Count(), 1);
    EXPECT_EQ(grid.Layout().Column(0).Title(), "one");
    EXPECT_EQ(grid.Marks(), std::string("\x00\x0a\xff\x7f", 4));

    auto& grid2 = Child<TTestGrid>("Grid2");
    EXPECT_EQ(grid2.Columns().Count(), 0);  // a collection holds exactly the items last written
    ASSERT_EQ(grid2.Layout().Count(), 2);   // the older, binary form of the same value
    EXPECT_EQ(grid2.Layout().Column(0).Title(), "abc");
    EXPECT_EQ(grid2.Layout().Column(1).Title(), "z");
    EXPECT_EQ(grid2.Lines(), "");
    EXPECT_EQ(grid2.Marks(), "");
}

TEST_F(FormReaderTest, BadObjectListCollectionAndBinaryValuesNameTheLine) {
    struct Case {
        const char* body;  // under "Form1: TTestRoot\nG: TTestGrid\n"
        const char* messagePart;
    };
    const Case cases[] = {
        {"  Sorting.Nope = 1\n", "Line 3: Error reading G.Sorting.Nope: Property Nope does not exist"},
        {"  Nope.Key = 1\n", "Line 3: Error reading G.Nope.Key: Property Nope does not exist"},
        {"  Lines.Key = 1\n", "Line 3: Error reading G.Lines.Key: Invalid property value"},
        {"  Sorting = 5\n", "Line 3: Error reading G.Sorting: Invalid property value"},
        {"  Sorting.Flags = [sfWrong]\n", "Line 3: Error reading G.Sorting.Flags: Invalid property value"},
        {"  Sorting.Flags = [sfCaseless,]\n", "Line 3: Error reading G.Sorting.Flags: Invalid property value"},
        {"  Lines = ('a'\n  'b'\n", "Line 5: ')' expected"},
        {"  Lines = ('a' 5)\n", "Line 3: text expected"},
        {"  Lines = ('a') 'b'\n", "Line 3: unexpected text after the value"},
        {"  Marks = {0G}\n", "Line 3: hexadecimal digit expected"},
        {"  Marks = {01\n 2}\n", "Line 4: odd number of hexadecimal digits"},
        {"  Lines = {01}\n", "Line 3: Error reading G.Lines: Invalid property value"},
        {"  Nope = {01}\n", "Line 3: Error reading G.Nope: Property Nope does not exist"},
        {"  Marks = <>\n", "Line 3: Error reading G.Marks: Invalid property value"},
        {"  Layout = {05 61}\n", "Line 3: Error reading G.Layout: Stream read error"},
        {"  Columns = < item Title = 'x'\n", "Line 3: unexpected text after 'item'"},
        {"  Columns = <\n    thing\n", "Line 4: 'item' expected"},
        {"  Columns = <\n    item\n      Title = 'x'\n", "Line 6: 'end' expected"},
        {"  Columns = <\n    item\n      Nope = 1\n    end>\n",
         "Line 5: Error reading G.Columns[0].Nope: Property Nope does not exist"},
        {"  Columns = <\n    item\n    end\n", "Line 6: '>' expected"},
    };
    for (const Case& c : cases) {
        auto root = NewUnownedComponent<TTestRoot>();
        const std::string text = std::string("Form1: TTestRoot\nG: TTestGrid\n") + c.body;
        try {
            ReadComponentText(*root, text);
            ADD_FAILURE() << "no error for: " << c.body;
        } catch (const EFormReadError& e) {
            EXPECT_NE(e.Message().find(c.messagePart), AnsiString::npos) << c.body << " -> " << e.Message();
        }
        EXPECT_FALSE(root->InState(csLoading));
    }
}

TEST_F(FormReaderTest, AFailedCollectionStillEndsItsBatch) {
    try {
        ReadComponentText(*root_,
                          "Form1: TTestRoot\nG2: TTestGrid\n  Columns = <\n    item\n      Width = 'wide'\n    end>\n");
        ADD_FAILURE() << "no error";
    } catch (const EFormReadError& e) {
        EXPECT_NE(e.Message().find("Line 5: Error reading G2.Columns[0].Width"), AnsiString::npos) << e.Message();
    }
    auto& columns = Child<TTestGrid>("G2").Columns();
    EXPECT_EQ(columns.UpdateCount(), 0);
    EXPECT_EQ(columns.Updates, 1);
}
