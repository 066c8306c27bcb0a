#include <gtest/gtest.h>

#include "oracle/core/Assertion.h"
#include "oracle/core/ObjectType.h"

namespace oracle {
namespace {

// ADDR_T (STREET, CITY), PHONE_T (NUMBER), PHONES_T array of PHONE_T, and
// PERSON_T (ADDR, PHONES, NAME).
class ObjectTypes : public ::testing::Test {
protected:
    void SetUp() override {
        addr = Make("ADDR_T", dtObject);
        Attr(addr, "STREET", dtString);
        Attr(addr, "CITY", dtString);
        phone = Make("PHONE_T", dtObject);
        Attr(phone, "NUMBER", dtString);
        phones = Make("PHONES_T", dtArray);
        phones->Size = 5;
        Attr(phones, "ELEMENT", dtObject, phone);
        person = Make("PERSON_T", dtObject);
        Attr(person, "Addr", dtObject, addr);
        Attr(person, "PHONES", dtArray, phones);
        Attr(person, "NAME", dtString);
    }
    void TearDown() override {
        person->Release();
        phones->Release();
        phone->Release();
        addr->Release();
    }
    static TObjectType* Make(const char* name, TDataType code) {
        auto* type = NewShared<TObjectType>();
        type->Name = name;
        type->DataType = code;
        return type;
    }
    static TAttribute* Attr(TObjectType* owner, const char* name, TDataType code, TObjectType* type = nullptr) {
        TAttribute* attribute = owner->AddAttribute();
        attribute->Name = name;
        attribute->DataType = code;
        attribute->SetObjectType(type);
        return attribute;
    }

    TObjectType *addr, *phone, *phones, *person;
};

TEST_F(ObjectTypes, FindsAttributesAlongPaths) {
    struct Case {
        const char* path;
        const char* expected;  // attribute name, or nullptr
    } cases[] = {
        {"ADDR.CITY", "CITY"},      {"addr.city", "CITY"},           {"  ADDR.CITY", "CITY"},
        {"PHONES[2]", "ELEMENT"},   {"PHONES[2].NUMBER", "NUMBER"}, {"NAME", "NAME"},
        {"NAME.X", nullptr},        {"PHONES[2", nullptr},          {"UNKNOWN", nullptr},
        {"ADDR.ZIP", nullptr},
    };
    for (const Case& c : cases) {
        TAttribute* found = person->FindAttribute(c.path);
        if (c.expected)
            ASSERT_NE(found, nullptr) << c.path;
        else
            EXPECT_EQ(found, nullptr) << c.path;
        if (found && c.expected) EXPECT_EQ(found->Name, c.expected) << c.path;
    }
    try {
        person->AttributeByName("ZIP");
        FAIL();
    } catch (const platform::Exception& e) {
        EXPECT_STREQ(e.what(), "Attribute ZIP not found");
    }
}

TEST_F(ObjectTypes, ModuleListFindsTypesIgnoringBlanksAndCase) {
    ASSERT_NE(TObjectTypes::Instance(), nullptr);
    EXPECT_EQ(TObjectTypes::Instance()->FindType("  phone_t "), phone);
    EXPECT_EQ(TObjectTypes::Instance()->FindType("NONE_T"), nullptr);
}

TEST(ObjectTypeCounts, SelfReferenceDoesNotKeepATypeAlive) {
    auto* node = NewShared<TObjectType>();
    node->Name = "NODE_T";
    TAttribute* next = node->AddAttribute();
    next->Name = "NEXT";
    next->DataType = dtReference;
    next->SetObjectType(node);
    EXPECT_EQ(node->RefCount(), 1);
    // A later rename must not unbalance the count decided when the type was set.
    node->Name = "RENAMED_T";
    const int before = TObjectTypes::Instance()->Count();
    node->Release();
    EXPECT_EQ(TObjectTypes::Instance()->Count(), before - 1);
}

TEST(ObjectTypeCounts, ValueHoldsItsType) {
    auto* type = NewShared<TObjectType>();
    auto* value = NewShared<TDBObject>();
    value->SetObjectType(type);
    value->SetObjectType(type);
    EXPECT_EQ(type->RefCount(), 2);
    value->Release();
    EXPECT_EQ(type->RefCount(), 1);
    type->Release();
}

}  // namespace
}  // namespace oracle
