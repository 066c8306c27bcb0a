#include "Classes.h"

#include <algorithm>
#include <cctype>

#include "ScopeExit.h"

namespace platform {

// ---- TClassInfo and the class registry ----

bool TClassInfo::InheritsFrom(const TClassInfo& other) const {
    for (const TClassInfo* c = this; c; c = c->parent_)
        if (c == &other) return true;
    return false;
}

const TPropertyInfo* TClassInfo::FindProperty(const AnsiString& name) const {
    for (const TClassInfo* c = this; c; c = c->parent_)
        for (const TPropertyInfo& p : c->properties_)
            if (AnsiSameText(p.Name, name)) return &p;
    return nullptr;
}

TClassInfo& TClassInfo::AddProperty(TPropertyInfo info) {
    properties_.push_back(std::move(info));
    return *this;
}

TComponent* detail::AdoptNewComponent(TComponent& owner, std::unique_ptr<TComponent> component) {
    TComponent* raw = component.get();
    owner.InsertComponent(std::move(component));
    try {
        raw->AfterConstruction();
    } catch (...) {
        owner.RemoveComponent(raw).reset();
        throw;
    }
    return raw;
}

TComponent* TClassInfo::CreateOwned(TComponent& owner) const {
    if (!factory_) throw EComponentError("Cannot create an instance of abstract class " + className_);
    return detail::AdoptNewComponent(owner, factory_(&owner));
}

std::unique_ptr<TComponent> TClassInfo::CreateUnowned() const {
    if (!factory_) throw EComponentError("Cannot create an instance of abstract class " + className_);
    std::unique_ptr<TComponent> component = factory_(nullptr);
    component->AfterConstruction();
    return component;
}

namespace {

std::vector<const TClassInfo*>& ClassRegistry() {
    static std::vector<const TClassInfo*> registry;
    return registry;
}

}  // namespace

void RegisterComponentClass(const TClassInfo& info) {
    auto& registry = ClassRegistry();
    if (std::find(registry.begin(), registry.end(), &info) == registry.end()) registry.push_back(&info);
}

void UnregisterComponentClass(const TClassInfo& info) {
    auto& registry = ClassRegistry();
    registry.erase(std::remove(registry.begin(), registry.end(), &info), registry.end());
}

const TClassInfo* FindComponentClass(const AnsiString& className) {
    for (const TClassInfo* info : ClassRegistry())
        if (AnsiSameText(info->ClassName(), className)) return info;
    return nullptr;
}

const TClassInfo& GetComponentClass(const AnsiString& className) {
    const TClassInfo* info = FindComponentClass(className);
    if (!info) throw EClassNotFound("Class " + className + " not found");
    return *info;
}

// ---- TPersistent ----

const TClassInfo& TPersistent::StaticClassInfo() {
    static const TClassInfo info("TPersistent", nullptr);
    return info;
}

void TPersistent::CopyFromSource(const TPersistent* source) {
    if (!source) AssignError(nullptr);
    source->CopyToTarget(*this);
}

void TPersistent::CopyToTarget(TPersistent& target) const { target.AssignError(this); }

void TPersistent::AssignError(const TPersistent* source) const {
    const AnsiString sourceName = source ? source->ClassName() : AnsiString("nil");
    throw EConvertError("Cannot assign a " + sourceName + " to a " + ClassName());
}

void TPersistent::SetPropertyValue(const AnsiString& name, const Variant& value) {
    const TPropertyInfo* p = ClassInfo().FindProperty(name);
    if (!p || !p->Write) throw EPropertyError("Property " + name + " does not exist");
    p->Write(*this, value);
}

Variant TPersistent::GetPropertyValue(const AnsiString& name) const {
    const TPropertyInfo* p = ClassInfo().FindProperty(name);
    if (!p || !p->Read) throw EPropertyError("Property " + name + " does not exist");
    return p->Read(*this);
}

// ---- sets and streamed values ----

namespace {

// The bits of "[name, name]" (an empty set "[]").
int ParseSetText(const AnsiString& text, const std::vector<std::pair<AnsiString, int>>& members,
                 const AnsiString& property) {
    const AnsiString trimmed = Trim(text);
    if (trimmed.size() < 2 || trimmed.front() != '[' || trimmed.back() != ']')
        throw EPropertyError("Invalid property value " + text + " for " + property);
    const AnsiString inner = Trim(trimmed.substr(1, trimmed.size() - 2));
    int bits = 0;
    if (inner.empty()) return bits;
    size_t start = 0;
    for (;;) {
        const size_t comma = inner.find(',', start);
        const AnsiString member =
            Trim(inner.substr(start, comma == AnsiString::npos ? AnsiString::npos : comma - start));
        auto found = std::find_if(members.begin(), members.end(),
                                  [&](const auto& entry) { return AnsiSameText(entry.first, member); });
        if (member.empty() || found == members.end())
            throw EPropertyError("Invalid property value " + text + " for " + property);
        bits |= found->second;
        if (comma == AnsiString::npos) return bits;
        start = comma + 1;
    }
}

AnsiString SetText(int bits, const std::vector<std::pair<AnsiString, int>>& members) {
    AnsiString text;
    for (const auto& entry : members)
        if (entry.second != 0 && (bits & entry.second) == entry.second)
            text += (text.empty() ? "" : ", ") + entry.first;
    return "[" + text + "]";
}

}  // namespace

TPropertyInfo detail::SetPropertyInfo(const AnsiString& name, std::function<int(const TPersistent&)> read,
                                      std::function<void(TPersistent&, int)> write,
                                      std::vector<std::pair<AnsiString, int>> members) {
    TPropertyInfo info;
    info.Name = name;
    info.Write = [write, members, name](TPersistent& object, const Variant& value) {
        write(object, value.IsString() ? ParseSetText(value.AsString(), members, name) : value.AsInteger());
    };
    info.Read = [read, members](const TPersistent& object) { return Variant(SetText(read(object), members)); };
    return info;
}

TPropertyInfo detail::ObjectPropertyInfo(const AnsiString& name, std::function<TPersistent&(TPersistent&)> object) {
    TPropertyInfo info;
    info.Name = name;
    info.Object = std::move(object);
    return info;
}

void TStreamedValues::DefineBinary(const AnsiString& name, BinaryReader reader) {
    entries_.push_back({name, std::move(reader), nullptr});
}

void TStreamedValues::DefineCollection(const AnsiString& name, TCollection& items, BinaryReader olderForm) {
    entries_.push_back({name, std::move(olderForm), &items});
}

const TStreamedValues::Entry* TStreamedValues::Find(const AnsiString& name) const {
    for (const Entry& entry : entries_)
        if (AnsiSameText(entry.Name, name)) return &entry;
    return nullptr;
}

TStreamedValues::BinaryReader TStreamedValues::BinaryOf(TPersistent& object, const AnsiString& name) {
    TStreamedValues values;
    object.DeclareStreamedValues(values);
    const Entry* entry = values.Find(name);
    return entry ? entry->Binary : BinaryReader();
}

// ---- TList ----

void TList::CheckIndex(int index, int limit) const {
    if (index < 0 || index >= limit) throw EListError("List index out of bounds (" + IntToStr(index) + ")");
}

void* TList::Get(int index) const {
    CheckIndex(index, Count());
    return items_[static_cast<size_t>(index)];
}

void TList::Put(int index, void* item) {
    CheckIndex(index, Count());
    items_[static_cast<size_t>(index)] = item;
}

int TList::Add(void* item) {
    items_.push_back(item);
    return Count() - 1;
}

void TList::Insert(int index, void* item) {
    CheckIndex(index, Count() + 1);
    items_.insert(items_.begin() + index, item);
}

void TList::Delete(int index) {
    CheckIndex(index, Count());
    items_.erase(items_.begin() + index);
}

int TList::Remove(void* item) {
    const int index = IndexOf(item);
    if (index >= 0) Delete(index);
    return index;
}

void* TList::Extract(void* item) {
    return Remove(item) >= 0 ? item : nullptr;
}

int TList::IndexOf(void* item) const {
    const auto it = std::find(items_.begin(), items_.end(), item);
    return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

void TList::Exchange(int a, int b) {
    CheckIndex(a, Count());
    CheckIndex(b, Count());
    std::swap(items_[static_cast<size_t>(a)], items_[static_cast<size_t>(b)]);
}

void TList::Move(int from, int to) {
    if (from == to) return;
    CheckIndex(from, Count());
    CheckIndex(to, Count());
    void* item = items_[static_cast<size_t>(from)];
    items_.erase(items_.begin() + from);
    items_.insert(items_.begin() + to, item);
}

void TList::Pack() { items_.erase(std::remove(items_.begin(), items_.end(), nullptr), items_.end()); }

void TList::SetCount(int count) {
    if (count < 0) throw EListError("List count out of bounds (" + IntToStr(count) + ")");
    items_.resize(static_cast<size_t>(count), nullptr);
}

void TList::Sort(const std::function<int(void*, void*)>& compare) {
    std::stable_sort(items_.begin(), items_.end(), [&](void* a, void* b) { return compare(a, b) < 0; });
}

void TThreadList::Add(void* item) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (list_.IndexOf(item) < 0) list_.Add(item);
}

void TThreadList::Remove(void* item) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    list_.Remove(item);
}

void TThreadList::Clear() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    list_.Clear();
}

// ---- TBits ----

void TBits::SetSize(int size) {
    if (size < 0) throw EListError("Bits index out of range");
    bits_.resize(static_cast<size_t>(size), false);
}

bool TBits::Get(int index) const {
    if (index < 0 || index >= Size()) throw EListError("Bits index out of range");
    return bits_[static_cast<size_t>(index)];
}

void TBits::Set(int index, bool value) {
    if (index < 0) throw EListError("Bits index out of range");
    if (index >= Size()) SetSize(index + 1);
    bits_[static_cast<size_t>(index)] = value;
}

int TBits::OpenBit() const {
    for (int i = 0; i < Size(); ++i)
        if (!bits_[static_cast<size_t>(i)]) return i;
    return Size();
}

// ---- collections ----

const TClassInfo& TCollectionItem::StaticClassInfo() {
    static const TClassInfo info("TCollectionItem", &TPersistent::StaticClassInfo());
    return info;
}

int TCollectionItem::Index() const { return collection_ ? collection_->IndexOf(*this) : -1; }

void TCollectionItem::SetIndex(int index) {
    const int current = Index();
    if (current >= 0 && current != index) collection_->MoveItem(current, index);
}

void TCollectionItem::Changed(bool allItems) {
    if (collection_) collection_->Changed(allItems ? nullptr : this);
}

TCollection::TCollection(ItemFactory factory) : factory_(std::move(factory)) {}

TCollection::~TCollection() {
    // Items go without notices: the collection's subclass is already gone.
    items_.clear();
}

const TClassInfo& TCollection::StaticClassInfo() {
    static const TClassInfo info("TCollection", &TPersistent::StaticClassInfo());
    return info;
}

TCollectionItem& TCollection::Item(int index) const {
    if (index < 0 || index >= Count()) throw EListError("List index out of bounds (" + IntToStr(index) + ")");
    return *items_[static_cast<size_t>(index)];
}

TCollectionItem& TCollection::Insert(int index) {
    if (!factory_) throw EListError("Collection has no item class");
    return AddItem(factory_(*this), index);
}

TCollectionItem& TCollection::AddItem(std::unique_ptr<TCollectionItem> item, int index) {
    if (index < 0 || index > Count()) index = Count();
    item->collection_ = this;
    item->id_ = nextId_++;
    TCollectionItem& ref = *item;
    items_.insert(items_.begin() + index, std::move(item));
    Notify(ref, TCollectionNotification::cnAdded);
    Changed(nullptr);
    return ref;
}

void TCollection::Delete(int index) {
    TCollectionItem& item = Item(index);
    Notify(item, TCollectionNotification::cnDeleting);
    // Keep the item alive until it is out of the list.
    std::unique_ptr<TCollectionItem> doomed = std::move(items_[static_cast<size_t>(index)]);
    items_.erase(items_.begin() + index);
    doomed.reset();
    Changed(nullptr);
}

void TCollection::Clear() {
    if (items_.empty()) return;
    BeginUpdate();
    while (!items_.empty()) Delete(Count() - 1);
    EndUpdate();
}

std::unique_ptr<TCollectionItem> TCollection::Extract(TCollectionItem& item) {
    const int index = IndexOf(item);
    if (index < 0) return nullptr;
    Notify(item, TCollectionNotification::cnExtracting);
    std::unique_ptr<TCollectionItem> out = std::move(items_[static_cast<size_t>(index)]);
    items_.erase(items_.begin() + index);
    out->collection_ = nullptr;
    Changed(nullptr);
    return out;
}

TCollectionItem* TCollection::FindItemID(int id) const {
    for (const auto& item : items_)
        if (item->id_ == id) return item.get();
    return nullptr;
}

int TCollection::IndexOf(const TCollectionItem& item) const {
    for (size_t i = 0; i < items_.size(); ++i)
        if (items_[i].get() == &item) return static_cast<int>(i);
    return -1;
}

void TCollection::MoveItem(int from, int to) {
    Item(from);
    if (to < 0) to = 0;
    if (to >= Count()) to = Count() - 1;
    auto moving = std::move(items_[static_cast<size_t>(from)]);
    items_.erase(items_.begin() + from);
    items_.insert(items_.begin() + to, std::move(moving));
    Changed(nullptr);
}

void TCollection::EndUpdate() {
    if (updateCount_ > 0 && --updateCount_ == 0) Changed(nullptr);
}

void TCollection::Changed(TCollectionItem* item) {
    if (updateCount_ == 0) Update(item);
}

void TCollection::CopyFromSource(const TPersistent* source) {
    const auto* other = dynamic_cast<const TCollection*>(source);
    if (!other) {
        TPersistent::CopyFromSource(source);
        return;
    }
    if (other == this) return;
    BeginUpdate();
    try {
        Clear();
        for (const auto& item : other->items_) Add().CopyFromSource(item.get());
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

// ---- TComponent ----

const TClassInfo& TComponent::StaticClassInfo() {
    static const TClassInfo info = TClassInfo("TComponent", &TPersistent::StaticClassInfo())
                                       .Property("Name", &TComponent::Name, &TComponent::SetName)
                                       .Property("Tag", &TComponent::Tag, &TComponent::SetTag);
    return info;
}

TComponent::~TComponent() {
    MarkDestroying();
    // Partners hear of the departure first, then the owned components go.
    while (!freeNotifies_.empty()) {
        TComponent* partner = freeNotifies_.back();
        freeNotifies_.pop_back();
        partner->freeNotifies_.erase(std::remove(partner->freeNotifies_.begin(), partner->freeNotifies_.end(), this),
                                     partner->freeNotifies_.end());
        // A partner's handler may fail (a dataset losing its connection closes).
        CleanUpStep([&] { partner->ComponentNotice(this, false); });
    }
    DestroyComponents();
    // A component whose construction failed was never listed by its owner.
    if (owner_ && ComponentIndex() >= 0) {
        TComponent* owner = owner_;
        CleanUpStep([&] { owner->ComponentNotice(this, false); });
        // The owner's entry no longer owns this object: it is being destroyed already.
        owner->Detach(this).release();
    }
}

void TComponent::MarkDestroying() {
    if (state_.Contains(csDestroying)) return;
    state_.Include(csDestroying);
    for (const auto& c : components_) c->MarkDestroying();
}

TComponent* TComponent::Components(int index) const {
    if (index < 0 || index >= ComponentCount()) throw EListError("List index out of bounds (" + IntToStr(index) + ")");
    return components_[static_cast<size_t>(index)].get();
}

int TComponent::ComponentIndex() const {
    if (!owner_) return -1;
    for (size_t i = 0; i < owner_->components_.size(); ++i)
        if (owner_->components_[i].get() == this) return static_cast<int>(i);
    return -1;
}

TComponent* TComponent::FindComponent(const AnsiString& name) const {
    if (name.empty()) return nullptr;
    for (const auto& c : components_)
        if (AnsiSameText(c->name_, name)) return c.get();
    return nullptr;
}

void TComponent::InsertComponent(std::unique_ptr<TComponent> component) {
    if (!component) return;
    if (component->owner_ && component->ComponentIndex() >= 0) {
        // Still listed by a former owner: leave it first.
        component->owner_->RemoveComponent(component.get()).release();
    }
    component->owner_ = nullptr;
    ValidateRename(component.get(), AnsiString(), component->name_);
    ValidateInsert(component.get());
    TComponent* raw = component.get();
    raw->owner_ = this;
    components_.push_back(std::move(component));
    ComponentNotice(raw, true);
}

std::unique_ptr<TComponent> TComponent::RemoveComponent(TComponent* component) {
    if (!component || component->owner_ != this) return nullptr;
    ComponentNotice(component, false);
    return Detach(component);
}

std::unique_ptr<TComponent> TComponent::Detach(TComponent* component) {
    for (size_t i = 0; i < components_.size(); ++i) {
        if (components_[i].get() == component) {
            std::unique_ptr<TComponent> out = std::move(components_[i]);
            components_.erase(components_.begin() + static_cast<std::ptrdiff_t>(i));
            out->owner_ = nullptr;
            return out;
        }
    }
    return nullptr;
}

void TComponent::DestroyComponents() {
    while (!components_.empty()) {
        std::unique_ptr<TComponent> last = std::move(components_.back());
        components_.pop_back();
        last->owner_ = nullptr;
        last.reset();
    }
}

namespace {

bool IsIdentifier(const AnsiString& name) {
    if (name.empty()) return false;
    auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
    if (!letter(name[0])) return false;
    for (char c : name)
        if (!letter(c) && !(c >= '0' && c <= '9')) return false;
    return true;
}

}  // namespace

void TComponent::SetName(const AnsiString& name) {
    if (name_ == name) return;
    if (!name.empty() && !IsIdentifier(name)) throw EComponentError("'" + name + "' is not a valid component name");
    if (owner_) owner_->ValidateRename(this, name_, name);
    name_ = name;
}

void TComponent::ValidateRename(TComponent* component, const AnsiString& oldName, const AnsiString& newName) {
    if (newName.empty() || AnsiSameText(oldName, newName)) return;
    TComponent* existing = FindComponent(newName);
    if (existing && existing != component) throw EComponentError("A component named " + newName + " already exists");
}

void TComponent::FreeNotification(TComponent* other) {
    if (!other || other == this) return;
    // Components of one owner hear of each other through the owner already.
    if (!owner_ || other->owner_ != owner_) {
        if (std::find(freeNotifies_.begin(), freeNotifies_.end(), other) == freeNotifies_.end()) {
            freeNotifies_.push_back(other);
            other->FreeNotification(this);
        }
    }
    state_.Include(csFreeNotification);
}

void TComponent::RemoveFreeNotification(TComponent* other) {
    const auto it = std::find(freeNotifies_.begin(), freeNotifies_.end(), other);
    if (it == freeNotifies_.end()) return;
    freeNotifies_.erase(it);
    other->RemoveFreeNotification(this);
}

void TComponent::ComponentNotice(TComponent* component, bool inserted) {
    if (!inserted && component) RemoveFreeNotification(component);
    // Owned components may leave while they hear the notice: re-check the bound. A component
    // that goes away is told to every one of them, whatever one of their handlers raises:
    // none may keep pointing at it.
    int i = ComponentCount() - 1;
    while (i >= 0) {
        TComponent* child = components_[static_cast<size_t>(i)].get();
        if (inserted)
            child->ComponentNotice(component, inserted);
        else
            CleanUpStep([&] { child->ComponentNotice(component, inserted); });
        --i;
        if (i >= ComponentCount()) i = ComponentCount() - 1;
    }
}

void TComponent::StreamingCompleted() { state_.Exclude(csLoading); }

}  // namespace platform
