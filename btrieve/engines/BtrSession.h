// TBtrSession: the engine session of the Btrieve engine. It reads the library's
// configuration under HKEY_LOCAL_MACHINE "\Software\Quillon\Btrieve", loads and
// initialises the Btrieve client (main thread only), gives every call of the session
// one client identifier, opens databases (an alias, or a directory with dictionary
// files) and stops the requester for its client when it goes. The facade makes it.
#pragma once

#include "btrieve/base/BaseSession.h"
#include "btrieve/engines/BtrieveApi.h"

namespace btrieve {

inline constexpr const char* kBtrieveRegistryRoot = "\\Software\\Quillon\\Btrieve";

class TBtrSession : public TBaseSession {
public:
    TBtrSession(TBapiListItem* facade, const char* directory, const char* name, TQuillonCollection* collection);
    ~TBtrSession() override;

    void InitEngine() override;
    AnsiString GetDriverName() const override { return "BTRIEVE"; }
    void CreateDatabaseObject(const TDatabaseDesc& desc, TBaseDatabase*& database, int32_t openMode,
                              int32_t shareMode, const char* password, uint16_t paramCount,
                              const TEngineFieldDesc* paramDescs, const char* paramValues) override;
    void OpenDatabase(const char* name, int32_t openMode, int32_t shareMode, const char* password,
                      uint16_t paramCount, const TEngineFieldDesc* paramDescs, const char* paramValues,
                      TBaseDatabase*& database) override;
    void TranslateRecordStructure(const char* driverType, uint16_t count, const TEngineFieldDesc* logical,
                                  TEngineFieldDesc* physical) override;

    const uint8_t* ClientId() const { return clientId_; }
    bool DatabaseOpened() const { return databaseOpened_; }
    bool IgnoresAnsiToOem() const { return skipAnsiToOem_; }
    bool IgnoresOemToAnsi() const { return skipOemToAnsi_; }

    // What the configuration gives a session being made.
    struct TStartup {
        bool hasDirectory = false;
        AnsiString directory;
        bool hasName = false;
        AnsiString name;
        bool ignoreAnsiOem = false;
        bool ignoreOemAnsi = false;
    };

protected:
    void MarkDatabaseOpened() { databaseOpened_ = true; }

private:
    TBtrSession(TBapiListItem* facade, const TStartup& startup, TQuillonCollection* collection);
    static TStartup ReadConfiguration(const char* directory, const char* name);
    void BuildClientId();

    uint8_t clientId_[kClientIdSize] = {};
    bool databaseOpened_ = false;
};

// Engine unit start and stop, called by the module's load and unload code: the starting
// thread becomes the one that loads and unloads the client; stopping frees the client
// and the conversion library.
void StartBtrieveEngines();
void StopBtrieveEngines();

}  // namespace btrieve
