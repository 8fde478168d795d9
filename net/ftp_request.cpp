// The checks and the close shared by the exported calls (net/ftp_request.h).
#include "net/ftp_request.h"

#include <cstring>

#include "net/ftp_codepage.h"
#include "net/ftp_name_codec.h"

namespace vel::net {

bool ValidPath(LPCSTR p) {
  if (!p || !*p) return false;
  size_t n = strnlen(p, MAX_PATH);
  if (n >= MAX_PATH) return false;
  for (size_t i = 0; i < n; ++i)
    if (p[i] == '\r' || p[i] == '\n') return false;  // would inject a command
  return true;
}

bool RemotePath(LPCSTR display, std::string* server) {
  return ValidPath(display) && ServerPath(display, WindowsAnsiCodePage(), server);
}

BOOL FailWith(DWORD e) {
  SetLastError(e);
  return FALSE;
}

std::shared_ptr<Connection> ConnectionOf(HINTERNET h) {
  return std::static_pointer_cast<Connection>(Lookup(h, false, true, false));
}

void PoolIfClean(const std::shared_ptr<Connection>& c) {
  if (c->loggedIn && !c->unpoolable && !c->cancel && c->engine.Reusable()) {
    ConnectionPool::Instance().Put(c->poolKey, c->engine, c->loginReply);
    c->pooled = true;
  }
  c->loggedIn = false;
}

void FinishClose(const std::shared_ptr<Connection>& c) {
  PoolIfClean(c);
  if (c->pooled) {
    // The handle's connection ends for the program as a closed one does (50, 51), only
    // without the QUIT.
    c->Notify(c->context, INTERNET_STATUS_CLOSING_CONNECTION, nullptr, 0);
    c->Notify(c->context, INTERNET_STATUS_CONNECTION_CLOSED, nullptr, 0);
  }
  c->engine.Quit();
  HINTERNET h = c->handle;
  c->Notify(c->context, INTERNET_STATUS_HANDLE_CLOSING, &h, sizeof h);
}

}  // namespace vel::net
