// Icons by name: the one lookup rule shared by window icons, the Icon property, list icon
// lists and the message box.
#pragma once
#include <windows.h>

#include <string>

namespace vel::wsl {

// The resource name an icon file name maps to: "." becomes "_", letters are upper-cased
// ("~openfold.ico" -> "OPENFOLD_ICO"; the caller strips the "~").
std::string IconResourceName(const std::string& name);

// Loads an icon the caller owns (DestroyIcon), or null.
//  - "[n]" at the end selects icon n of a file (default 0);
//  - a leading "~", or `resource`, loads the program's icon resource of the mapped name;
//  - otherwise the icon is taken from the named icon, executable or library file.
HICON LoadIconByName(const std::string& name, bool resource);

}  // namespace vel::wsl
