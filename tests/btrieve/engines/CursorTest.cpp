// The Btrieve cursor: moves by key and without keys, field values, key reads and
// searches, writes, bookmarks that outlive their record, index descriptions and names,
// sequence numbers and ranges, against our record manager stand-in.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "btrieve/engines/BtrieveEngineError.h"
#include "platform/DateTime.h"
#include "tests/btrieve/engines/EngineTestSupport.h"

using namespace btrieve;
using namespace btrtest;

namespace {

using CursorTest = EngineFixture;

int32_t DayOf(int y, int m, int d) { return platform::DateTimeToTimeStamp(platform::EncodeDate(y, m, d)).Date; }

// The key of key 0 (ID, DATE) for a search by key value.
std::vector<uint8_t> Key0(int32_t id, int day = 0, int month = 0, int year = 0) {
    std::vector<uint8_t> key(8, 0);
    std::memcpy(key.data(), &id, 4);
    key[4] = static_cast<uint8_t>(day);
    key[5] = static_cast<uint8_t>(month);
    const uint16_t y = static_cast<uint16_t>(year);
    std::memcpy(key.data() + 6, &y, 2);
    return key;
}

TEST_F(CursorTest, MovesAndFieldValues) {
    TBaseTable* people = Open("People");
    auto record = Record(people);
    people->SetToBegin();
    people->GetNextRecord(0, record.data(), nullptr);
    EXPECT_EQ(Field<int32_t>(people, 1, record), 1);
    EXPECT_EQ(Field<int32_t>(people, 2, record), DayOf(2001, 1, 1));
    EXPECT_EQ(Text(people, 3, record), "Anna");
    EXPECT_EQ(Field<double>(people, 4, record), 10.5);
    people->SetToEnd();
    people->GetPriorRecord(0, record.data(), nullptr);
    EXPECT_EQ(Field<int32_t>(people, 1, record), 4);
    people->GetPriorRecord(0, record.data(), nullptr);
    EXPECT_EQ(Field<int32_t>(people, 1, record), 3);
    EXPECT_THROW(people->GetRelativeRecord(5, 0, nullptr, record.data()), EQuillonEOFError);

    // By name: case-insensitive, duplicates in the order they came.
    people->SwitchToIndex("ByName", nullptr, 0, false);
    EXPECT_EQ(Ids(people), (std::vector<int32_t>{1, 2, 4, 3}));
    people->SwitchToIndex("0", nullptr, 0, false);
    EXPECT_EQ(Ids(people), (std::vector<int32_t>{1, 2, 3, 4}));

    // A file without keys moves through the Step operations.
    TBaseTable* plain = Open("Plain");
    auto row = Record(plain);
    std::vector<int16_t> codes;
    plain->SetToEnd();
    try {
        for (;;) {
            plain->GetPriorRecord(0, row.data(), nullptr);
            codes.push_back(Field<int16_t>(plain, 1, row));
        }
    } catch (const EQuillonBoundryError&) {
    }
    EXPECT_EQ(codes, (std::vector<int16_t>{3, 2, 1}));
}

TEST_F(CursorTest, ReadByKeyWithFewerFields) {
    TBaseTable* people = Open("People");
    auto record = Record(people);
    // One field of the two-field key: the date part is filled with the smallest value.
    const auto key = Key0(3);
    people->GetRecordForKey(true, 1, 0, key.data(), record.data());
    EXPECT_EQ(Text(people, 3, record), "Clara");
    const auto missing = Key0(9);
    try {
        people->GetRecordForKey(true, 1, 0, Key0(0).data(), record.data());
        FAIL() << "found a record for a key nobody has";
    } catch (const EBtrieveEngineError& e) {
        EXPECT_EQ(e.Status(), StatusKeyNotFound);
    }
    EXPECT_THROW(people->GetRecordForKey(true, 1, 0, missing.data(), record.data()), EQuillonEOFError);
    // The whole key reads with Get Equal.
    const auto whole = Key0(2, 2, 1, 2001);
    people->GetRecordForKey(true, 0, 0, whole.data(), record.data());
    EXPECT_EQ(Text(people, 3, record), "Boris");
    // From a record buffer: the key comes out of the record's fields.
    auto source = Record(people);
    people->InitRecord(source.data());
    const int32_t four = 4;
    people->PutField(1, source.data(), &four);
    people->GetRecordForKey(false, 1, 0, source.data(), record.data());
    EXPECT_EQ(Text(people, 3, record), "boris");
}

TEST_F(CursorTest, KeySearchesFillTheMissingParts) {
    TBaseTable* people = Open("People");
    auto record = Record(people);
    people->SetToKey(2, true, Key0(2).data(), 0, 1);  // at or after ID 2
    people->GetRecord(0, record.data(), nullptr);
    EXPECT_EQ(Field<int32_t>(people, 1, record), 2);
    // Before ID 3 on an ascending key: ID 2 with the largest date still comes before.
    people->KeySearch(searchcond::Less, true, record.data(), Key0(3).data(), 0, 1);
    EXPECT_EQ(Field<int32_t>(people, 1, record), 2);
    people->KeySearch(searchcond::Greater, true, record.data(), Key0(2).data(), 0, 1);
    EXPECT_EQ(Field<int32_t>(people, 1, record), 3);
    // A partial name on the name key.
    people->SwitchToIndex("1", nullptr, 0, false);
    people->KeySearch(searchcond::GreaterOrEqual, true, record.data(), "Bo", 2, 0);
    EXPECT_EQ(Field<int32_t>(people, 1, record), 2);
}

// Keys whose second part is a signed number stored as digits, money or a binary float.
class SignedKeyPartTest : public EngineFixture {
protected:
    std::string Tables() const override {
        return "table Amounts AMOUNTS.DAT\n"
               "field CODE integer 4\n"
               "field DEC decimal 4 dec=2\n"
               "field NUM numeric 6 dec=2\n"
               "field STS numericsts 6 dec=2\n"
               "field CUR currency 8\n"
               "field BFL bfloat 8\n"
               "key CODE+DEC\nkey CODE+NUM\nkey CODE+STS\nkey CODE+CUR\nkey CODE+BFL\n"
               "row 1 -5 -5 -5 -5 -5\n"
               "row 2 -3 -3 -3 -3 -3\n"
               "row 2 4 4 4 4 4\n"
               "row 3 1 1 1 1 1\n";
    }
};

TEST_F(SignedKeyPartTest, MissingPartsTakeTheSmallestAndLargestValues) {
    // A read by the first part alone lands on its smallest second part, a negative one;
    // "at or before" lands on its largest.
    TBaseTable* amounts = Open("Amounts");
    auto record = Record(amounts);
    const int32_t code = 2;
    const struct {
        const char* key;
        uint16_t field;
    } cases[] = {{"0", 2}, {"1", 3}, {"2", 4}, {"3", 5}, {"4", 6}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        amounts->SwitchToIndex(c.key, nullptr, 0, false);
        amounts->GetRecordForKey(true, 1, 0, &code, record.data());
        EXPECT_EQ(Field<double>(amounts, c.field, record), -3.0);
        amounts->KeySearch(searchcond::LessOrEqual, true, record.data(), &code, 0, 1);
        EXPECT_EQ(Field<double>(amounts, c.field, record), 4.0);
    }
}

TEST_F(CursorTest, WritesThroughTheCursor) {
    TBaseTable* people = Open("People");
    auto record = Record(people);
    people->InitRecord(record.data());
    const int32_t id = 5;
    const int32_t day = DayOf(2002, 3, 4);
    const double amount = -7.25;
    people->PutField(1, record.data(), &id);
    people->PutField(2, record.data(), &day);
    people->PutField(4, record.data(), &amount);
    people->InsertRecord(0, record.data());
    // The blank name was written as blanks, not left as zeros.
    EXPECT_EQ(std::string(reinterpret_cast<char*>(record.data()) + 8, 20), std::string(20, ' '));
    people->SetToEnd();
    people->GetPriorRecord(0, record.data(), nullptr);
    EXPECT_EQ(Field<int32_t>(people, 2, record), day);
    EXPECT_EQ(Field<double>(people, 4, record), amount);

    people->PutField(3, record.data(), "Eve");
    people->ModifyRecord(record.data(), true);
    people->SetToEnd();
    people->GetPriorRecord(0, record.data(), nullptr);
    EXPECT_EQ(Text(people, 3, record), "Eve");
    people->DeleteRecord(record.data());
    EXPECT_EQ(Ids(people), (std::vector<int32_t>{1, 2, 3, 4}));
    uint32_t count = 0;
    people->GetRecordCount(count);
    EXPECT_EQ(count, 4u);
}

TEST_F(CursorTest, BookmarksOfDeletedRecordsFallBackByKey) {
    TBaseTable* people = Open("People");
    TBaseTable* other = Open("People");
    auto record = Record(people);
    std::vector<uint8_t> bookmark(people->GetBookmarkSize(), 0), second(people->GetBookmarkSize(), 0);
    people->SetToBegin();
    people->GetNextRecord(0, record.data(), nullptr);
    people->GetNextRecord(0, record.data(), nullptr);  // ID 2
    people->GetBookMark(bookmark.data());
    people->GetNextRecord(0, record.data(), nullptr);
    people->GetBookMark(second.data());
    int32_t order = 0;
    people->CompareBookMarks(bookmark.data(), second.data(), order);
    EXPECT_EQ(order, -1);
    people->CompareBookMarks(bookmark.data(), bookmark.data(), order);
    EXPECT_EQ(order, 0);

    // Another cursor deletes ID 2: the bookmark lands on the next key.
    auto otherRecord = Record(other);
    other->GetRecordForKey(true, 1, 0, Key0(2).data(), otherRecord.data());
    other->DeleteRecord(otherRecord.data());
    people->SetToBookMark(bookmark.data());
    people->GetRecord(0, record.data(), nullptr);
    EXPECT_EQ(Field<int32_t>(people, 1, record), 3);
    // With every later record gone too, it lands before.
    for (int32_t id : {3, 4}) {
        other->GetRecordForKey(true, 1, 0, Key0(id).data(), otherRecord.data());
        other->DeleteRecord(otherRecord.data());
    }
    people->SetToBookMark(bookmark.data());
    people->GetRecord(0, record.data(), nullptr);
    EXPECT_EQ(Field<int32_t>(people, 1, record), 1);
}

TEST_F(CursorTest, IndexDescriptionsAndNames) {
    TBaseTable* people = Open("People");
    TEngineIndexDesc key0{}, key1{};
    people->GetIndexDesc(0, key0);
    EXPECT_STREQ(key0.name, " 0 - ID+DATE");
    EXPECT_EQ(key0.fieldsInKey, 2);
    EXPECT_EQ(key0.keyFields[0], 1);
    EXPECT_EQ(key0.keyFields[1], 2);
    EXPECT_EQ(key0.keyLength, 8);
    EXPECT_TRUE(key0.unique);
    EXPECT_TRUE(key0.primary);
    people->GetIndexDesc(1, key1);
    EXPECT_STREQ(key1.name, "ByName");
    EXPECT_FALSE(key1.unique);
    EXPECT_TRUE(key1.caseInsensitive);
    EXPECT_EQ(key1.indexId, 1);

    uint16_t number = 99;
    people->IndexForFields(" 0 - ID+DATE", number, nullptr);
    EXPECT_EQ(number, 0);
    people->IndexForFields("ByName", number, nullptr);
    EXPECT_EQ(number, 1);
    people->IndexForFields("@NAME", number, nullptr);
    EXPECT_EQ(number, 1);
    try {
        people->IndexForFields("NoDigits", number, nullptr);
        FAIL();
    } catch (const EQuillonEngineError& e) {
        EXPECT_EQ(e.Code(), rc::InvalidIndexName);
    }
    try {
        people->SwitchToIndex("5", nullptr, 0, false);
        FAIL();
    } catch (const EBtrieveEngineError& e) {
        EXPECT_EQ(e.Status(), StatusInvalidKeyNumber);
        EXPECT_EQ(e.KeyText(), "5");
    }
    TCursorProps props{};
    people->GetCursorProps(props);
    EXPECT_EQ(props.fieldCount, 4);
    EXPECT_EQ(props.recordSize, 36);
    EXPECT_EQ(props.indexCount, 2);
    EXPECT_EQ(props.bookmarkSize, 260);
    EXPECT_EQ(props.blockSize, 4096);
}

TEST_F(CursorTest, AddedIndexesAreSelectedByTheirNames) {
    // An index without a number of its own becomes the next key; its name must name that
    // key and leave the names of the others where they were.
    TBaseTable* people = Open("People");
    TEngineIndexDesc byAmount{};
    std::strcpy(byAmount.name, "ByAmount");
    byAmount.fieldsInKey = 1;
    byAmount.keyFields[0] = 4;
    people->AddIndex(byAmount);
    uint16_t number = 99;
    people->IndexForFields("ByAmount", number, nullptr);
    EXPECT_EQ(number, 2);
    people->IndexForFields("ByName", number, nullptr);
    EXPECT_EQ(number, 1);
    people->SwitchToIndex("ByAmount", nullptr, 0, false);
    EXPECT_EQ(Ids(people), (std::vector<int32_t>{2, 4, 3, 1}));
    TEngineIndexDesc described{};
    people->GetIndexDesc(0, described);
    EXPECT_STREQ(described.name, "ByAmount");

    people->DeleteIndex("ByAmount", nullptr, 0);
    people->IndexForFields("ByName", number, nullptr);
    EXPECT_EQ(number, 1);
    EXPECT_THROW(people->IndexForFields("ByAmount", number, nullptr), EQuillonEngineError);
}

TEST_F(CursorTest, SequenceNumbersRoundTrip) {
    TBaseTable* people = Open("People");
    auto record = Record(people);
    for (uint32_t n = 1; n <= 4; ++n) {
        people->SetToSeqNo(n);
        uint32_t back = 0;
        people->GetSeqNo(back);
        EXPECT_EQ(back, n);
        people->GetRecord(0, record.data(), nullptr);
        EXPECT_EQ(Field<int32_t>(people, 1, record), static_cast<int32_t>(n));
    }
    people->SetToSeqNo(40);
    uint32_t last = 0;
    people->GetSeqNo(last);
    EXPECT_EQ(last, 4u);
}

TEST_F(CursorTest, RangesAndTableLocks) {
    TBaseTable* people = Open("People");
    const auto low = Key0(2), high = Key0(3);
    people->SetRange(true, 1, 0, low.data(), true, 1, 0, high.data(), true);
    EXPECT_EQ(Ids(people), (std::vector<int32_t>{2, 3}));
    uint32_t count = 0;
    people->GetRecordCount(count);
    EXPECT_EQ(count, 2u);
    BtrieveSettings().trueRecordCount = false;
    people->GetRecordCount(count);
    EXPECT_EQ(count, 4u);
    people->ResetRange();

    people->AcqTableLock(1);
    try {
        people->AcqTableLock(1);
        FAIL();
    } catch (const EBtrieveEngineError& e) {
        EXPECT_EQ(e.Status(), StatusFileLocked);
    }
    people->RelTableLock(1);
    EXPECT_NO_THROW(people->AcqTableLock(1));
    people->RelTableLock(1);
}

TEST_F(CursorTest, LockedReadsAndClones) {
    auto* people = static_cast<TBtrTable*>(Open("People"));
    auto record = Record(people);
    people->SetToBegin();
    people->GetNextRecord(1, record.data(), nullptr);
    EXPECT_NE(people->File().LockPosition(), 0u);
    people->ModifyRecord(record.data(), true);
    EXPECT_EQ(people->File().LockPosition(), 0u);

    TBaseTable* clone = nullptr;
    people->CloneCursor(false, false, clone);
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(std::string(clone->GetFileName()), std::string(people->GetFileName()));
    EXPECT_EQ(Ids(clone), (std::vector<int32_t>{1, 2, 3, 4}));
}

}  // namespace
