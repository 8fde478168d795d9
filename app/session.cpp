// Session and connection calls. Every call into the library runs with the runtime lock given
// up (ui.h, Net); the values it needs are read from the globals before that.
#include "app/session.h"

#include <string>

#include "app/globals.h"
#include "app/status_callback.h"
#include "app/text.h"
#include "app/ui.h"

namespace ftpcl {

HINTERNET OpenSession(DWORD flags) {
  const bool preconfig = g.useproxyconfig != 0;
  const std::string proxy = Clipped(g.proxy);
  return Net([&] {
    if (preconfig) return InternetOpenA(g.agentname, INTERNET_OPEN_TYPE_PRECONFIG, g.emptytext, g.emptytext, flags);
    if (!proxy.empty()) return InternetOpenA(g.agentname, INTERNET_OPEN_TYPE_PROXY, g.proxy, g.emptytext, flags);
    return InternetOpenA(g.agentname, INTERNET_OPEN_TYPE_DIRECT, g.emptytext, g.emptytext, flags);
  });
}

HINTERNET ConnectCall(HINTERNET session, DWORD_PTR context, DWORD* error) {
  const std::string server = CText(g.servername), user = CText(g.username), password = CText(g.password);
  const DWORD flags = g.connectflags;
  return Net([&] {
    HINTERNET h = InternetConnectA(session, server.c_str(), INTERNET_INVALID_PORT_NUMBER, user.c_str(),
                                   password.c_str(), INTERNET_SERVICE_FTP, flags, context);
    *error = h ? 0 : GetLastError();
    return h;
  });
}

void ConnectServer() {
  // Chains start only when the last one has ended, so its connection has no further use: it
  // is closed here rather than left open until a listing replaces the session (a series of
  // downloads would otherwise hold one server connection each, and servers limit them).
  CloseInternetHandle(&g.ophandle);
  DWORD error = 0;
  g.connecthandle = ConnectCall(g.sessionhandle, 1, &error);
  if (error && error != ERROR_IO_PENDING) ReportRequestFailure(error);
}

void CloseInternetHandle(HINTERNET* handle) {
  HINTERNET h = *handle;
  *handle = nullptr;
  if (h) Net([h] { return InternetCloseHandle(h); });
}

}  // namespace ftpcl
