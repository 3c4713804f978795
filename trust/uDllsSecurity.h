// The process-wide library search restriction and the signer check that
// product libraries must pass.
#pragma once
#include <string>

namespace vt {

// Accepts a library signed by an accepted signer; "rerava.dll" signed by
// anyone; any other library only when the setup executable itself is not
// signed by an accepted signer.
bool DllLoadCheck(const std::wstring& Path);

// Restricts the default library search to the system folder and registers
// DllLoadCheck. Runs after every unit that loads libraries at start-up.
void DllsSecurityInitialization();

}  // namespace vt
