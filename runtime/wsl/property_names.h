// The property name table (runtime/wsl/property_names.cpp), made from the list in
// runtime/wsl/property_codes.h.
#pragma once

namespace vel::wsl {

struct PropertyName {
  const char* name;
  int code;
  int kind;
};
extern const PropertyName kPropertyNames[];
extern const int kPropertyNameCount;

}  // namespace vel::wsl
