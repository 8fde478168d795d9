// Session and connection calls. Every call into the library runs with the runtime lock given
// up (ui.h, Net); the values it needs are read from the globals before that.
#include "app/session.h"

#include <string>

#include "app/closed_handles.h"
#include "app/globals.h"
#include "app/stall.h"
#include "app/text.h"
#include "app/ui.h"

namespace ftpcl {

void TakeSessionProfile() {
  g.session.preconfig = g.useproxyconfig != 0;
  g.session.proxy = Clipped(g.proxy);
}

void TakeServerProfile() {
  g.connected.server = CText(g.servername);
  g.connected.user = CText(g.username);
  g.connected.password = CText(g.password);
  g.connected.flags = g.connectflags;
}

HINTERNET OpenSession(DWORD flags) {
  const SessionProfile p = g.session;
  const std::string agent = CText(g.agentname), none = CText(g.emptytext);
  return Net([&] {
    if (p.preconfig) return InternetOpenA(agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, none.c_str(), none.c_str(), flags);
    if (!p.proxy.empty())
      return InternetOpenA(agent.c_str(), INTERNET_OPEN_TYPE_PROXY, p.proxy.c_str(), none.c_str(), flags);
    return InternetOpenA(agent.c_str(), INTERNET_OPEN_TYPE_DIRECT, none.c_str(), none.c_str(), flags);
  });
}

HINTERNET ConnectCall(HINTERNET session, DWORD_PTR context, DWORD* error) {
  const ServerProfile p = g.connected;
  return Net([&] {
    HINTERNET h = InternetConnectA(session, p.server.c_str(), INTERNET_INVALID_PORT_NUMBER, p.user.c_str(),
                                   p.password.c_str(), INTERNET_SERVICE_FTP, p.flags, context);
    *error = h ? 0 : GetLastError();
    return h;
  });
}

DWORD ConnectServer() {
  // Chains start only when the last one has ended, so its connection has no further use: it
  // is closed here rather than left open (a series of downloads would otherwise hold one
  // server connection each, and servers limit them).
  CloseRequestConnection();
  DWORD error = 0;
  AwaitServer(kStallZoneSteps);
  g.connecthandle = ConnectCall(g.sessionhandle, 1, &error);
  return error == ERROR_IO_PENDING ? 0 : error;
}

DWORD IssueRequest(const std::function<BOOL()>& call) {
  DWORD error = 0;
  AwaitServer(StallZoneOf(REQUESTCODE.load()));
  const BOOL ok = Net([&] {
    const BOOL r = call();
    error = r ? 0 : GetLastError();
    return r;
  });
  if (ok || error == ERROR_IO_PENDING) return 0;
  return error ? error : ERROR_INTERNET_INTERNAL_ERROR;  // refused, whatever it says: never left pending
}

void CloseInternetHandle(HINTERNET* handle) {
  HINTERNET h = *handle;
  *handle = nullptr;
  NoteClosed(h);  // before the close: its own notifications are late ones
  if (h) Net([h] { return InternetCloseHandle(h); });
}

void EndServerSession() {
  const std::string server = g.connected.server;
  if (!server.empty()) Net([&] { return FtpEndPooledConnectionsA(server.c_str(), 0); });
}

void CloseRequestConnection() {
  if (g.ophandle == g.connecthandle) g.ophandle = nullptr;
  CloseInternetHandle(&g.connecthandle);
  CloseInternetHandle(&g.ophandle);
}

}  // namespace ftpcl
