// TBapiListItem, the root of every handle of the call-level interface (sessions,
// databases, cursors, statements, filters, configuration records), and the two
// collections that hold handles: a handle joins its collection when it is made
// and leaves it when it is freed; freeing a collection frees what is left in it.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include <windows.h>
// The handles' property operations share their names with the window-property
// macros of the Windows headers; the library never uses those.
#undef GetProp
#undef SetProp

#include "btrieve/base/EngineErrors.h"

namespace btrieve {

class TBapiListItem;

// Holds handles in order and frees the remaining ones when it goes.
class TQuillonCollection {
public:
    TQuillonCollection() = default;
    virtual ~TQuillonCollection();
    TQuillonCollection(const TQuillonCollection&) = delete;
    TQuillonCollection& operator=(const TQuillonCollection&) = delete;

    // False when the collection refuses the item (it then stays with the caller).
    virtual bool Add(TBapiListItem* item);
    void Insert(int index, TBapiListItem* item);
    TBapiListItem* Get(int index) const;    // none for an index out of range
    TBapiListItem* Items(int index) const;  // raises platform::EStringListError out of range
    int Count() const { return static_cast<int>(items_.size()); }
    int IndexOf(const TBapiListItem* item) const;
    void Delete(int index);  // takes the item out without freeing it
    void Remove(const TBapiListItem* item);
    void Clear() { items_.clear(); }
    static void FreeItem(TBapiListItem* item);
    void FreeAll();

    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

private:
    std::vector<TBapiListItem*> items_;
};

// Keeps its items ordered by key; equal keys are allowed unless Duplicates is false.
class TSortedCollection : public TQuillonCollection {
public:
    bool Duplicates = true;

    bool Add(TBapiListItem* item) override;
    virtual const void* KeyOf(TBapiListItem* item) const { return item; }
    virtual int Compare(const void* key1, const void* key2) const = 0;
    // Position of the first item not below the key; true when an equal key exists.
    virtual bool Search(const void* key, int& position) const;
};

class TBapiListItem {
public:
    TBapiListItem(TBapiListItem* owner, TQuillonCollection* collection);
    virtual ~TBapiListItem();
    TBapiListItem(const TBapiListItem&) = delete;
    TBapiListItem& operator=(const TBapiListItem&) = delete;

    TBapiListItem* Owner() const { return owner_; }
    TQuillonCollection* Collection() const { return collection_; }
    int IndexInCollection() const { return collection_ ? collection_->IndexOf(this) : 0; }

    // Property ids are 32-bit; the handle classes decide on the low 16 bits.
    virtual void GetProp(uint32_t id, void* value, uint16_t& length, uint16_t bufferLength);
    virtual void SetProp(uint32_t id, intptr_t value) {}
    virtual void CheckPropWritable(uint32_t id, bool raise) {}

    // Hooks of the handle classes: AfterCreate runs once the whole handle is made
    // (MakeHandle), BeforeDestroy before it is freed (FreeHandle and the collections),
    // so that both reach the most derived class.
    virtual void AfterCreate() {}
    virtual void BeforeDestroy() {}

    // True while a handle made at this address has not been freed: the facade checks
    // the handles its callers pass before it touches them.
    static bool IsLive(const void* handle);
    // How many handles have been freed so far: while it stays the same, a handle found
    // live is still live (and still the object it was).
    static uint64_t FreedCount();

protected:
    // For handles whose key is only known once their own constructor has run: the
    // base is made without a collection and the handle joins it afterwards.
    void JoinCollection(TQuillonCollection* collection);
    // Joins at that place whatever order the collection keeps.
    void JoinCollectionAt(TQuillonCollection* collection, int index);

private:
    TBapiListItem* owner_;
    TQuillonCollection* collection_;
};

// Makes a handle that its collection (or owner) frees: the caller gets a plain pointer.
template <class T, class... Args>
T* MakeHandle(Args&&... args) {
    auto handle = std::make_unique<T>(std::forward<Args>(args)...);
    handle->AfterCreate();
    return handle.release();
}

// Frees a handle given out by MakeHandle; nothing for none.
inline void FreeHandle(TBapiListItem* item) { TQuillonCollection::FreeItem(item); }

// Writes a value of size bytes into a property buffer, refusing buffers too small.
void PutPropValue(void* value, uint16_t bufferLength, const void* data, uint16_t size, uint16_t& length);

}  // namespace btrieve
