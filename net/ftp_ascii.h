// ASCII-mode line ends. Both directions use one rule: a LF not preceded by CR becomes CR LF, so
// Unix text gains CR LF and text already in CR LF form passes unchanged (on the wire for
// uploads, on disk for downloads). State: whether the previous byte of the stream was CR, so a
// CR LF pair split across two chunks is not doubled. Portable.
#pragma once
#include <cstddef>
#include <string>

namespace vel::net {

class CrlfConverter {
 public:
  // Appends the converted bytes to out (cleared first).
  void Convert(const char* p, size_t n, std::string* out) {
    out->clear();
    out->reserve(n + n / 16 + 2);
    for (size_t i = 0; i < n; ++i) {
      char c = p[i];
      if (c == '\n' && !lastCr_) out->push_back('\r');
      out->push_back(c);
      lastCr_ = c == '\r';
    }
  }

 private:
  bool lastCr_ = false;
};

}  // namespace vel::net
