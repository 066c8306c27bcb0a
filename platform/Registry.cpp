#include "Registry.h"

#include <vector>

namespace platform {

namespace {

bool IsPredefined(HKEY key) {
    return reinterpret_cast<ULONG_PTR>(key) >= reinterpret_cast<ULONG_PTR>(HKEY_CLASSES_ROOT) &&
           reinterpret_cast<ULONG_PTR>(key) <= reinterpret_cast<ULONG_PTR>(HKEY_CURRENT_USER_LOCAL_SETTINGS);
}

// What the registry can hold: a key name (one part of a path) of at most 255 characters,
// a value name of at most 16,383, and a path of at most 32,767 (the longest text the
// registry functions take). The system does not always refuse more: it keeps an ANSI
// text's length in 16 bits, so a text of 64 KiB and more reaches the registry cut short,
// and its beginning names some other key (the root itself, when nothing is left) or
// value (the default one). Such a path or name is refused before anything is opened.
constexpr size_t kMaxKeyNameLength = 255;
constexpr size_t kMaxKeyPathLength = 32767;
constexpr size_t kMaxValueNameLength = 16383;

// Strips leading and trailing backslashes: Win32 rejects a leading one.
AnsiString StripSlashes(const AnsiString& path) {
    size_t b = 0, e = path.size();
    while (b < e && path[b] == '\\') ++b;
    while (e > b && path[e - 1] == '\\') --e;
    return path.substr(b, e - b);
}

LONG DeleteTree(HKEY parent, const AnsiString& name) {
    HKEY key = nullptr;
    LONG rc = RegOpenKeyExA(parent, name.c_str(), 0, KEY_ALL_ACCESS, &key);
    if (rc != ERROR_SUCCESS) return rc;
    // Collect the names first: deleting while enumerating shifts the indexes.
    std::vector<AnsiString> children;
    char buf[256];
    for (DWORD i = 0;; ++i) {
        DWORD len = sizeof buf;
        if (RegEnumKeyExA(key, i, buf, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        children.emplace_back(buf, len);
    }
    for (const AnsiString& child : children) {
        rc = DeleteTree(key, child);
        if (rc != ERROR_SUCCESS) break;
    }
    RegCloseKey(key);
    return rc == ERROR_SUCCESS ? RegDeleteKeyA(parent, name.c_str()) : rc;
}

}  // namespace

void TRegistry::CheckKeyPath(const AnsiString& path) {
    const AnsiString relative = StripSlashes(path);
    if (relative.size() > kMaxKeyPathLength)
        throw ERegistryException("Registry key path too long (" + IntToStr(static_cast<int64_t>(relative.size())) +
                                 " characters)");
    size_t start = 0;
    for (;;) {
        const size_t end = relative.find('\\', start);
        const size_t stop = end == AnsiString::npos ? relative.size() : end;
        if (stop - start > kMaxKeyNameLength)
            throw ERegistryException("Registry key name too long (" + IntToStr(static_cast<int64_t>(stop - start)) +
                                     " characters)");
        if (end == AnsiString::npos) return;
        start = end + 1;
    }
}

void TRegistry::CheckValueName(const AnsiString& name) {
    if (name.size() > kMaxValueNameLength)
        throw ERegistryException("Registry value name too long (" + IntToStr(static_cast<int64_t>(name.size())) +
                                 " characters)");
}

TRegistry::TRegistry(REGSAM access) : access_(access) {}

TRegistry::~TRegistry() { CloseKey(); }

void TRegistry::SetRootKey(HKEY root) {
    CloseKey();
    root_ = root;
}

void TRegistry::CloseKey() {
    if (current_ && !IsPredefined(current_)) RegCloseKey(current_);
    current_ = nullptr;
}

HKEY TRegistry::BaseFor(const AnsiString& path, AnsiString& relative) const {
    const bool absolute = !path.empty() && path[0] == '\\';
    relative = StripSlashes(path);
    CheckKeyPath(relative);
    return (absolute || !current_) ? root_ : current_;
}

HKEY TRegistry::OpenRaw(const AnsiString& path, REGSAM access, bool create) {
    AnsiString relative;
    HKEY base = BaseFor(path, relative);
    HKEY key = nullptr;
    if (create)
        lastError_ = RegCreateKeyExA(base, relative.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                                     nullptr, &key, nullptr);
    else
        lastError_ = RegOpenKeyExA(base, relative.c_str(), 0, access, &key);
    return lastError_ == ERROR_SUCCESS ? key : nullptr;
}

bool TRegistry::EnterKey(const AnsiString& path, bool create) {
    HKEY key = OpenRaw(path, access_, create);
    if (!key) return false;
    CloseKey();
    current_ = key;
    return true;
}

bool TRegistry::EnterKeyReadOnly(const AnsiString& path) {
    HKEY key = OpenRaw(path, KEY_READ, false);
    if (!key) return false;
    CloseKey();
    current_ = key;
    return true;
}

bool TRegistry::MakeKey(const AnsiString& path) {
    HKEY key = OpenRaw(path, access_, true);
    if (!key) return false;
    RegCloseKey(key);
    return true;
}

bool TRegistry::KeyExists(const AnsiString& path) {
    HKEY key = OpenRaw(path, KEY_QUERY_VALUE, false);
    if (!key) return false;
    RegCloseKey(key);
    return true;
}

bool TRegistry::RemoveKey(const AnsiString& path) {
    AnsiString relative;
    HKEY base = BaseFor(path, relative);
    if (relative.empty()) {
        lastError_ = ERROR_INVALID_PARAMETER;
        return false;
    }
    lastError_ = DeleteTree(base, relative);
    return lastError_ == ERROR_SUCCESS;
}

bool TRegistry::RemoveValue(const AnsiString& name) {
    RequireOpen();
    CheckValueName(name);
    lastError_ = RegDeleteValueA(current_, name.c_str());
    return lastError_ == ERROR_SUCCESS;
}

bool TRegistry::ValueExists(const AnsiString& name) const {
    if (!current_) return false;
    CheckValueName(name);
    lastError_ = RegQueryValueExA(current_, name.c_str(), nullptr, nullptr, nullptr, nullptr);
    return lastError_ == ERROR_SUCCESS;
}

void TRegistry::RequireOpen() const {
    if (!current_) throw ERegistryException("No registry key is open");
}

AnsiString TRegistry::GetString(const AnsiString& name) const {
    RequireOpen();
    CheckValueName(name);
    DWORD type = 0, size = 0;
    lastError_ = RegQueryValueExA(current_, name.c_str(), nullptr, &type, nullptr, &size);
    if (lastError_ == ERROR_FILE_NOT_FOUND) return AnsiString();
    if (lastError_ != ERROR_SUCCESS)
        throw ERegistryException("Failed to get data for '" + name + "'");
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        throw ERegistryException("Invalid data type for '" + name + "'");
    std::vector<char> buf(size + 1, '\0');
    lastError_ = RegQueryValueExA(current_, name.c_str(), nullptr, &type,
                                  reinterpret_cast<BYTE*>(buf.data()), &size);
    if (lastError_ != ERROR_SUCCESS)
        throw ERegistryException("Failed to get data for '" + name + "'");
    // Stored strings may or may not carry their terminator.
    return AnsiString(buf.data());
}

void TRegistry::PutString(const AnsiString& name, const AnsiString& value) {
    RequireOpen();
    CheckValueName(name);
    lastError_ = RegSetValueExA(current_, name.c_str(), 0, REG_SZ,
                                reinterpret_cast<const BYTE*>(value.c_str()),
                                static_cast<DWORD>(value.size() + 1));
    if (lastError_ != ERROR_SUCCESS)
        throw ERegistryException("Failed to set data for '" + name + "'");
}

int32_t TRegistry::GetInteger(const AnsiString& name) const {
    RequireOpen();
    CheckValueName(name);
    DWORD type = 0, value = 0, size = sizeof value;
    lastError_ = RegQueryValueExA(current_, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    if (lastError_ != ERROR_SUCCESS || type != REG_DWORD)
        throw ERegistryException("Invalid data type for '" + name + "'");
    return static_cast<int32_t>(value);
}

void TRegistry::PutInteger(const AnsiString& name, int32_t value) {
    RequireOpen();
    CheckValueName(name);
    const DWORD raw = static_cast<DWORD>(value);
    lastError_ = RegSetValueExA(current_, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&raw),
                                sizeof raw);
    if (lastError_ != ERROR_SUCCESS)
        throw ERegistryException("Failed to set data for '" + name + "'");
}

void TRegistry::GetKeyNames(TStrings& names) const {
    names.Clear();
    if (!current_) return;
    char buf[256];
    for (DWORD i = 0;; ++i) {
        DWORD len = sizeof buf;
        const LONG rc = RegEnumKeyExA(current_, i, buf, &len, nullptr, nullptr, nullptr, nullptr);
        if (rc != ERROR_SUCCESS) break;
        names.Add(AnsiString(buf, len));
    }
}

void TRegistry::GetValueNames(TStrings& names) const {
    names.Clear();
    if (!current_) return;
    std::vector<char> buf(16384);
    for (DWORD i = 0;; ++i) {
        DWORD len = static_cast<DWORD>(buf.size());
        const LONG rc = RegEnumValueA(current_, i, buf.data(), &len, nullptr, nullptr, nullptr, nullptr);
        if (rc != ERROR_SUCCESS) break;
        names.Add(AnsiString(buf.data(), len));
    }
}

bool TRegistry::HasSubKeys() const {
    if (!current_) return false;
    DWORD subKeys = 0;
    lastError_ = RegQueryInfoKeyA(current_, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr,
                                  nullptr, nullptr, nullptr, nullptr);
    return lastError_ == ERROR_SUCCESS && subKeys > 0;
}

}  // namespace platform
