#include "btrieve/engines/ConversionFunctions.h"

#include <memory>

namespace btrieve {

namespace {

std::unique_ptr<TConversionFunctions>& Instance() {
    static std::unique_ptr<TConversionFunctions> instance;
    return instance;
}

}  // namespace

template <class Fn>
void TConversionFunctions::Bind(Fn& entry, const char* name) {
    entry = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    if (entry) return;
    // A missing entry point leaves that format unconvertible; the host goes on.
    const platform::AnsiString text =
        platform::AnsiString("Error Loading Dynamic Function ") + name + " from " + fileName_;
    OutputDebugStringA(text.c_str());
    if (!missing_.empty()) missing_ += ",";
    missing_ += name;
}

TConversionFunctions::TConversionFunctions() {
    for (const char* name : {"quillonc32.dll", "s2dtconv.dll"}) {
        module_ = LoadLibraryA(name);
        if (module_) {
            fileName_ = name;
            break;
        }
    }
    if (!module_) return;
    Bind(GetLongYMD, "Get_LongYMD");
    Bind(SetLongDate, "Set_LongDate");
    Bind(GetBinary, "Get_Binary");
    Bind(SetBinary, "Set_Binary");
    Bind(GetMagicDate, "Get_MagicDate");
    Bind(SetMagicDate, "Set_MagicDate");
    Bind(GetCtime, "Get_Ctime");
    Bind(SetCtime, "Set_Ctime");
    Bind(GetMagicNum100, "Get_MagicNum100");
    Bind(SetMagicNum100, "Set_MagicNum100");
    Bind(GetTasProTime, "Get_TasProTime");
    Bind(SetTasProTime, "Set_TasProTime");
    Bind(GetTasProNum, "Get_TasProNum");
    Bind(SetTasProNum, "Set_TasProNum");
    Bind(GetMagicTime, "Get_MagicTime");
    Bind(SetMagicTime, "Set_MagicTime");
    Bind(GetYMD, "Get_YMD");
    Bind(SetYMD, "Set_YMD");
    Bind(GetYYMMDD, "Get_YYMMDD");
    Bind(SetYYMMDD, "Set_YYMMDD");
    Bind(GetYYYYMMDD, "Get_YYYYMMDD");
    Bind(SetYYYYMMDD, "Set_YYYYMMDD");
    Bind(GetTasProDate, "Get_TasProDate");
    Bind(SetTasProDate, "Set_TasProDate");
    Bind(GetUDecimal, "Get_UDecimal");
    Bind(SetUDecimal, "Set_UDecimal");
    Bind(GetVBCurrency, "Get_VBCurrency");
    Bind(SetVBCurrency, "Set_VBCurrency");
    Bind(GetBtrieveDate, "Get_BtrieveDate");
    Bind(SetBtrieveDate, "Set_BtrieveDate");
    Bind(GetBtrieveTime, "Get_BtrieveTime");
    Bind(SetBtrieveTime, "Set_BtrieveTime");
}

TConversionFunctions::~TConversionFunctions() {
    if (module_) FreeLibrary(module_);
}

TConversionFunctions& GetConversionFunctions() {
    auto& instance = Instance();
    if (!instance) instance = std::make_unique<TConversionFunctions>();
    return *instance;
}

void FreeConversionFunctions() { Instance().reset(); }

}  // namespace btrieve
