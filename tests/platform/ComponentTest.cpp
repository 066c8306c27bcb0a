#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Classes.h"

using namespace platform;

namespace {

// Records every notice it hears, with the class name the sender had at that moment.
class Recorder : public TComponent {
public:
    explicit Recorder(TComponent* owner, std::vector<std::string>* log = nullptr) : TComponent(owner), log_(log) {}
    ~Recorder() override {
        if (log_) log_->push_back("destroy " + Name());
    }
    static const TClassInfo& StaticClassInfo() {
        static const TClassInfo info = TClassInfo::Of<Recorder>("TRecorder", &TComponent::StaticClassInfo())
                                           .Property("Caption", &Recorder::Caption, &Recorder::SetCaption)
                                           .Property("Count", &Recorder::Count, &Recorder::SetCount)
                                           .Property("Ratio", &Recorder::Ratio, &Recorder::SetRatio)
                                           .ComponentProperty("Partner", &Recorder::SetPartner);
        return info;
    }
    const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

    void ComponentNotice(TComponent* component, bool inserted) override {
        TComponent::ComponentNotice(component, inserted);
        if (log_)
            log_->push_back(Name() + (inserted ? " +" : " -") + component->ClassName() + ":" + component->Name());
        if (!inserted && component == partner_) partner_ = nullptr;
    }
    void AfterConstruction() override {
        if (log_) log_->push_back("after construction, owner " + (Owner() ? Owner()->Name() : std::string("none")));
    }

    const AnsiString& Caption() const { return caption_; }
    void SetCaption(const AnsiString& c) { caption_ = c; }
    int Count() const { return count_; }
    void SetCount(int c) { count_ = c; }
    double Ratio() const { return ratio_; }
    void SetRatio(double r) { ratio_ = r; }
    Recorder* Partner() const { return partner_; }
    void SetPartner(Recorder* p) {
        partner_ = p;
        if (p) FreeNotification(p);
    }

private:
    std::vector<std::string>* log_;
    AnsiString caption_;
    int count_ = 0;
    double ratio_ = 0;
    Recorder* partner_ = nullptr;
};

}  // namespace

TEST(ComponentTest, OwnerSendsInsertionNoticesWithTheFinishedClassAndFreesItsComponents) {
    std::vector<std::string> log;
    {
        auto owner = NewUnownedComponent<Recorder>(&log);
        owner->SetName("Owner");
        Recorder* a = NewComponent<Recorder>(*owner, &log);
        a->SetName("A");
        Recorder* b = NewComponent<Recorder>(*owner, &log);
        b->SetName("B");
        EXPECT_EQ(owner->ComponentCount(), 2);
        EXPECT_EQ(owner->FindComponent("b"), b);
        EXPECT_EQ(b->ComponentIndex(), 1);
        log.clear();
    }
    // The owner frees the last component first; the owner's own class part is gone
    // by then, so no removal notices reach it.
    const std::vector<std::string> expected = {"destroy Owner", "destroy B", "destroy A"};
    EXPECT_EQ(log, expected);
}

TEST(ComponentTest, InsertionAndRemovalNoticesReachOwnerAndSiblings) {
    std::vector<std::string> log;
    auto owner = NewUnownedComponent<Recorder>(&log);
    owner->SetName("Owner");
    Recorder* a = NewComponent<Recorder>(*owner, &log);
    a->SetName("A");
    log.clear();
    Recorder* b = NewComponent<Recorder>(*owner, &log);
    // The new component's own class is complete when the notices go out.
    const std::vector<std::string> inserted = {" +TRecorder:", "A +TRecorder:", "Owner +TRecorder:",
                                               "after construction, owner Owner"};
    EXPECT_EQ(log, inserted);
    b->SetName("B");
    log.clear();

    std::unique_ptr<TComponent> taken = owner->RemoveComponent(a);
    ASSERT_EQ(taken.get(), a);
    EXPECT_EQ(a->Owner(), nullptr);
    EXPECT_EQ(owner->ComponentCount(), 1);
    const std::vector<std::string> removed = {"B -TRecorder:A", "A -TRecorder:A", "Owner -TRecorder:A"};
    EXPECT_EQ(log, removed);
    log.clear();
    taken.reset();
    const std::vector<std::string> freed = {"destroy A"};
    EXPECT_EQ(log, freed);
}

namespace {

class FailsToFinish : public TComponent {
public:
    using TComponent::TComponent;
    void AfterConstruction() override { throw EComponentError("cannot bind"); }
};

}  // namespace

TEST(ComponentTest, AComponentThatCannotFinishConstructionLeavesItsOwner) {
    std::vector<std::string> log;
    auto owner = NewUnownedComponent<Recorder>(&log);
    owner->SetName("Owner");
    log.clear();
    EXPECT_THROW(NewComponent<FailsToFinish>(*owner), EComponentError);
    EXPECT_EQ(owner->ComponentCount(), 0);
    const std::vector<std::string> expected = {"Owner +TComponent:", "Owner -TComponent:"};
    EXPECT_EQ(log, expected);
}

TEST(ComponentTest, FreeNotificationTellsPartnersAcrossOwners) {
    auto first = NewUnownedComponent<Recorder>();
    auto second = NewUnownedComponent<Recorder>();
    second->SetName("Second");
    first->SetPartner(second.get());
    EXPECT_TRUE(first->InState(csFreeNotification));
    second.reset();
    EXPECT_EQ(first->Partner(), nullptr);

    // After the link is dropped, nothing is heard any more.
    auto third = NewUnownedComponent<Recorder>();
    first->SetPartner(third.get());
    first->RemoveFreeNotification(third.get());
    third.reset();
    EXPECT_NE(first->Partner(), nullptr);
}

TEST(ComponentTest, NamesAreIdentifiersAndUniquePerOwner) {
    auto owner = NewUnownedComponent<Recorder>();
    Recorder* a = NewComponent<Recorder>(*owner);
    Recorder* b = NewComponent<Recorder>(*owner);
    a->SetName("Table1");
    EXPECT_THROW(b->SetName("TABLE1"), EComponentError);
    EXPECT_THROW(b->SetName("1Table"), EComponentError);
    EXPECT_THROW(b->SetName("Two words"), EComponentError);
    b->SetName("Table2");
    a->SetName("table1");  // a new case of its own name is fine
    EXPECT_EQ(a->Name(), "table1");
    b->SetName("");
    EXPECT_EQ(owner->FindComponent(""), nullptr);
}

TEST(ComponentTest, PublishedPropertiesAreSetAndReadByName) {
    auto r = NewUnownedComponent<Recorder>();
    r->SetPropertyValue("caption", "\xCF\xF0\xE8\xE2\xE5\xF2");
    r->SetPropertyValue("Count", "12");
    r->SetPropertyValue("Ratio", 0.25);
    r->SetPropertyValue("Name", "Rec");
    r->SetPropertyValue("Tag", 7);
    EXPECT_EQ(r->Caption(), "\xCF\xF0\xE8\xE2\xE5\xF2");
    EXPECT_EQ(r->Count(), 12);
    EXPECT_EQ(r->GetPropertyValue("ratio").AsDouble(), 0.25);
    EXPECT_EQ(r->GetPropertyValue("Name").AsString(), "Rec");
    EXPECT_EQ(r->Tag(), 7);
    EXPECT_THROW(r->SetPropertyValue("Missing", 1), EPropertyError);
    EXPECT_THROW(r->SetPropertyValue("Count", "many"), EConvertError);
    EXPECT_EQ(r->Count(), 12);
    EXPECT_EQ(r->ClassName(), "TRecorder");
    EXPECT_TRUE(r->InheritsFrom(TComponent::StaticClassInfo()));
}

TEST(ComponentTest, ClassRegistryCreatesRegisteredClassesByName) {
    RegisterComponentClass(Recorder::StaticClassInfo());
    auto owner = NewUnownedComponent<Recorder>();
    TComponent* made = GetComponentClass("trecorder").CreateOwned(*owner);
    EXPECT_EQ(made->Owner(), owner.get());
    EXPECT_EQ(made->ClassName(), "TRecorder");
    EXPECT_THROW(GetComponentClass("TNothing"), EClassNotFound);
    EXPECT_THROW(TComponent::StaticClassInfo().CreateUnowned(), EComponentError);
    UnregisterComponentClass(Recorder::StaticClassInfo());
    EXPECT_EQ(FindComponentClass("TRecorder"), nullptr);
}

namespace {

class NamedItem : public TCollectionItem {
public:
    using TCollectionItem::TCollectionItem;
    AnsiString name;
    void CopyFromSource(const TPersistent* source) override {
        if (auto* other = dynamic_cast<const NamedItem*>(source)) name = other->name;
        else TCollectionItem::CopyFromSource(source);
    }
};

class CountingCollection : public TCollection {
public:
    CountingCollection() : TCollection(ItemsOf<NamedItem>()) {}
    int updates = 0;
    std::vector<std::string> notices;

protected:
    void Update(TCollectionItem*) override { ++updates; }
    void Notify(TCollectionItem& item, TCollectionNotification action) override {
        notices.push_back(std::to_string(static_cast<int>(action)) + static_cast<NamedItem&>(item).name);
    }
};

}  // namespace

TEST(CollectionTest, ItemsAreOwnedOrderedAndBatchedUpdatesReportOnce) {
    CountingCollection c;
    auto& first = static_cast<NamedItem&>(c.Add());
    first.name = "a";
    auto& second = static_cast<NamedItem&>(c.Add());
    second.name = "b";
    EXPECT_EQ(c.updates, 2);
    EXPECT_EQ(second.Index(), 1);
    second.SetIndex(0);
    EXPECT_EQ(&c.Item(0), &second);
    EXPECT_EQ(c.FindItemID(first.ID()), &first);

    c.updates = 0;
    c.BeginUpdate();
    c.Add();
    c.Delete(0);
    c.EndUpdate();
    EXPECT_EQ(c.updates, 1);
    EXPECT_EQ(c.Count(), 2);
    EXPECT_THROW(c.Item(2), EListError);

    CountingCollection copy;
    copy.CopyFromSource(&c);
    ASSERT_EQ(copy.Count(), 2);
    EXPECT_EQ(static_cast<NamedItem&>(copy.Item(0)).name, "a");

    std::unique_ptr<TCollectionItem> out = c.Extract(c.Item(0));
    EXPECT_EQ(out->Collection(), nullptr);
    EXPECT_EQ(c.Count(), 1);
    EXPECT_THROW(copy.CopyFromSource(nullptr), EConvertError);
}

TEST(ListTest, PointerListKeepsOrderAndChecksIndexes) {
    int x = 1, y = 2, z = 3;
    TList list;
    list.Add(&x);
    list.Add(&y);
    list.Insert(0, &z);
    EXPECT_EQ(list.IndexOf(&x), 1);
    list.Move(0, 2);
    EXPECT_EQ(list.Last(), &z);
    EXPECT_EQ(list.Remove(&y), 1);
    EXPECT_EQ(list.Remove(&y), -1);
    EXPECT_THROW(list.Get(2), EListError);
    list.SetCount(4);
    list.Pack();
    EXPECT_EQ(list.Count(), 2);
    list.Sort([](void* a, void* b) { return *static_cast<int*>(b) - *static_cast<int*>(a); });
    EXPECT_EQ(list.First(), &z);

    // The locked list's lock is recursive: a holder may lock it again.
    TThreadList shared;
    shared.Add(&x);
    shared.Add(&x);  // added once only
    {
        TThreadListLock outer(shared);
        TThreadListLock inner(shared);
        EXPECT_EQ(inner.List().Count(), 1);
        shared.Remove(&x);
        EXPECT_EQ(outer.List().Count(), 0);
    }

    TBits bits;
    bits.Set(0, true);
    bits.Set(2, true);
    EXPECT_EQ(bits.OpenBit(), 1);
    bits.Set(1, true);
    EXPECT_EQ(bits.OpenBit(), 3);
}
