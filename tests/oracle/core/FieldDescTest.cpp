#include <gtest/gtest.h>

#include "oracle/core/FieldDesc.h"
#include "oracle/core/ObjectType.h"
#include "platform/SysUtils.h"

namespace oracle {
namespace {

TFieldDesc* Add(TFieldDescs& list, const std::string& name, const std::string& actualName) {
    auto desc = std::make_unique<TFieldDesc>();
    desc->Name = name;
    desc->ActualName = actualName;
    desc->FieldNo = static_cast<uint16_t>(list.Count() + 1);
    return list.Add(std::move(desc));
}

TEST(FieldDescs, FindsByNameOrByPath) {
    TFieldDescs list;
    TFieldDesc* a = Add(list, "A", "A");
    TFieldDesc* ab = Add(list, "B", "A.B");
    Add(list, "B", "C.B");
    TFieldDesc* x0 = Add(list, "[0]", "X[0]");

    struct Case {
        const char* name;
        TFieldDesc* expected;
    } cases[] = {{"a", a}, {"a.b", ab}, {"B", ab}, {"x[0]", x0}, {"[0]", nullptr}, {"q", nullptr}, {"C.Q", nullptr}};
    for (const Case& c : cases) EXPECT_EQ(list.FindField(c.name), c.expected) << c.name;
}

TEST(FieldDescs, FieldByNameRaisesTheMessageOfTheLibrary) {
    TFieldDescs list;
    Add(list, "A", "A");
    try {
        list.FieldByName("q");
        FAIL();
    } catch (const platform::Exception& e) {
        EXPECT_STREQ(e.what(), "Filed q not found");
    }
    EXPECT_EQ(list.Count(), 1);
}

TEST(FieldDescs, ObjectTypeReferencesAreCountedPerDescriptor) {
    auto* type = NewShared<TObjectType>();
    type->Name = "ADDR_T";
    {
        TFieldDescs list;
        TFieldDesc* first = Add(list, "A", "A");
        first->SetObjectType(type);
        first->SetObjectType(type);  // unchanged: no second count
        EXPECT_EQ(type->RefCount(), 2);
        Add(list, "B", "B")->SetObjectType(type);
        EXPECT_EQ(type->RefCount(), 3);
        list.ClearItems();
        EXPECT_EQ(type->RefCount(), 1);
        Add(list, "C", "C")->SetObjectType(type);
    }
    EXPECT_EQ(type->RefCount(), 1);
    type->Release();
}

}  // namespace
}  // namespace oracle
