// Fixtures of the OCI layer's tests: Oracle homes in the registry and on disk, the loader
// state saved and restored around a test, and the stand-in server's tnsnames folder.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "oracle/oci/OCIConnection.h"
#include "oracle/oci/OCIRecordSet.h"
#include "oracle/oci/OciLoader.h"

namespace oracle::testing {

// The folder of the test program, where the stand-in client DLLs are built.
std::string ProgramFolder();

// A fresh folder under the temporary directory, removed with the object.
class TTempFolder {
public:
    TTempFolder();
    ~TTempFolder();
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;
    const std::string& Path() const { return path_; }
    // Creates folder/relative (and its parents) and answers its full path.
    std::string MakeFolder(const std::string& relative) const;
    void CopyIn(const std::string& sourceFile, const std::string& relativeTarget) const;
    void Touch(const std::string& relative) const;

private:
    std::string path_;
};

// HKLM\SOFTWARE\ORACLE removed before and after the test, PATH and the loader reset and
// restored. Tests using it run under the "machine-registry" resource lock.
class OracleRegistryTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes HKLM\SOFTWARE\ORACLE[\subkey] value=text.
    void PutOracleValue(const std::string& subkey, const std::string& name, const std::string& value);
    void AddHome(const std::string& keyName, const std::string& name, const std::string& path);
    void SetPath(const std::string& value);
    // The message of the platform exception DetectOCI raises, or "" when none.
    std::string DetectFailure();

    TTempFolder folder_;

private:
    std::string savedPath_;
};

// Logged on to the stand-in server as scott/tiger@server_ through the client library
// library_ (both set before SetUp runs); skipped without a server fixture.
class StandinLogOnTest : public OracleRegistryTest {
protected:
    void SetUp() override;
    void LogOn(TOCIConnection& connection);
    // Runs a statement once.
    void Run(const std::string& sql);
    // An unopened record set over the query.
    std::unique_ptr<TOCIRecordSet> Query(const std::string& sql);

    const char* library_ = "oci.dll";
    const char* server_ = "SETRIX_TEST";
    TOCIConnection connection_;
};

// Puts another function into one slot of the loader's entry-point table for a scope (after
// the client is loaded), so that a test can stand for a client that answers differently.
template <class Proc>
class TEntryOverride {
public:
    TEntryOverride(Proc& slot, Proc replacement) : slot_(slot), saved_(slot) { slot_ = replacement; }
    ~TEntryOverride() { slot_ = saved_; }
    TEntryOverride(const TEntryOverride&) = delete;
    TEntryOverride& operator=(const TEntryOverride&) = delete;

private:
    Proc& slot_;
    Proc saved_;
};

// Dispatches the messages already posted to this thread (end reports of workers among them).
void PumpPending();
// Dispatches messages until the condition holds, waiting for each; step, when given, runs
// whenever the thread has waited a while without a message.
void PumpUntilDone(const std::function<bool()>& done, const std::function<void()>& step = {});

// A suffix for names of schema objects a test creates on the shared server: "_" + six
// base-36 characters drawn once per process + "_" + a serial. Process ids alone are not
// enough: Wine hands a finished process's id to a later one, which would meet the objects
// the earlier process left.
std::string UniqueNameSuffix();

// The stand-in server's folder (tnsnames.ora), exported as TNS_ADMIN; empty without a
// server fixture.
std::string StandinFolder();
#define REQUIRE_STANDIN_SERVER() \
    if (::oracle::testing::StandinFolder().empty()) GTEST_SKIP() << "no stand-in server"

}  // namespace oracle::testing
