// TAliasLock: the machine-wide lock of one alias of the library's registry. An alias is
// one registry key for the whole machine: a program that sets it and then opens a database
// through it would open whatever directory another program set in between. Every program
// that writes an alias and opens by it (setrix.dll's Btrieve exports, ecdump) holds the
// alias's lock from writing it until it is done with the database it named. The lock is a
// named mutex; one left by a program that was killed while holding it is taken over.
#pragma once

#include "platform/SysUtils.h"
#include "platform/TextFile.h"

namespace btrieve {

class TAliasLock {
public:
    // Waits as long as another program holds the alias; raises platform::Exception when
    // the lock cannot be had at all.
    explicit TAliasLock(const platform::AnsiString& aliasName);
    ~TAliasLock();
    TAliasLock(const TAliasLock&) = delete;
    TAliasLock& operator=(const TAliasLock&) = delete;

    // The mutex's name for an alias: one per alias key, whatever the letter case.
    static platform::AnsiString MutexName(const platform::AnsiString& aliasName);

private:
    platform::THandleOwner mutex_;
};

}  // namespace btrieve
