#include "oracle/oci/OraSQL.h"

#include <cmath>
#include <vector>

#include "oracle/core/CustomDADataSet.h"
#include "oracle/core/SharedObject.h"
#include "oracle/oci/OCICommand.h"
#include "oracle/oci/OCIConnection.h"
#include "oracle/oci/OraError.h"
#include "oracle/oci/OraParamDesc.h"
#include "oracle/oci/OraParser.h"
#include "oracle/oci/OraSession.h"

namespace oracle {

using namespace platform;

namespace {

// Types whose value lives in a shared object the descriptor binds directly.
bool SharesValueObject(TFieldType type) {
    switch (type) {
        case ftBlob: case ftMemo: case ftCursor: case ftADT: case ftArray: case ftReference: case ftDataSet:
        case ftOraBlob: case ftOraClob: return true;
        default: return type == FieldTypeBFile;
    }
}

}  // namespace

TOraSQL::TOraSQL(TComponent* owner, TCustomDADataSet* owningDataSet) : TCustomDASQL(owner, owningDataSet) {
    Macros().SetParserClass(&CreateParser<TOraParser>);
}

TOraSQL::~TOraSQL() {
    // The base's teardown must not reach the command this statement made itself.
    if (ownCommand_ && Command() == ownCommand_.get()) {
        try {
            Unprepare();
        } catch (...) {
            // A destructor must not throw; the command goes anyway.
        }
        FreeCommand();
    }
}

const TClassInfo& TOraSQL::StaticClassInfo() {
    static const TClassInfo info = [] {
        TClassInfo i = TClassInfo::Of<TOraSQL>("TOraSQL", &TCustomDASQL::StaticClassInfo());
        i.ComponentProperty("Session", &TOraSQL::SetSession);
        i.Property("NonBlocking", &TOraSQL::NonBlocking, &TOraSQL::SetNonBlocking);
        return i;
    }();
    return info;
}

TOraSession* TOraSQL::Session() const { return static_cast<TOraSession*>(Connection()); }

void TOraSQL::SetSession(TOraSession* session) { SetConnection(session); }

void TOraSQL::SetNonBlocking(bool value) {
    TCustomDASQL::NonBlocking = value;
    if (Command()) Command()->SetProp(prNonBlocking, Variant(value));
}

std::unique_ptr<TParams> TOraSQL::NewParamsObject() { return std::make_unique<TOraParams>(this); }

void TOraSQL::NewCommand() {
    TCustomDASQL::NewCommand();
    if (Command() && Command() != ownCommand_.get()) ownCommand_.reset();
    if (!Command()) {
        // An Oracle command without a connection, made the one way the connection class offers.
        TOCIConnection maker;
        ownCommand_ = maker.CreateCommand();
        ownCommand_->SetConnection(nullptr);
        AttachCommand(ownCommand_.get());
    }
}

void TOraSQL::AttachCommand(TQdCommand* command) {
    TCustomDASQL::AttachCommand(command);
    // Commands start blocking: only a switched-on statement has anything to hand over.
    if (command && TCustomDASQL::NonBlocking) command->SetProp(prNonBlocking, Variant(true));
}

TCustomDAConnection* TOraSQL::CommandConnection() const {
    if (Connection()) return Connection();
    if (OwningDataSet()) return OwningDataSet()->UsedConnection();
    return DefaultSession();
}

void TOraSQL::StatementTextChanged() {
    struct TKeptValue {
        AnsiString name;
        TFieldType type;
        TSharedObject* object;
    };
    std::vector<TKeptValue> kept;
    // The parameters exist from the end of construction on, before any text arrives.
    for (int i = 0; i < Params().Count(); ++i) {
        TOraParam& param = Params().Items(i);
        if (!TOraParam::IsLobType(param.DataType()) && !TOraParam::IsObjectType(param.DataType())) continue;
        if (TSharedObject* object = param.ValueObject()) {
            object->AddRef();
            kept.push_back({param.Name(), param.DataType(), object});
        }
    }
    auto releaseKept = [&kept] {
        for (const TKeptValue& value : kept) value.object->Release();
    };
    try {
        TCustomDASQL::StatementTextChanged();
        // The generic rebuild copies plain values only: a LOB would come back empty.
        for (const TKeptValue& value : kept) {
            TOraParam* param = Params().FindParam(value.name);
            if (!param || param->DataType() != value.type || param->ValueObject() == value.object) continue;
            const bool bound = param->Bound();
            param->ShareValueObject(value.object);
            param->SetBound(bound);
        }
    } catch (...) {
        releaseKept();
        throw;
    }
    releaseKept();
}

void TOraSQL::ConnectionClosed() {
    Params().ReleaseServerHandles();
    TCustomDASQL::ConnectionClosed();
}

void TOraSQL::ExecuteIterations(int iterations) {
    try {
        TCustomDASQL::ExecuteIterations(iterations);
    } catch (const EOraError& error) {
        auto* session = dynamic_cast<TOraSession*>(CommandConnection());
        if (error.ErrorCode() != OraSuccessWithCompilationErrors || !session) throw;
        AnsiString listing;
        try {
            listing = session->GetCompileErrors(SQL().JoinedText());
        } catch (...) {
            // The listing is a courtesy: failing to read it must not hide the real error.
            throw error;
        }
        if (listing.empty()) throw;
        throw EOraError(error.ErrorCode(), listing);
    }
}

void TOraSQL::ParamsFromCommand() {
    TOraParams& params = Params();
    params.BeginUpdate();
    try {
        params.Clear();
        for (int i = 0; i < Command()->ParamCount(); ++i) {
            auto* desc = static_cast<TOraParamDesc*>(Command()->ParamAt(i));
            auto& param = static_cast<TOraParam&>(params.AddParam());
            param.SetName(desc->GetName());
            param.SetDataType(OraDataTypeToFieldType(desc->GetDataType()));
            param.SetParamType(static_cast<TParamType>(desc->GetParamType()));
            param.SetSize(desc->GetSize());
            param.SetTable(desc->IsTable());
            param.SetLength(desc->TableLength());
        }
    } catch (...) {
        params.EndUpdate();
        throw;
    }
    params.EndUpdate();
}

void TOraSQL::ParamValueIn(int index) {
    TOraParam& param = Params().Items(index);
    auto* desc = static_cast<TOraParamDesc*>(Command()->FindParam(param.Name()));
    if (!desc) return;
    const TFieldType type = param.DataType();
    desc->SetDataType(OraFieldTypeToDataType(type));
    desc->SetParamType(static_cast<uint8_t>(param.ParamType()));
    if (type == ftString || type == ftFixedChar) {
        const auto* session = dynamic_cast<const TOraSession*>(CommandConnection());
        desc->SetSize(param.Size() >= 1 ? param.Size() : session ? session->MaxStringSize() : 0);
    }
    desc->SetIsTable(param.Table());
    desc->SetTableLength(param.Length());
    if (SharesValueObject(type)) {
        desc->SetObject(param.ValueObject());
        desc->SyncNullFromObject();
        return;
    }
    Variant value = param.Value();
    // A date parameter carries whole days only.
    if (type == ftDate && !value.IsClear()) value = Variant::FromDateTime(std::trunc(value.AsDateTime()));
    desc->SetValue(value);
}

void TOraSQL::ParamValueOut(int index) {
    TOraParam& param = Params().Items(index);
    TParamDesc* desc = Command()->FindParam(param.Name());
    if (!desc || SharesValueObject(param.DataType())) return;
    Variant value;
    desc->GetValue(value);
    param.SetValue(value);
}

void TOraSQL::CopyToTarget(TPersistent& target) const {
    TCustomDASQL::CopyToTarget(target);
    if (auto* statement = dynamic_cast<TOraSQL*>(&target)) statement->SetNonBlocking(NonBlocking());
}

}  // namespace oracle
