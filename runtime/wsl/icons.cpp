#include "runtime/wsl/icons.h"

#include <shellapi.h>

#include <cstdlib>

namespace vel::wsl {

std::string IconResourceName(const std::string& name) {
  std::string out = name;
  for (char& c : out) {
    if (c == '.') c = '_';
    else if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

HICON LoadIconByName(const std::string& given, bool resource) {
  std::string name = given;
  if (name.empty()) return nullptr;
  int index = 0;
  if (name.back() == ']') {
    const std::size_t open = name.rfind('[');
    if (open != std::string::npos) {
      index = std::atoi(name.c_str() + open + 1);
      name.resize(open);
    }
  }
  if (!name.empty() && name[0] == '~') {
    name.erase(0, 1);
    resource = true;
  }
  if (resource) {
    const std::string id = IconResourceName(name);
    auto shared = static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), id.c_str(), IMAGE_ICON, 0, 0,
                                                LR_DEFAULTSIZE | LR_SHARED));
    return shared ? CopyIcon(shared) : nullptr;  // shared icons must not be destroyed
  }
  HICON icon = nullptr;
  return ExtractIconExA(name.c_str(), index, &icon, nullptr, 1) > 0 ? icon : nullptr;
}

}  // namespace vel::wsl
