// The process's ANSI code page (CP_ACP) as the name codec sees it: a character counts as held
// by the code page only under the strict conversion (runtime/core/text_codec.h): no best fit,
// no default character, and the same character back.
#pragma once
#include <windows.h>

#include <string>
#include <unordered_map>

#include "net/ftp_name_codec.h"

namespace vel::net {

class WindowsAnsiCodePage : public AnsiCodePage {
 public:
  WindowsAnsiCodePage();
  bool Encode(char32_t c, std::string* out) const override;
  bool Decode(std::string_view text, std::u32string* out) const override;

 private:
  UINT acp_;
  // Per object (one listing, one request): a folder of names in one script repeats characters.
  mutable std::unordered_map<char32_t, std::string> known_;
};

}  // namespace vel::net
