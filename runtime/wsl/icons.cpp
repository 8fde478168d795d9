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

HICON LoadIconByReference(unsigned kind, unsigned value, HMODULE module) {
  if (value == 0 || value > 0x10000) return nullptr;
  const auto id = MAKEINTRESOURCEA(value - 1);
  if (kind == 1) {
    HICON shared = LoadIconA(nullptr, id);
    return shared ? CopyIcon(shared) : nullptr;
  }
  if (kind == 2) {
    auto shared = static_cast<HICON>(LoadImageA(module ? module : GetModuleHandleA(nullptr), id, IMAGE_ICON, 0,
                                                0, LR_DEFAULTSIZE | LR_SHARED));
    return shared ? CopyIcon(shared) : nullptr;
  }
  return nullptr;
}

std::string IconReferenceText(unsigned kind, unsigned value) {
  std::string s;
  s += '\xFF';
  s += static_cast<char>(kind);
  s += static_cast<char>(value & 0xFF);
  s += static_cast<char>((value >> 8) & 0xFF);
  return s;
}

bool ParseResourceReference(const std::string& name, unsigned* kind, unsigned* value) {
  if (name.size() < 4 || static_cast<unsigned char>(name[0]) != 0xFF) return false;
  *kind = static_cast<unsigned char>(name[1]);
  *value = static_cast<unsigned char>(name[2]) | (static_cast<unsigned char>(name[3]) << 8);
  return true;
}

HICON LoadIconByName(const std::string& given, bool resource, HMODULE module) {
  std::string name = given;
  if (name.empty()) return nullptr;
  if (static_cast<unsigned char>(name[0]) == 0xFF) {
    unsigned kind = 0, value = 0;
    return ParseResourceReference(name, &kind, &value) ? LoadIconByReference(kind, value, module) : nullptr;
  }
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
    auto shared = static_cast<HICON>(LoadImageA(module ? module : GetModuleHandleA(nullptr), id.c_str(),
                                                IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
    return shared ? CopyIcon(shared) : nullptr;  // shared icons must not be destroyed
  }
  HICON icon = nullptr;
  return ExtractIconExA(name.c_str(), index, &icon, nullptr, 1) > 0 ? icon : nullptr;
}

}  // namespace vel::wsl
