// Server names and proxy settings as text: "host", "host:port", "[v6]:port", a bare IPv6
// literal, each optionally behind a scheme that chooses FTP over TLS; the proxy list of the system settings ("ftp=host:port;http=..." or "host:port") and
// the bypass list. Portable (no Windows headers).
#pragma once
#include <string>
#include <string_view>

namespace vel::net {

// Splits a server name. *port is 0 when the name carries none. False for an empty host, an
// unclosed "[", or a port that is not 1..65535.
bool SplitServerName(std::string_view in, std::string* host, int* port);

// How a connection is protected: not at all, TLS after "AUTH TLS" on the FTP port (explicit),
// or TLS from the first byte (implicit, port 990 by default).
enum class FtpSecurity { None, Explicit, Implicit };
// A server name as users type it: an optional scheme in any letter case ("ftp://" plain,
// "ftpes://" explicit TLS, "ftps://" implicit TLS), the name SplitServerName takes, and at most
// one trailing "/". *security is FtpSecurity::None without a scheme. False for another scheme,
// a path after the name, or what SplitServerName refuses.
bool SplitServerUrl(std::string_view in, FtpSecurity* security, std::string* host, int* port);
// The FTP proxy named by a proxy list: its "ftp=" entry, else an entry without a scheme.
// False when the list names none.
bool FtpProxyFrom(std::string_view list, std::string* hostPort);
// Whether the bypass list ("<local>;*.example.org;10.*") exempts the host from the proxy.
bool ProxyBypassed(std::string_view bypass, std::string_view host);

}  // namespace vel::net
