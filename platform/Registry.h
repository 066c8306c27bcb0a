// TRegistry: the runtime's registry class over the Win32 registry. One key is open
// at a time; paths starting with a backslash are taken from the root key, others from
// the open key (or the root when none is open). A key path or value name the registry
// cannot hold raises ERegistryException before anything is opened. Used by the exports,
// the Btrieve library's configuration and aliases, and the Oracle client discovery.
#pragma once

#include <windows.h>

#include "StringList.h"
#include "SysUtils.h"

namespace platform {

class ERegistryException : public Exception { using Exception::Exception; };

class TRegistry {
public:
    explicit TRegistry(REGSAM access = KEY_ALL_ACCESS);
    ~TRegistry();
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;

    void SetRootKey(HKEY root);
    HKEY RootKey() const { return root_; }
    HKEY CurrentKey() const { return current_; }
    void SetAccess(REGSAM access) { access_ = access; }

    // Opens the key, creating it with its parents when asked; false when it cannot.
    bool EnterKey(const AnsiString& path, bool create);
    // Opens an existing key for reading only.
    bool EnterKeyReadOnly(const AnsiString& path);
    void CloseKey();

    // Creates the key path; an existing key counts as success.
    bool MakeKey(const AnsiString& path);
    bool KeyExists(const AnsiString& path);
    // Deletes the key with all its subkeys; false when it is missing or cannot go.
    bool RemoveKey(const AnsiString& path);
    // Deletes a value of the open key; false when it is missing or cannot go.
    bool RemoveValue(const AnsiString& name);
    bool ValueExists(const AnsiString& name) const;

    // Reading a missing value gives "" (or raises for integers); a value of another
    // type raises ERegistryException, as do failed writes.
    AnsiString GetString(const AnsiString& name) const;
    void PutString(const AnsiString& name, const AnsiString& value);
    int32_t GetInteger(const AnsiString& name) const;
    void PutInteger(const AnsiString& name, int32_t value);

    // Subkey and value names of the open key, in the registry's enumeration order.
    void GetKeyNames(TStrings& names) const;
    void GetValueNames(TStrings& names) const;
    bool HasSubKeys() const;

    // Raise ERegistryException for a key path (a part of it beyond 255 characters, or the
    // whole beyond 32,767) or a value name (beyond 16,383) the registry cannot hold; every
    // operation checks its own, a caller checks first what must be refused before it acts.
    static void CheckKeyPath(const AnsiString& path);
    static void CheckValueName(const AnsiString& name);

    // The Win32 error of the last failed operation (0 after success).
    LONG LastError() const { return lastError_; }

private:
    // Splits a path into the key it starts from and the relative rest.
    HKEY BaseFor(const AnsiString& path, AnsiString& relative) const;
    HKEY OpenRaw(const AnsiString& path, REGSAM access, bool create);
    void RequireOpen() const;

    HKEY root_ = HKEY_CURRENT_USER;
    HKEY current_ = nullptr;
    REGSAM access_;
    mutable LONG lastError_ = 0;
};

}  // namespace platform
