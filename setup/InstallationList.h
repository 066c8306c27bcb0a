// The product's installations as the installation script lists them: one line per
// installation directory with its version, for the product (dexal.ctl) or for its GATE
// component (gate.ctl).
#pragma once

#include "platform/SysUtils.h"

namespace setrix {

enum class TInstalledComponent { Product, Gate };

// Sorted installation lines ("Orvel <version>  -  D" or "GATE <version>  -  D") for the
// control-file paths of the list text, joined by CR LF without a final line end. A path
// counts when D\Programm holds the component's control file and D holds an INI file.
platform::AnsiString InstallationLines(TInstalledComponent component, const platform::AnsiString& paths,
                                       const platform::AnsiString& listPath);

}  // namespace setrix
