// The program's property name table: every name of runtime/wsl/property_codes.h with its code
// and kind, in that header's order. Aliases share a code.
#include "runtime/wsl/property_names.h"

#include "runtime/wsl/property_codes.h"

namespace vel::wsl {

#define VEL_PROPERTY_ROW(name, code, kind) {#name, kProp##name, kind},
const PropertyName kPropertyNames[] = {VEL_PROPERTY_NAMES(VEL_PROPERTY_ROW)};
#undef VEL_PROPERTY_ROW
const int kPropertyNameCount = sizeof kPropertyNames / sizeof kPropertyNames[0];

}  // namespace vel::wsl
