// The Btrieve library's two international-conversion registry values, written at load
// when they are missing.
#pragma once

namespace setrix {

// Creates HKLM "\SOFTWARE\Quillon\Btrieve\Configuration\Intl" when missing and sets
// "IgnoreAnsiOEM" and "IgnoreOEMAnsi" to 1 unless a value of that name exists. Never
// raises: without write access nothing is written.
void EnsureBtrieveIntlOptions() noexcept;

}  // namespace setrix
