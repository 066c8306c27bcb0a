// What the system answers one loaded module for one function it imports by name, replaced
// for the object's lifetime: for answers Wine never gives, or to see the module's own calls
// as they happen.
#pragma once

#include <windows.h>

#include <cstring>

namespace testsupport {

class ImportPatch {
public:
    ImportPatch(const char* module, const char* function, const void* replacement) {
        auto* base = reinterpret_cast<BYTE*>(GetModuleHandleA(module));
        if (!base) return;
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
            base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
        const auto& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        for (auto* library = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
             library->Name != 0 && !slot_; ++library) {
            auto* name = reinterpret_cast<IMAGE_THUNK_DATA*>(base + library->OriginalFirstThunk);
            auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + library->FirstThunk);
            for (; name->u1.AddressOfData != 0; ++name, ++slot) {
                if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal)) continue;
                const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + name->u1.AddressOfData);
                if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) != 0) continue;
                slot_ = &slot->u1.Function;
                original_ = *slot_;
                Write(reinterpret_cast<ULONG_PTR>(replacement));
                break;
            }
        }
    }
    ~ImportPatch() {
        if (slot_) Write(original_);
    }
    ImportPatch(const ImportPatch&) = delete;
    ImportPatch& operator=(const ImportPatch&) = delete;
    bool Applied() const { return slot_ != nullptr; }

private:
    void Write(ULONG_PTR value) {
        DWORD previous = 0;
        VirtualProtect(slot_, sizeof *slot_, PAGE_READWRITE, &previous);
        *slot_ = value;
        VirtualProtect(slot_, sizeof *slot_, previous, &previous);
    }

    ULONG_PTR* slot_ = nullptr;
    ULONG_PTR original_ = 0;
};

}  // namespace testsupport
