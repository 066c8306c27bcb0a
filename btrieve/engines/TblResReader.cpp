#include "btrieve/engines/TblResReader.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

namespace btrieve {

namespace {

HMODULE LibraryModule() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&LibraryModule), &module);
    return module;
}

// Reads forward through the resource bytes, never past their end.
class TResourceCursor {
public:
    TResourceCursor(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool Skip(size_t n) {
        if (size_ - at_ < n) return false;
        at_ += n;
        return true;
    }
    bool U8(uint8_t& v) {
        if (at_ >= size_) return false;
        v = data_[at_++];
        return true;
    }
    bool U16(uint16_t& v) {
        if (size_ - at_ < 2) return false;
        std::memcpy(&v, data_ + at_, 2);
        at_ += 2;
        return true;
    }
    bool Bytes(char* out, size_t n) {
        if (size_ - at_ < n) return false;
        std::memcpy(out, data_ + at_, n);
        at_ += n;
        return true;
    }
    // The zero-terminated text at the current position, within the resource.
    AnsiString Text() const {
        size_t end = at_;
        while (end < size_ && data_[end] != 0) ++end;
        return AnsiString(reinterpret_cast<const char*>(data_ + at_), end - at_);
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

}  // namespace

bool TTblResReader::Read(const AnsiString& name) {
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC found = FindResourceA(module, name.c_str(), MAKEINTRESOURCEA(10));
    if (!found) {
        module = LibraryModule();
        found = module ? FindResourceA(module, name.c_str(), MAKEINTRESOURCEA(10)) : nullptr;
    }
    if (!found) return false;
    HGLOBAL loaded = LoadResource(module, found);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes) return false;
    TResourceCursor in(static_cast<const uint8_t*>(bytes), SizeofResource(module, found));
    uint8_t headerLength = 0;
    if (!in.U8(headerLength) || !in.Skip(headerLength)) return false;
    const int version = std::atoi(in.Text().c_str());
    if (!in.Skip(5)) return false;
    if (version == 1) {
        // The old format cannot be read; the caller reports the table as undefined.
        OutputDebugStringA(("Error - Resource [" + name + "] " + " in old format. Re-compile with DEFPACK.EXE").c_str());
        return false;
    }
    if (version != 2) return false;
    while (in.Text() != EndMarker) {
        TEngineFieldDesc desc{};
        uint8_t nameLength = 0;
        char fieldName[256] = {};
        uint16_t number = 0, type = 0, subType = 0, units1 = 0, units2 = 0, offset = 0, length = 0, localType = 0,
                 localSize = 0;
        if (!in.U16(number) || !in.U8(nameLength) || !in.Bytes(fieldName, nameLength) || !in.U16(type) ||
            !in.U16(subType) || !in.U16(units1) || !in.U16(units2) || !in.U16(offset) || !in.U16(length) ||
            !in.U16(localType) || !in.U16(localSize))
            return false;
        desc.fieldNumber = number;
        std::memcpy(desc.name, fieldName, std::min<size_t>(nameLength, 31));
        desc.fieldType = type;
        desc.subType = subType;
        desc.units1 = static_cast<int16_t>(units1);
        desc.units2 = static_cast<int16_t>(units2);
        desc.offset = offset;
        desc.length = length;
        desc.localType = localType;
        desc.localSize = localSize;
        cursor_.FieldCache().Add(desc);
    }
    return true;
}

}  // namespace btrieve
