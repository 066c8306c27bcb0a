// Reference-counted base of blobs, object types and object values: record slots
// hold plain pointers to them, so the count lives in the object itself.
#pragma once

#include <cstdint>
#include <utility>

namespace oracle {

class TSharedObject {
public:
    TSharedObject() = default;
    TSharedObject(const TSharedObject&) = delete;
    TSharedObject& operator=(const TSharedObject&) = delete;

    int32_t RefCount() const noexcept { return refCount_; }
    void AddRef() noexcept { ++refCount_; }
    // Frees the object with its last reference; a release past zero is an assertion.
    void Release();

protected:
    virtual ~TSharedObject() { refCount_ = 0; }

private:
    int32_t refCount_ = 1;
};

inline void ReleaseObject(TSharedObject* object) {
    if (object) object->Release();
}

// The one place shared objects are created: the caller holds the first reference.
template <class T, class... Args>
T* NewShared(Args&&... args) {
    return new T(std::forward<Args>(args)...);
}

}  // namespace oracle
