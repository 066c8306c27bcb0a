// The engine binding of the dataset components: the session list and session component
// bound to this library's facade over the Btrieve engine, the library's engine lock, and
// its default session "Btrieve" that every database and table without a session of their
// own joins. The module's load code starts the binding; programs and the installation
// library use the concrete components of QbDatabase.h and QbTable.h.
#pragma once

#include <memory>

#include "btrieve/components/QnSession.h"

namespace btrieve {

class TQbSessionList : public TQnSessionlist {
public:
    // Starts the list (the engine lock is created); the destructor finishes it.
    TQbSessionList();
    ~TQbSessionList() override;

    TVirtEng* EngineInstance() override;
    TQnSession* PrimarySession() override;
    const platform::TClassInfo& SessionComponentClass() override;
    void CreateEngineLock() override;
    void DestroyEngineLock() override;
};

class TQbSession : public TQnSession {
public:
    using TQnSession::TQnSession;
    ~TQbSession() override { StopBeforeDestruction(); }
    static const platform::TClassInfo& StaticClassInfo();
    const platform::TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

    TVirtEng* EngineInstance() override;
    void AssignEngineInstance(std::unique_ptr<TVirtEng> engine) override;
    void EnterEngineLock() override;
    bool TryEnterEngineLock() override;
    void LeaveEngineLock() override;
    TQnSessionlist* BindSessionList() override;
    TSessionClass EngineSessionClass() override;
    TQnSession* PrimarySession() override;
    const platform::TClassInfo& DatabaseComponentClass() override;
    const platform::TClassInfo& TableComponentClass() override;
};

// The binding's module-wide state, for the other binding classes.
namespace qbbinding {
TVirtEng* Engine();
TQbSessionList* SessionList();
TQnSession* DefaultSession();
}  // namespace qbbinding

// Unit start and end of the binding: the session list, the default session "Btrieve"
// and the component classes known to form descriptions; the end frees the default
// session, then the list.
void StartQbBinding();
void StopQbBinding();

// The whole Btrieve access library's module start and end, in the library's order: the
// engines (the calling thread becomes the one that loads and unloads the client), the
// binding, the screen adapter of the components (in a program also COM for the main
// thread). Stopping runs the reverse and frees the client libraries.
void StartBtrieveLibrary(bool inProgram);
void StopBtrieveLibrary();

}  // namespace btrieve
