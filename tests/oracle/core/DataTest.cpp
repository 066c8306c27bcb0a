#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include "Fixtures.h"
#include "oracle/core/Assertion.h"
#include "oracle/core/Blob.h"
#include "oracle/core/ObjectType.h"
#include "platform/Variant.h"

namespace oracle {
namespace {

using platform::Variant;
using test::FieldSpec;
using test::TestStore;
using test::AddAttribute;
using test::MakeType;

class RecordStore : public ::testing::Test {
protected:
    RecordStore()
        : store({{"NAME", dtString, 10},
                 {"N", dtInteger},
                 {"F", dtFloat, 10, 2},
                 {"DT", dtDateTime},
                 {"B", dtBoolean},
                 {"CODE", dtString, 5},
                 {"S", dtSmallint},
                 {"BIG", dtLargeint},
                 {"MEMO", dtMemo}}) {
        store.Open();
        record = store.NewRecord();
        store.CreateComplexFields(record.data(), true);
    }
    ~RecordStore() override { store.FreeComplexFields(record.data(), true); }

    Variant Get(int fieldNo) {
        Variant value;
        store.GetFieldAsVariant(fieldNo, record.data(), value);
        return value;
    }

    TestStore store;
    TRecordBuffer record;
};

TEST_F(RecordStore, LaysFieldsOutInOrderWithOneNullByteEach) {
    const int offsets[] = {0, 11, 15, 23, 31, 33, 39, 41, 49};
    for (int i = 0; i < store.FieldCount(); ++i) EXPECT_EQ(store.Fields().Items(i)->Offset, offsets[i]) << i;
    EXPECT_EQ(store.DataSize(), 49 + ReferenceSlotSize);
    EXPECT_EQ(store.RecordSize(), store.DataSize() + 9);
    for (int n = 1; n <= store.FieldCount(); ++n) {
        EXPECT_TRUE(store.GetNull(n, record.data()));
        EXPECT_EQ(record[static_cast<size_t>(store.DataSize() + n - 1)], 1);
    }
}

TEST_F(RecordStore, StringPutsStayInsideTheFieldAndKeepTheirTerminator) {
    const char longText[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    const int32_t n = 77;
    store.PutField(2, record.data(), &n);
    store.PutField(1, record.data(), longText);
    EXPECT_EQ(Get(1).AsString(), "ABCDEFGHIJ");
    EXPECT_EQ(Get(2).AsInteger(), 77);

    // A short source is read only up to its terminator.
    const char shortText[2] = {'Q', '\0'};
    store.PutField(1, record.data(), shortText);
    EXPECT_EQ(Get(1).AsString(), "Q");
}

TEST_F(RecordStore, EmptyStringsAreNullUnlessKept) {
    store.PutField(1, record.data(), "");
    EXPECT_TRUE(store.GetNull(1, record.data()));
    store.KeepEmptyStrings = true;
    store.PutField(1, record.data(), "");
    EXPECT_FALSE(store.GetNull(1, record.data()));
    EXPECT_EQ(Get(1).AsString(), "");
}

TEST_F(RecordStore, FixedFieldsLoseTheirPaddingWhenTrimming) {
    store.Fields().Items(5)->Fixed = true;
    for (const char* stored : {"AB   ", "AB  "}) {
        store.PutField(6, record.data(), stored);
        store.TrimFixedChar = false;
        EXPECT_EQ(Get(6).AsString(), stored);
        store.TrimFixedChar = true;
        EXPECT_EQ(Get(6).AsString(), "AB") << '"' << stored << '"';
    }
}

TEST_F(RecordStore, FloatsAreRoundedToTheFieldScale) {
    const double value = 2.3456;
    store.PutField(3, record.data(), &value);
    EXPECT_DOUBLE_EQ(Get(3).AsDouble(), 2.35);
    store.Fields().Items(2)->Scale = 0;
    store.PutField(3, record.data(), &value);
    EXPECT_DOUBLE_EQ(Get(3).AsDouble(), 2.3456);
}

// The stored value is the decimal rounding of the value to the scale, as its fixed-point
// text read back; a value with no more decimals than the scale keeps its bits.
TEST_F(RecordStore, FloatsStoreTheirDecimalRoundingForEveryScale) {
    const double values[] = {0.0,  -0.0,   1.0,      -7.0,        4012345678901234.0, 1e300, 0.5,
                             0.1,  2.3456, -2.3455,  1.0 / 3.0,   123456.789,         1e-20, 5e-324,
                             0.125, 0.375, 9.995,    -0.0000001, 2.5e-7,             1.7976931348623157e308};
    const int scales[] = {1, 2, 3, 7, 17, 20, 127};
    for (const int scale : scales) {
        store.Fields().Items(2)->Scale = static_cast<uint16_t>(scale);
        for (const double value : values) {
            char text[400];
            std::snprintf(text, sizeof text, "%.*f", scale, value);
            const double expected = std::strtod(text, nullptr);
            store.PutField(3, record.data(), &value);
            const double stored = Get(3).AsDouble();
            EXPECT_EQ(std::memcmp(&stored, &expected, sizeof stored), 0)
                << value << " at scale " << scale << ": " << stored << ", expected " << expected;
        }
    }
}

TEST_F(RecordStore, DatesTravelAsTimeStampMilliseconds) {
    EXPECT_DOUBLE_EQ(DateTimeToMSecs(0.0), 59926521600000.0);
    EXPECT_DOUBLE_EQ(DateTimeToMSecs(36526.0), 63082368000000.0);
    EXPECT_DOUBLE_EQ(MSecsToDateTime(63082368000000.0 + 43200000.0), 36526.5);

    const double msecs = 63082368000000.0 + 6 * 3600000.0;  // 1 January 2000, 06:00
    store.PutField(4, record.data(), &msecs);
    double stored;
    std::memcpy(&stored, record.data() + 23, sizeof(stored));
    EXPECT_DOUBLE_EQ(stored, 36526.25);
    EXPECT_DOUBLE_EQ(Get(4).AsDateTime(), 36526.25);
    double back = 0;
    bool isNull = true;
    store.GetField(4, record.data(), &back, isNull);
    EXPECT_FALSE(isNull);
    EXPECT_DOUBLE_EQ(back, msecs);
}

TEST_F(RecordStore, BooleansAreStoredAsMinusOne) {
    store.PutFieldAsVariant(5, record.data(), Variant(true));
    int16_t stored;
    std::memcpy(&stored, record.data() + 31, sizeof(stored));
    EXPECT_EQ(stored, -1);
    EXPECT_TRUE(Get(5).AsBoolean());
    const int16_t other = 5;
    store.PutField(5, record.data(), &other);
    EXPECT_TRUE(Get(5).AsBoolean());
}

TEST_F(RecordStore, VariantPutsConvertOrRefuse) {
    struct Case {
        int fieldNo;
        Variant value;
        const char* expected;  // text of the stored value, or nullptr for "Cannot convert type"
    } cases[] = {
        {1, Variant("a much longer text than ten"), "a much lon"},
        {2, Variant(int16_t{12}), "12"},
        {2, Variant(2.6), "3"},
        {2, Variant("42"), "42"},
        {2, Variant(true), nullptr},
        {2, Variant(int64_t{1} << 40), nullptr},
        {2, Variant(1e12), nullptr},
        {3, Variant(int32_t{7}), "7"},
        {3, Variant(2.3456), "2.35"},
        {5, Variant(int32_t{1}), nullptr},
        {7, Variant(int32_t{-5}), "-5"},
        {7, Variant(int32_t{40000}), nullptr},
        {7, Variant(1.5), nullptr},
        {8, Variant(int64_t{1} << 40), "1099511627776"},
        {8, Variant(int32_t{1}), nullptr},
        {9, Variant("memo text"), "memo text"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fieldNo);
        if (!c.expected) {
            try {
                store.PutFieldAsVariant(c.fieldNo, record.data(), c.value);
                ADD_FAILURE() << "accepted";
            } catch (const platform::EConvertError& e) {
                EXPECT_STREQ(e.what(), "Cannot convert type");
            }
            continue;
        }
        store.PutFieldAsVariant(c.fieldNo, record.data(), c.value);
        if (c.fieldNo == 9)
            EXPECT_EQ(store.GetBlob(9, record.data())->AsString(), c.expected);
        else if (c.fieldNo == 3)  // the text of a float follows the user's decimal separator
            EXPECT_DOUBLE_EQ(Get(3).AsDouble(), std::strtod(c.expected, nullptr));
        else
            EXPECT_EQ(Get(c.fieldNo).AsString(), c.expected);
    }
    store.PutFieldAsVariant(2, record.data(), Variant::Null());
    EXPECT_TRUE(Get(2).IsNull());
}

TEST_F(RecordStore, FieldNumbersOutsideTheRecordAreAssertions) {
    Variant value;
    bool isNull;
    for (int fieldNo : {0, -1, store.FieldCount() + 1}) {
        EXPECT_THROW(store.GetField(fieldNo, record.data(), nullptr, isNull), EAssertionFailed);
        EXPECT_THROW(store.GetNull(fieldNo, record.data()), EAssertionFailed);
        EXPECT_THROW(store.SetNull(fieldNo, record.data(), true), EAssertionFailed);
        EXPECT_THROW(store.PutField(fieldNo, record.data(), "x"), EAssertionFailed);
        EXPECT_THROW(store.GetFieldAsVariant(fieldNo, record.data(), value), EAssertionFailed);
        EXPECT_THROW(store.PutFieldAsVariant(fieldNo, record.data(), Variant(1)), EAssertionFailed);
    }
    try {
        store.GetNull(99, record.data());
    } catch (const EAssertionFailed& e) {
        EXPECT_EQ(e.Unit(), "MemData");
    }
}

TEST_F(RecordStore, BlobFieldsGoThroughTheirBlob) {
    EXPECT_THROW(store.GetBlob(2, record.data()), platform::Exception);
    store.PutFieldAsVariant(9, record.data(), Variant("abc"));
    store.WriteBlob(9, record.data(), 0, 5, "hello");
    EXPECT_FALSE(store.GetNull(9, record.data()));
    EXPECT_EQ(store.GetBlobSize(9, record.data()), 5u);
    store.WriteBlob(9, record.data(), 5, 6, " world");
    char buffer[16] = {};
    EXPECT_EQ(store.ReadBlob(9, record.data(), 0, 0, buffer), 11u);
    EXPECT_STREQ(buffer, "hello world");
    store.TruncateBlob(9, record.data(), 0);
    EXPECT_TRUE(store.GetNull(9, record.data()));
    // Cancelling the edit brings the value from before the first change back.
    store.CancelRecord(record.data());
    EXPECT_EQ(store.GetBlob(9, record.data())->AsString(), "abc");
}

TEST(RecordStoreObjects, ArrayTypesGiveAtMostAHundredElementDescriptors) {
    TestStore store({{"PHONES", dtArray}});
    auto* element = MakeType("NUM_LIST", dtArray, 250);
    AddAttribute(element, "ELEMENT", dtString, 20);
    auto* address = MakeType("ADDR_T", dtObject);
    AddAttribute(address, "CITY", dtString, 10);

    TFieldDesc* phones = store.Fields().Items(0);
    phones->SetObjectType(element);
    store.InitObjectFields(element, phones);
    ASSERT_EQ(store.FieldCount(), 1 + MaxArrayItems);
    EXPECT_EQ(store.Fields().Items(1)->Name, "[0]");
    EXPECT_EQ(store.Fields().Items(1)->ActualName, "PHONES[0]");
    EXPECT_EQ(store.Fields().Items(100)->ActualName, "PHONES[99]");
    EXPECT_EQ(store.Fields().Items(100)->FieldNo, 101);
    EXPECT_EQ(store.Fields().Items(100)->ParentField, phones);

    TFieldDesc* addr = test::AddField(store, {"ADDR", dtObject});
    store.InitObjectFields(address, addr);
    EXPECT_EQ(store.FindField("addr.city")->Size, 0);
    element->Release();
    address->Release();
}

// An object value keeping its attributes by path, as text.
class MapObject : public TDBObject {
public:
    std::map<std::string, std::string> values;
    void GetAttributeValue(const std::string& path, void* dest, bool& isNull) override {
        auto it = values.find(path);
        isNull = it == values.end();
        if (dest && !isNull) std::strcpy(static_cast<char*>(dest), it->second.c_str());
    }
    void SetAttributeValue(const std::string& path, const void* value) override {
        if (value)
            values[path] = static_cast<const char*>(value);
        else
            values.erase(path);
    }
};

TEST(RecordStoreObjects, AttributeFieldsLiveInTheirObject) {
    TestStore store({{"PERSON", dtObject}});
    auto* phones = MakeType("PHONES_T", dtArray, 2);
    AddAttribute(phones, "ELEMENT", dtString, 10);
    auto* person = MakeType("PERSON_T", dtObject);
    AddAttribute(person, "CITY", dtString, 10);
    AddAttribute(person, "PHONES", dtArray, 0, phones);
    store.InitObjectFields(person, store.Fields().Items(0));
    store.Open();

    TRecordBuffer record = store.NewRecord();
    const int cityNo = store.FindField("PERSON.CITY")->FieldNo;
    const int phoneNo = store.FindField("PERSON.PHONES[1]")->FieldNo;
    EXPECT_TRUE(store.GetNull(cityNo, record.data()));  // no object yet
    EXPECT_THROW(store.PutField(cityNo, record.data(), "Omsk"), EAssertionFailed);

    auto* value = NewShared<MapObject>();
    std::memcpy(record.data(), &value, sizeof(value));
    store.SetNull(1, record.data(), false);
    store.PutField(cityNo, record.data(), "Omsk");
    store.PutField(phoneNo, record.data(), "123");
    EXPECT_EQ(value->values["CITY"], "Omsk");
    EXPECT_EQ(value->values["PHONES[1]"], "123");
    Variant read;
    store.GetFieldAsVariant(phoneNo, record.data(), read);
    EXPECT_EQ(read.AsString(), "123");
    store.PutField(cityNo, record.data(), nullptr);
    EXPECT_TRUE(store.GetNull(cityNo, record.data()));
    value->Release();
    person->Release();
    phones->Release();
}

// Attributes have no room in the record (Size 0): a text put through a variant is
// limited by the attribute's declared length instead.
TEST(RecordStoreObjects, VariantTextsReachAttributesUpToTheirLength) {
    TestStore store({{"PERSON", dtObject}});
    auto* person = MakeType("PERSON_T", dtObject);
    AddAttribute(person, "CITY", dtString, 6);
    store.InitObjectFields(person, store.Fields().Items(0));
    store.Open();
    TRecordBuffer record = store.NewRecord();
    auto* value = NewShared<MapObject>();
    std::memcpy(record.data(), &value, sizeof(value));
    store.SetNull(1, record.data(), false);
    const int cityNo = store.FindField("PERSON.CITY")->FieldNo;

    const struct {
        const char* put;
        const char* stored;
    } cases[] = {{"Omsk", "Omsk"}, {"Tomsk", "Tomsk"}, {"Novosibirsk", "Novosi"}};
    for (const auto& c : cases) {
        store.PutFieldAsVariant(cityNo, record.data(), Variant(std::string(c.put)));
        EXPECT_EQ(value->values["CITY"], c.stored) << c.put;
        Variant read;
        store.GetFieldAsVariant(cityNo, record.data(), read);
        EXPECT_EQ(read.AsString(), c.stored) << c.put;
    }
    value->Release();
    person->Release();
}

// Records the life-cycle calls a store receives; fails where asked.
class LifeCycleStore : public TestStore {
public:
    LifeCycleStore() : TestStore({{"N", dtInteger}}) {}
    ~LifeCycleStore() override { Close(); }
    std::string log;
    bool failOpen = false;
    bool failClose = false;
    bool failUnprepare = false;

protected:
    void InternalPrepare() override { log += "prepare;"; }
    void InternalUnprepare() override {
        log += "unprepare;";
        if (failUnprepare) throw platform::Exception("unprepare failed");
    }
    void InternalOpen() override {
        log += "open;";
        if (failOpen) throw platform::Exception("open failed");
    }
    void InternalClose() override {
        log += "close;";
        if (failClose) throw platform::Exception("close failed");
    }
};

TEST(RecordStoreLifeCycle, CloseUndoesOnlyWhatOpenDid) {
    LifeCycleStore store;
    store.Open();
    store.Close();
    EXPECT_EQ(store.log, "prepare;open;close;unprepare;");
    EXPECT_FALSE(store.Prepared());

    store.log.clear();
    store.Prepare();
    store.Open();
    store.Close();
    EXPECT_EQ(store.log, "prepare;open;close;");
    EXPECT_TRUE(store.Prepared());
    store.Unprepare();

    store.log.clear();
    store.KeepPrepared = true;
    store.Open();
    store.Close();
    EXPECT_TRUE(store.Prepared());
}

// A close that fails (a lost connection) still leaves the store closed and unprepared,
// and reports the first failure.
TEST(RecordStoreLifeCycle, AFailedCloseStillClosesAndUnprepares) {
    const struct {
        bool failClose, failUnprepare;
        const char* error;
    } cases[] = {{true, false, "close failed"}, {false, true, "unprepare failed"}, {true, true, "close failed"}};
    for (const auto& c : cases) {
        LifeCycleStore store;
        store.Open();
        store.failClose = c.failClose;
        store.failUnprepare = c.failUnprepare;
        try {
            store.Close();
            ADD_FAILURE() << "no error";
        } catch (const platform::Exception& e) {
            EXPECT_STREQ(e.what(), c.error);
        }
        EXPECT_FALSE(store.Active()) << c.error;
        EXPECT_FALSE(store.Prepared()) << c.error;
        EXPECT_EQ(store.log, "prepare;open;close;unprepare;") << c.error;
        store.failClose = store.failUnprepare = false;
    }
}

TEST(RecordStoreLifeCycle, AFailedOpenLeavesTheStoreClosedAndUnprepared) {
    LifeCycleStore store;
    store.failOpen = true;
    EXPECT_THROW(store.Open(), platform::Exception);
    EXPECT_FALSE(store.Active());
    EXPECT_FALSE(store.Prepared());
    EXPECT_EQ(store.log, "prepare;open;unprepare;");

    store.failOpen = false;
    store.SetFilterText("N = ");
    EXPECT_THROW(store.Open(), platform::Exception);
    EXPECT_FALSE(store.Active());
    EXPECT_FALSE(store.Prepared());
}

}  // namespace
}  // namespace oracle
