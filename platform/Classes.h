// The component model and the basic containers every layer builds on:
// - TPersistent with its class description (name, parent, published properties) and
//   the class registry that creates components by class name (form reading);
// - TList (pointer list), TThreadList (the same behind a recursive lock), TBits;
// - TCollection / TCollectionItem (owned items, update batches);
// - TComponent: an owner frees the components it owns; names unique per owner;
//   insertion and removal notices; free notification; loading state.
//
// Construction is two-phase: a component's C++ constructor runs with its owner known
// (Owner() answers), but the owner takes it into its list only after the object is
// complete, so the insertion notices see its real class; then AfterConstruction runs.
// Create components with NewComponent (owned) or NewUnownedComponent, never with a
// bare constructor call.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "SysUtils.h"
#include "Variant.h"

namespace platform {

class EListError : public Exception { using Exception::Exception; };
class EComponentError : public Exception { using Exception::Exception; };
class EPropertyError : public Exception { using Exception::Exception; };
class EClassNotFound : public Exception { using Exception::Exception; };

class TPersistent;
class TComponent;

// ---------------------------------------------------------------------------
// Class descriptions and published properties

// A published property: read and written as a variant, or (component references)
// written with a component found by name, or (object properties) an object the
// persistent holds, whose own properties a form description sets (Options.Charset).
struct TPropertyInfo {
    AnsiString Name;
    bool IsComponentReference = false;
    std::function<void(TPersistent&, const Variant&)> Write;
    std::function<Variant(const TPersistent&)> Read;  // empty for write-only properties
    std::function<void(TPersistent&, TComponent*)> WriteComponent;
    std::function<TPersistent&(TPersistent&)> Object;
};

class TCollection;

// Values a persistent keeps in a form description beside its published properties
// (DeclareStreamedValues): a binary block handed to a reader, or the items of a
// collection; a collection value may also take a binary block, its older stored form.
class TStreamedValues {
public:
    using BinaryReader = std::function<void(const std::string& bytes)>;
    struct Entry {
        AnsiString Name;
        BinaryReader Binary;
        TCollection* Items = nullptr;
    };

    void DefineBinary(const AnsiString& name, BinaryReader reader);
    void DefineCollection(const AnsiString& name, TCollection& items, BinaryReader olderForm = nullptr);
    // Case-insensitive; nullptr when none of that name was declared.
    const Entry* Find(const AnsiString& name) const;
    // The binary reader `object` declares under that name, or none.
    static BinaryReader BinaryOf(TPersistent& object, const AnsiString& name);

private:
    std::vector<Entry> entries_;
};

namespace detail {
template <class V>
std::decay_t<V> FromVariant(const Variant& v) {
    using D = std::decay_t<V>;
    if constexpr (std::is_same_v<D, AnsiString>) return v.AsString();
    else if constexpr (std::is_same_v<D, bool>) return v.AsBoolean();
    else if constexpr (std::is_same_v<D, Variant>) return v;
    else if constexpr (std::is_enum_v<D>) return static_cast<D>(v.AsInteger());
    else if constexpr (std::is_integral_v<D> && sizeof(D) > 4) return static_cast<D>(v.AsInt64());
    else if constexpr (std::is_integral_v<D>) return static_cast<D>(v.AsInteger());
    else return static_cast<D>(v.AsDouble());
}
template <class V>
Variant ToVariant(const V& value) {
    if constexpr (std::is_enum_v<V>) return Variant(static_cast<int32_t>(value));
    else return Variant(value);
}
}  // namespace detail

class TClassInfo {
public:
    using Factory = std::unique_ptr<TComponent> (*)(TComponent* owner);

    TClassInfo(AnsiString className, const TClassInfo* parent, Factory factory = nullptr)
        : className_(std::move(className)), parent_(parent), factory_(factory) {}

    // The description of class T; components that are not abstract and have a
    // constructor taking the owner get a factory.
    template <class T>
    static TClassInfo Of(AnsiString className, const TClassInfo* parent);

    const AnsiString& ClassName() const { return className_; }
    const TClassInfo* Parent() const { return parent_; }
    bool InheritsFrom(const TClassInfo& other) const;
    // Searches this class, then its ancestors; case-insensitive; nullptr when absent.
    const TPropertyInfo* FindProperty(const AnsiString& name) const;
    bool CanCreate() const { return factory_ != nullptr; }
    // Creates a component of this class; with an owner the owner keeps it and the
    // answer is that owned component. EComponentError for abstract classes.
    TComponent* CreateOwned(TComponent& owner) const;
    std::unique_ptr<TComponent> CreateUnowned() const;

    // Declaring published properties (builder style).
    template <class T, class G, class S>
    TClassInfo& Property(const AnsiString& name, G (T::*getter)() const, void (T::*setter)(S));
    template <class T, class S>
    TClassInfo& WriteOnlyProperty(const AnsiString& name, void (T::*setter)(S));
    // An enumerated property whose values are also accepted by their names.
    template <class T, class E>
    TClassInfo& EnumProperty(const AnsiString& name, E (T::*getter)() const, void (T::*setter)(E),
                             std::vector<std::pair<AnsiString, E>> names);
    // A set kept as bits; also accepted as the text "[name, name]" (an empty set "[]").
    template <class T, class S>
    TClassInfo& SetProperty(const AnsiString& name, S (T::*getter)() const, void (T::*setter)(S),
                            std::vector<std::pair<AnsiString, int>> members);
    // A property kept in a plain data member.
    template <class T, class V>
    TClassInfo& FieldProperty(const AnsiString& name, V T::*member);
    // An object the persistent holds (options, lists, collections).
    template <class T, class O>
    TClassInfo& ObjectProperty(const AnsiString& name, O& (T::*getter)());
    template <class T, class O, std::enable_if_t<!std::is_const_v<O>, int> = 0>
    TClassInfo& ObjectProperty(const AnsiString& name, O& (T::*getter)() const);
    // A reference to another component, written by name when a form is read.
    template <class T, class C>
    TClassInfo& ComponentProperty(const AnsiString& name, void (T::*setter)(C*));
    TClassInfo& AddProperty(TPropertyInfo info);

private:
    AnsiString className_;
    const TClassInfo* parent_;
    Factory factory_;
    std::vector<TPropertyInfo> properties_;
};

// Class registry: components that form descriptions create by class name. Filled
// by the libraries' module start functions.
// (Names differ from the Win32 API's window-class functions on purpose.)
void RegisterComponentClass(const TClassInfo& info);
void UnregisterComponentClass(const TClassInfo& info);
const TClassInfo* FindComponentClass(const AnsiString& className);
// As FindComponentClass; raises EClassNotFound "Class %s not found".
const TClassInfo& GetComponentClass(const AnsiString& className);

// ---------------------------------------------------------------------------
// TPersistent

class TPersistent {
public:
    virtual ~TPersistent() = default;

    static const TClassInfo& StaticClassInfo();
    virtual const TClassInfo& ClassInfo() const { return StaticClassInfo(); }
    const AnsiString& ClassName() const { return ClassInfo().ClassName(); }
    bool InheritsFrom(const TClassInfo& info) const { return ClassInfo().InheritsFrom(info); }

    // Takes the state of `source`; by default asks the source to copy itself here.
    virtual void CopyFromSource(const TPersistent* source);
    // Copies this object's state into `target`; the default raises the assign error.
    virtual void CopyToTarget(TPersistent& target) const;

    // Published properties by name; EPropertyError "Property %s does not exist" when
    // the class has none of that name, EVariantError when the value does not convert.
    void SetPropertyValue(const AnsiString& name, const Variant& value);
    Variant GetPropertyValue(const AnsiString& name) const;

    // The values this object keeps in form descriptions besides its published
    // properties; none by default.
    virtual void DeclareStreamedValues(TStreamedValues& values) {}

protected:
    // "Cannot assign a <source class> to a <target class>" (EConvertError).
    [[noreturn]] void AssignError(const TPersistent* source) const;
};

// ---------------------------------------------------------------------------
// Lists

class TList {
public:
    int Count() const { return static_cast<int>(items_.size()); }
    void* Get(int index) const;
    void Put(int index, void* item);
    void* operator[](int index) const { return Get(index); }
    int Add(void* item);
    void Insert(int index, void* item);
    void Delete(int index);
    // Removes the first occurrence; its former index, or -1.
    int Remove(void* item);
    void* Extract(void* item);
    int IndexOf(void* item) const;
    void Clear() { items_.clear(); }
    void* First() const { return Get(0); }
    void* Last() const { return Get(Count() - 1); }
    void Exchange(int a, int b);
    void Move(int from, int to);
    // Drops null entries.
    void Pack();
    void SetCount(int count);
    void Sort(const std::function<int(void*, void*)>& compare);

private:
    void CheckIndex(int index, int limit) const;
    std::vector<void*> items_;
};

// A TList for several threads; the lock is recursive. Hold it with TThreadListLock.
class TThreadList {
public:
    TList& LockList() {
        lock_.lock();
        return list_;
    }
    void UnlockList() { lock_.unlock(); }
    void Add(void* item);
    void Remove(void* item);
    void Clear();

private:
    std::recursive_mutex lock_;
    TList list_;
};

// Holds a TThreadList's lock for a scope and gives its list.
class TThreadListLock {
public:
    explicit TThreadListLock(TThreadList& list) : owner_(list), list_(list.LockList()) {}
    ~TThreadListLock() { owner_.UnlockList(); }
    TThreadListLock(const TThreadListLock&) = delete;
    TThreadListLock& operator=(const TThreadListLock&) = delete;
    TList& List() { return list_; }

private:
    TThreadList& owner_;
    TList& list_;
};

// A growable array of bits.
class TBits {
public:
    int Size() const { return static_cast<int>(bits_.size()); }
    void SetSize(int size);
    bool Get(int index) const;
    // Setting a bit beyond the size grows the array.
    void Set(int index, bool value);
    // Index of the first clear bit (Size() when all are set).
    int OpenBit() const;

private:
    std::vector<bool> bits_;
};

// ---------------------------------------------------------------------------
// Collections

class TCollection;

class TCollectionItem : public TPersistent {
public:
    explicit TCollectionItem(TCollection* collection) : collection_(collection) {}
    static const TClassInfo& StaticClassInfo();
    const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

    TCollection* Collection() const { return collection_; }
    int Index() const;
    // Moves the item within its collection.
    void SetIndex(int index);
    int ID() const { return id_; }
    // Text that names the item; by default its class name.
    virtual AnsiString ItemDisplayName() const { return ClassName(); }

protected:
    // Tells the collection this item (or, with allItems, every item) changed.
    void Changed(bool allItems);

private:
    friend class TCollection;
    TCollection* collection_;
    int id_ = 0;
};

enum class TCollectionNotification { cnAdded, cnExtracting, cnDeleting };

class TCollection : public TPersistent {
public:
    using ItemFactory = std::function<std::unique_ptr<TCollectionItem>(TCollection&)>;

    explicit TCollection(ItemFactory factory);
    // A collection whose items are of class Item (constructed with the collection).
    template <class Item>
    static ItemFactory ItemsOf() {
        return [](TCollection& c) -> std::unique_ptr<TCollectionItem> { return std::make_unique<Item>(&c); };
    }
    ~TCollection() override;
    static const TClassInfo& StaticClassInfo();
    const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

    int Count() const { return static_cast<int>(items_.size()); }
    TCollectionItem& Item(int index) const;
    TCollectionItem& Add() { return Insert(Count()); }
    TCollectionItem& Insert(int index);
    // Adopts an item built elsewhere (its Collection() must be this collection).
    TCollectionItem& AddItem(std::unique_ptr<TCollectionItem> item, int index = -1);
    void Delete(int index);
    void Clear();
    std::unique_ptr<TCollectionItem> Extract(TCollectionItem& item);
    TCollectionItem* FindItemID(int id) const;
    int IndexOf(const TCollectionItem& item) const;
    void MoveItem(int from, int to);

    // Batches: changes inside report once, at the outermost EndUpdate.
    void BeginUpdate() { ++updateCount_; }
    void EndUpdate();
    int UpdateCount() const { return updateCount_; }

    // A collection copies the items of another collection (cleared first).
    void CopyFromSource(const TPersistent* source) override;
    // The persistent this collection belongs to, if any.
    virtual TPersistent* GetOwner() const { return nullptr; }

protected:
    friend class TCollectionItem;
    // The item changed, or every item when `item` is null. Called outside batches.
    virtual void Update(TCollectionItem* item) {}
    virtual void Notify(TCollectionItem& item, TCollectionNotification action) {}
    void Changed(TCollectionItem* item);

private:
    ItemFactory factory_;
    std::vector<std::unique_ptr<TCollectionItem>> items_;
    int nextId_ = 0;
    int updateCount_ = 0;
};

// A collection that knows the persistent it belongs to.
class TOwnedCollection : public TCollection {
public:
    TOwnedCollection(TPersistent* owner, ItemFactory factory) : TCollection(std::move(factory)), owner_(owner) {}
    TPersistent* GetOwner() const override { return owner_; }

private:
    TPersistent* owner_;
};

// ---------------------------------------------------------------------------
// Components

enum TComponentStateFlag : uint32_t {
    csLoading = 1u << 0,
    csReading = 1u << 1,
    csWriting = 1u << 2,
    csDestroying = 1u << 3,
    csDesigning = 1u << 4,
    csAncestor = 1u << 5,
    csUpdating = 1u << 6,
    csFixups = 1u << 7,
    csFreeNotification = 1u << 8,
    csInline = 1u << 9,
    csDesignInstance = 1u << 10,
};

class TComponentState {
public:
    bool Contains(TComponentStateFlag flag) const { return (bits_ & flag) != 0; }
    void Include(TComponentStateFlag flag) { bits_ |= flag; }
    void Exclude(TComponentStateFlag flag) { bits_ &= ~static_cast<uint32_t>(flag); }
    uint32_t Bits() const { return bits_; }

private:
    uint32_t bits_ = 0;
};

class TComponent : public TPersistent {
public:
    // The owner is known from here on; NewComponent inserts the finished object.
    explicit TComponent(TComponent* owner) : owner_(owner) {}
    ~TComponent() override;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    static const TClassInfo& StaticClassInfo();
    const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

    // Runs once the object is complete and, when owned, in its owner's list.
    virtual void AfterConstruction() {}

    TComponent* Owner() const { return owner_; }
    int ComponentCount() const { return static_cast<int>(components_.size()); }
    TComponent* Components(int index) const;
    // Index of this component among its owner's (-1 without owner).
    int ComponentIndex() const;
    // The owned component of that name (case-insensitive), or nullptr.
    TComponent* FindComponent(const AnsiString& name) const;

    // Takes ownership; sends the insertion notice to this component and those it owns.
    void InsertComponent(std::unique_ptr<TComponent> component);
    // Gives up ownership after the removal notice; the caller holds the component.
    std::unique_ptr<TComponent> RemoveComponent(TComponent* component);
    // Frees every owned component, the last first, without removal notices here.
    void DestroyComponents();

    const AnsiString& Name() const { return name_; }
    // Checks the name (an identifier or empty) and its uniqueness within the owner:
    // EComponentError "'%s' is not a valid component name" /
    // "A component named %s already exists".
    virtual void SetName(const AnsiString& name);
    int64_t Tag() const { return tag_; }
    void SetTag(int64_t tag) { tag_ = tag; }

    const TComponentState& ComponentState() const { return state_; }
    bool InState(TComponentStateFlag flag) const { return state_.Contains(flag); }
    // For the form reader and the libraries' own loading: sets or clears state flags.
    void IncludeState(TComponentStateFlag flag) { state_.Include(flag); }
    void ExcludeState(TComponentStateFlag flag) { state_.Exclude(flag); }

    // Asks to hear (through ComponentNotice) when `other` goes away, and tells
    // `other` likewise about this one.
    void FreeNotification(TComponent* other);
    void RemoveFreeNotification(TComponent* other);

    // `component` was inserted into or is being removed from this component's owned
    // set, or (removal) a free-notification partner is going away. The base forgets
    // a departing partner and passes the notice to every owned component.
    virtual void ComponentNotice(TComponent* component, bool inserted);
    // Reading from a form description has finished; the base clears csLoading.
    virtual void StreamingCompleted();

protected:
    virtual void ValidateRename(TComponent* component, const AnsiString& oldName, const AnsiString& newName);
    virtual void ValidateInsert(TComponent* component) {}

private:
    void MarkDestroying();
    // Drops the owned entry without freeing or notifying (the component is leaving).
    std::unique_ptr<TComponent> Detach(TComponent* component);

    TComponent* owner_;
    std::vector<std::unique_ptr<TComponent>> components_;
    std::vector<TComponent*> freeNotifies_;
    AnsiString name_;
    int64_t tag_ = 0;
    TComponentState state_;
};

namespace detail {
// The owner takes the new component, then it finishes construction; when that
// fails the component leaves its owner and is freed.
TComponent* AdoptNewComponent(TComponent& owner, std::unique_ptr<TComponent> component);
}  // namespace detail

// Creates a component owned by `owner` (which frees it) and answers it.
template <class T, class... Args>
T* NewComponent(TComponent& owner, Args&&... args) {
    return static_cast<T*>(
        detail::AdoptNewComponent(owner, std::make_unique<T>(&owner, std::forward<Args>(args)...)));
}

// Creates a component without owner; the caller keeps it.
template <class T, class... Args>
std::unique_ptr<T> NewUnownedComponent(Args&&... args) {
    auto component = std::make_unique<T>(nullptr, std::forward<Args>(args)...);
    component->AfterConstruction();
    return component;
}

// ---------------------------------------------------------------------------
// TClassInfo templates

template <class T>
TClassInfo TClassInfo::Of(AnsiString className, const TClassInfo* parent) {
    Factory factory = nullptr;
    if constexpr (std::is_base_of_v<TComponent, T> && !std::is_abstract_v<T> &&
                  std::is_constructible_v<T, TComponent*>)
        factory = [](TComponent* owner) -> std::unique_ptr<TComponent> { return std::make_unique<T>(owner); };
    return TClassInfo(std::move(className), parent, factory);
}

template <class T, class G, class S>
TClassInfo& TClassInfo::Property(const AnsiString& name, G (T::*getter)() const, void (T::*setter)(S)) {
    TPropertyInfo info;
    info.Name = name;
    info.Write = [setter](TPersistent& object, const Variant& value) {
        (static_cast<T&>(object).*setter)(detail::FromVariant<S>(value));
    };
    info.Read = [getter](const TPersistent& object) {
        return detail::ToVariant((static_cast<const T&>(object).*getter)());
    };
    return AddProperty(std::move(info));
}

template <class T, class S>
TClassInfo& TClassInfo::WriteOnlyProperty(const AnsiString& name, void (T::*setter)(S)) {
    TPropertyInfo info;
    info.Name = name;
    info.Write = [setter](TPersistent& object, const Variant& value) {
        (static_cast<T&>(object).*setter)(detail::FromVariant<S>(value));
    };
    return AddProperty(std::move(info));
}

template <class T, class E>
TClassInfo& TClassInfo::EnumProperty(const AnsiString& name, E (T::*getter)() const, void (T::*setter)(E),
                                     std::vector<std::pair<AnsiString, E>> names) {
    TPropertyInfo info;
    info.Name = name;
    info.Write = [setter, names, name](TPersistent& object, const Variant& value) {
        if (value.IsString()) {
            for (const auto& entry : names)
                if (AnsiSameText(entry.first, value.AsString())) {
                    (static_cast<T&>(object).*setter)(entry.second);
                    return;
                }
            throw EPropertyError("Invalid property value " + value.AsString() + " for " + name);
        }
        (static_cast<T&>(object).*setter)(static_cast<E>(value.AsInteger()));
    };
    info.Read = [getter, names](const TPersistent& object) {
        const E current = (static_cast<const T&>(object).*getter)();
        for (const auto& entry : names)
            if (entry.second == current) return Variant(entry.first);
        return Variant(static_cast<int32_t>(current));
    };
    return AddProperty(std::move(info));
}

namespace detail {
// A set property kept as bits, also written "[name, name]"; EPropertyError for an
// unknown name.
TPropertyInfo SetPropertyInfo(const AnsiString& name, std::function<int(const TPersistent&)> read,
                              std::function<void(TPersistent&, int)> write,
                              std::vector<std::pair<AnsiString, int>> members);
TPropertyInfo ObjectPropertyInfo(const AnsiString& name, std::function<TPersistent&(TPersistent&)> object);
}  // namespace detail

template <class T, class S>
TClassInfo& TClassInfo::SetProperty(const AnsiString& name, S (T::*getter)() const, void (T::*setter)(S),
                                    std::vector<std::pair<AnsiString, int>> members) {
    return AddProperty(detail::SetPropertyInfo(
        name, [getter](const TPersistent& o) { return static_cast<int>((static_cast<const T&>(o).*getter)()); },
        [setter](TPersistent& o, int bits) { (static_cast<T&>(o).*setter)(static_cast<S>(bits)); },
        std::move(members)));
}

template <class T, class O>
TClassInfo& TClassInfo::ObjectProperty(const AnsiString& name, O& (T::*getter)()) {
    static_assert(std::is_base_of_v<TPersistent, O>, "an object property holds a persistent");
    return AddProperty(detail::ObjectPropertyInfo(
        name, [getter](TPersistent& o) -> TPersistent& { return (static_cast<T&>(o).*getter)(); }));
}

template <class T, class O, std::enable_if_t<!std::is_const_v<O>, int>>
TClassInfo& TClassInfo::ObjectProperty(const AnsiString& name, O& (T::*getter)() const) {
    static_assert(std::is_base_of_v<TPersistent, O>, "an object property holds a persistent");
    return AddProperty(detail::ObjectPropertyInfo(
        name, [getter](TPersistent& o) -> TPersistent& { return (static_cast<T&>(o).*getter)(); }));
}

template <class T, class V>
TClassInfo& TClassInfo::FieldProperty(const AnsiString& name, V T::*member) {
    TPropertyInfo info;
    info.Name = name;
    info.Write = [member](TPersistent& object, const Variant& value) {
        static_cast<T&>(object).*member = detail::FromVariant<V>(value);
    };
    info.Read = [member](const TPersistent& object) {
        return detail::ToVariant(static_cast<const T&>(object).*member);
    };
    return AddProperty(std::move(info));
}

template <class T, class C>
TClassInfo& TClassInfo::ComponentProperty(const AnsiString& name, void (T::*setter)(C*)) {
    TPropertyInfo info;
    info.Name = name;
    info.IsComponentReference = true;
    info.WriteComponent = [setter, name](TPersistent& object, TComponent* component) {
        C* typed = component ? dynamic_cast<C*>(component) : nullptr;
        if (component && !typed) throw EPropertyError("Invalid property value for " + name);
        (static_cast<T&>(object).*setter)(typed);
    };
    return AddProperty(std::move(info));
}

}  // namespace platform
