// Icons by name: the one lookup rule shared by window icons, the Icon property, list icon
// lists and the message box.
#pragma once
#include <windows.h>

#include <string>

namespace vel::wsl {

// The resource name an icon file name maps to: "." becomes "_", letters are upper-cased
// ("~openfold.ico" -> "OPENFOLD_ICO"; the caller strips the "~").
std::string IconResourceName(const std::string& name);

// Loads an icon the caller owns (DestroyIcon), or null. `module` holds the program's own icon
// resources: a window's icon comes from the module whose resource held its descriptor; null
// means the executable.
//  - a stock-resource reference (bytes FF, kind, u16 identifier, as in descriptors): kind 1
//    the platform's stock icon identifier - 1, kind 2 the program's own icon identifier - 1;
//    identifier 0 gives none;
//  - "[n]" at the end selects icon n of a file (default 0);
//  - a leading "~", or `resource`, loads the program's icon resource of the mapped name;
//  - otherwise the icon is taken from the named icon, executable or library file.
HICON LoadIconByName(const std::string& name, bool resource, HMODULE module = nullptr);
// The reference form on its own, and the 4-byte text that names it (FF, kind, low, high).
HICON LoadIconByReference(unsigned kind, unsigned value, HMODULE module = nullptr);
std::string IconReferenceText(unsigned kind, unsigned value);
// Reads the reference form (icons and cursors alike): false when `name` is not one (it does
// not start with FF or is shorter than 4 bytes).
bool ParseResourceReference(const std::string& name, unsigned* kind, unsigned* value);

}  // namespace vel::wsl
