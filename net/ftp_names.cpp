// Server-name and proxy-list parsing.
#include "net/ftp_names.h"

#include <algorithm>
#include <iterator>

#include "net/ftp_listing.h"

namespace vel::net {

namespace {

bool ParsePort(std::string_view s, int* port) {
  if (s.empty() || s.size() > 5) return false;
  int n = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + (c - '0');
  }
  if (n < 1 || n > 65535) return false;
  *port = n;
  return true;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

template <typename F>
void ForEachEntry(std::string_view list, F f) {
  size_t pos = 0;
  while (pos <= list.size()) {
    size_t end = list.find_first_of("; ,\t", pos);
    if (end == std::string_view::npos) end = list.size();
    std::string_view e = Trim(list.substr(pos, end - pos));
    if (!e.empty() && !f(e)) return;
    pos = end + 1;
  }
}

}  // namespace

bool SplitServerName(std::string_view in, std::string* host, int* port) {
  *port = 0;
  in = Trim(in);
  if (in.empty()) return false;
  if (in.front() == '[') {
    size_t close = in.find(']');
    if (close == std::string_view::npos || close == 1) return false;
    host->assign(in.substr(1, close - 1));
    std::string_view rest = in.substr(close + 1);
    if (rest.empty()) return true;
    return rest.front() == ':' && ParsePort(rest.substr(1), port);
  }
  size_t first = in.find(':');
  if (first == std::string_view::npos) {
    host->assign(in);
    return true;
  }
  if (in.find(':', first + 1) != std::string_view::npos) {  // bare IPv6 literal
    host->assign(in);
    return true;
  }
  if (first == 0) return false;
  host->assign(in.substr(0, first));
  return ParsePort(in.substr(first + 1), port);
}

bool SplitServerUrl(std::string_view in, FtpSecurity* security, std::string* host, int* port) {
  static const struct {
    std::string_view scheme;  // lower case, without "://"
    FtpSecurity security;
  } kSchemes[] = {{"ftp", FtpSecurity::None}, {"ftpes", FtpSecurity::Explicit}, {"ftps", FtpSecurity::Implicit}};
  in = Trim(in);
  *security = FtpSecurity::None;
  size_t sep = in.find("://");
  if (sep != std::string_view::npos && sep < in.find('[')) {
    std::string_view scheme = in.substr(0, sep);
    auto known = std::find_if(std::begin(kSchemes), std::end(kSchemes), [&](const auto& s) {
      return std::equal(scheme.begin(), scheme.end(), s.scheme.begin(), s.scheme.end(),
                        [](char a, char b) { return (a >= 'A' && a <= 'Z' ? a + 32 : a) == b; });
    });
    if (known == std::end(kSchemes)) return false;
    *security = known->security;
    in.remove_prefix(sep + 3);
    if (!in.empty() && in.back() == '/') in.remove_suffix(1);
  }
  if (in.find('/') != std::string_view::npos) return false;  // a path is no part of a server name
  return SplitServerName(in, host, port);
}

bool FtpProxyFrom(std::string_view list, std::string* hostPort) {
  std::string generic;
  bool found = false;
  ForEachEntry(list, [&](std::string_view e) {
    size_t eq = e.find('=');
    if (eq == std::string_view::npos) {
      if (generic.empty()) generic.assign(e);
      return true;
    }
    std::string_view scheme = e.substr(0, eq);
    if (scheme.size() == 3 && (scheme[0] | 0x20) == 'f' && (scheme[1] | 0x20) == 't' &&
        (scheme[2] | 0x20) == 'p') {
      std::string_view v = e.substr(eq + 1);
      if (v.substr(0, 6) == "ftp://") v.remove_prefix(6);
      if (!v.empty() && v.back() == '/') v.remove_suffix(1);
      hostPort->assign(v);
      found = !v.empty();
      return !found;
    }
    return true;
  });
  if (found) return true;
  if (generic.empty()) return false;
  std::string_view v = generic;
  if (v.substr(0, 6) == "ftp://") v.remove_prefix(6);
  hostPort->assign(v);
  return !v.empty();
}

bool ProxyBypassed(std::string_view bypass, std::string_view host) {
  bool hit = false;
  ForEachEntry(bypass, [&](std::string_view e) {
    if (e == "<local>")
      hit = host.find('.') == std::string_view::npos && host.find(':') == std::string_view::npos;
    else
      hit = WildMatch(e, host);
    return !hit;
  });
  return hit;
}

}  // namespace vel::net
