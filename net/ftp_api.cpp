// The exported calls. Each validates its arguments and handle, then runs its request through
// Launch() (net/ftp_request.h). A connect announces its handle (60) before it resolves the
// server's name, so the caller can cancel a slow connect by closing that handle. FtpCommandA is
// in net/ftp_command.cpp, the file handles' calls in net/ftp_open_file.cpp.
//
// Names: every path argument is a display path (ANSI code page, escapes of
// net/ftp_name_codec.h) and goes to the server as the bytes it stands for; every listed name is
// handed out as its display name.
#include <cstring>
#include <string>
#include <type_traits>

#include "net/ftp_codepage.h"
#include "net/ftp_files.h"
#include "net/ftp_handles.h"
#include "net/ftp_listing.h"
#include "net/ftp_name_codec.h"
#include "net/ftp_names.h"
#include "net/ftp_open_file.h"
#include "net/ftp_presence.h"
#include "net/ftp_request.h"
#include "net/ftpnet.h"
#include "net/tls_certificate.h"

using namespace vel::net;

namespace {

constexpr size_t kMaxHostName = 255;

void CloseConnection(const std::shared_ptr<Connection>& c, bool wait) {
  c->closed = true;
  if (c->running) c->cancel = true;
  if (c->session->async) {
    // An idle connection is pooled before the close returns, so that a connect right after it
    // finds the session; the request slot stays taken, nothing else may run on it.
    if (c->TryBegin()) {
      std::lock_guard<std::recursive_mutex> lock(c->opMutex);
      PoolIfClean(c);
    }
    c->worker->Post([c] { FinishClose(c); });
    c->worker->Stop(wait);
    return;
  }
  if (c->opThread == GetCurrentThreadId()) {  // its own request's callback closes it
    c->closePending = true;
    return;
  }
  std::lock_guard<std::recursive_mutex> lock(c->opMutex);
  FinishClose(c);
}

// A 421 or "too many connections" at login: the server counts our pooled connections too.
bool ConnectionLimit(const FtpReply& r) {
  if (r.code == 421) return true;
  std::string text = r.text;
  for (char& ch : text) ch = static_cast<char>(tolower(static_cast<unsigned char>(ch)));
  return text.find("too many") != std::string::npos;
}

// How long a login refused for too many connections waits for the server to close the pooled
// sessions it ends before trying once more (vsftpd counts a session until its process exits).
constexpr DWORD kLimitRetryAwaitMs = 2000;

// The connect's login: a pooled session with the same key when one is alive, else a fresh
// login (retried once after ending the pooled connections when the server counts them).
DWORD LogIn(const std::shared_ptr<Connection>& c, const LoginParams& p) {
  c->poolKey = PoolKeyFor(p);
  ConnectionPool& pool = ConnectionPool::Instance();
  FtpReply reply;
  DWORD e = 0;
  if (pool.Take(c->poolKey, c->engine, &reply)) {
    StoreLastResponse(reply);
  } else {
    e = c->engine.Open(p);
    if (e && ConnectionLimit(LastResponse()) && pool.Forget(p.host, p.port, kLimitRetryAwaitMs))
      e = c->engine.Open(p);
    reply = LastResponse();
  }
  c->loginReply = reply;
  c->loggedIn = e == 0;
  return e;
}

// Closing a session ends its connections' requests and waits (bounded) for their workers, so
// nothing of the session runs once the close returns (unless a callback blocks).
void CloseSession(const std::shared_ptr<Session>& s) {
  for (auto& child : ChildrenOf(s.get())) {
    if (!Unregister(child->handle)) continue;
    if (child->kind == Object::Kind::Connection) CloseConnection(std::static_pointer_cast<Connection>(child), false);
  }
  std::vector<std::weak_ptr<Worker>> workers;
  {
    std::lock_guard<std::mutex> lock(s->workersMutex);
    workers.swap(s->workers);
  }
  for (auto& w : workers)
    if (auto worker = w.lock()) worker->Stop(true);
  HINTERNET h = s->handle;
  s->Notify(s->context, INTERNET_STATUS_HANDLE_CLOSING, &h, sizeof h);
}

void ReadSystemProxy(Session* s) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", 0,
                    KEY_READ, &key) != ERROR_SUCCESS)
    return;
  DWORD enable = 0, size = sizeof enable, type = 0;
  if (RegQueryValueExA(key, "ProxyEnable", nullptr, &type, reinterpret_cast<BYTE*>(&enable), &size) ==
          ERROR_SUCCESS &&
      type == REG_DWORD && enable) {
    char buf[1024] = {};
    size = sizeof buf - 1;
    if (RegQueryValueExA(key, "ProxyServer", nullptr, &type, reinterpret_cast<BYTE*>(buf), &size) ==
            ERROR_SUCCESS &&
        type == REG_SZ) {
      std::string proxy;
      if (FtpProxyFrom(buf, &proxy)) s->proxy = proxy;
    }
    char over[1024] = {};
    size = sizeof over - 1;
    if (RegQueryValueExA(key, "ProxyOverride", nullptr, &type, reinterpret_cast<BYTE*>(over), &size) ==
            ERROR_SUCCESS &&
        type == REG_SZ)
      s->bypass = over;
  }
  RegCloseKey(key);
}

// The entry as the caller sees it; false when its name cannot be shown exactly.
bool Found(const ListEntry& e, const AnsiCodePage& cp, FoundEntry* f) {
  f->name = DisplayName(e.name, cp);
  if (f->name.empty()) return false;
  f->attributes = e.dir ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
  f->size = e.dir ? 0 : e.size;
  f->sizeApprox = !e.dir && e.sizeApprox;
  f->time = FILETIME{};
  if (e.time.year) {
    // A folder's entries often share their time: the last conversion is kept.
    static_assert(std::is_trivially_destructible_v<ListTime>);  // README, "Building by hand"
    static thread_local ListTime lastTime;
    static thread_local FILETIME lastFileTime;
    const ListTime& t = e.time;
    if (t.year == lastTime.year && t.month == lastTime.month && t.day == lastTime.day && t.hour == lastTime.hour &&
        t.minute == lastTime.minute && t.second == lastTime.second && t.utc == lastTime.utc) {
      f->time = lastFileTime;
      return true;
    }
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(e.time.year);
    st.wMonth = static_cast<WORD>(e.time.month);
    st.wDay = static_cast<WORD>(e.time.day);
    st.wHour = static_cast<WORD>(e.time.hour);
    st.wMinute = static_cast<WORD>(e.time.minute);
    st.wSecond = static_cast<WORD>(e.time.second > 59 ? 59 : e.time.second);
    SYSTEMTIME local = st;
    if (e.time.utc) SystemTimeToTzSpecificLocalTime(nullptr, &st, &local);
    SystemTimeToFileTime(&local, &f->time);
    lastTime = t;
    lastFileTime = f->time;
  }
  return true;
}

void FillFindData(const FoundEntry& e, WIN32_FIND_DATAA* fd) {
  memset(fd, 0, sizeof *fd);
  fd->dwFileAttributes = e.attributes;
  fd->nFileSizeHigh = static_cast<DWORD>(e.size >> 32);
  fd->nFileSizeLow = static_cast<DWORD>(e.size & 0xFFFFFFFFu);
  fd->dwReserved0 = e.sizeApprox ? FTP_FIND_SIZE_APPROXIMATE : 0;
  fd->ftLastWriteTime = fd->ftCreationTime = fd->ftLastAccessTime = e.time;
  memcpy(fd->cFileName, e.name.data(), e.name.size() < MAX_PATH ? e.name.size() : MAX_PATH - 1);
}

// "dir/*.*" -> list "dir", keep names matching "*.*". A pattern without wildcards is handed to
// the server as is (a file or a directory to list).
void SplitPattern(const char* pattern, std::string* dir, std::string* match) {
  std::string p = pattern ? pattern : "";
  dir->clear();
  match->clear();
  if (p.empty()) return;
  size_t slash = p.find_last_of('/');
  std::string last = slash == std::string::npos ? p : p.substr(slash + 1);
  if (!HasWildcards(last)) {
    *dir = p;
    return;
  }
  *match = last;
  if (slash != std::string::npos) *dir = slash == 0 ? "/" : p.substr(0, slash);
}

// ---- options

const TlsRecord* TlsRecordOf(const Object& obj) {
  if (obj.kind == Object::Kind::Connection) return &static_cast<const Connection&>(obj).tls;
  return &static_cast<const Session&>(obj).tls;
}

BOOL GiveDword(DWORD value, LPVOID buffer, LPDWORD length) {
  if (!buffer || *length < sizeof(DWORD)) {
    *length = sizeof(DWORD);
    return FailWith(ERROR_INSUFFICIENT_BUFFER);
  }
  *static_cast<DWORD*>(buffer) = value;
  *length = sizeof(DWORD);
  return TRUE;
}

// A text option: *length is the room in bytes on entry; the text's length without its zero on
// success, the room it needs with the zero when the buffer is too small.
BOOL GiveText(const std::string& text, LPVOID buffer, LPDWORD length) {
  if (!buffer || *length < text.size() + 1) {
    *length = static_cast<DWORD>(text.size() + 1);
    return FailWith(ERROR_INSUFFICIENT_BUFFER);
  }
  memcpy(buffer, text.c_str(), text.size() + 1);
  *length = static_cast<DWORD>(text.size());
  return TRUE;
}

template <size_t N>
void CopyText(char (&to)[N], const std::string& from) {
  size_t n = from.size() < N - 1 ? from.size() : N - 1;
  memcpy(to, from.data(), n);
  to[n] = '\0';
}

void FillCertificateInfo(const CertificateVerdict& v, const std::string& server, bool trusted,
                         FTP_SERVER_CERTIFICATE_INFOA* info) {
  memset(info, 0, sizeof *info);
  info->dwError = v.error;
  info->dwProblems = v.problems;
  info->fTrustedByUser = trusted;
  info->stValidFrom = v.details.validFrom;
  info->stValidTo = v.details.validTo;
  CopyText(info->szServer, server);
  CopyText(info->szSubject, v.details.subject);
  CopyText(info->szIssuer, v.details.issuer);
  CopyText(info->szValidity, v.details.ValidityText());
  CopyText(info->szFingerprint, v.details.FingerprintText());
}

// The user's "trust it": only for the certificate the handle was shown, and only for the
// problems a person can judge (an unknown authority, a past or future date, another name);
// a revoked, malformed or badly signed certificate stays refused.
BOOL TrustShownCertificate(const Object& obj, const FTP_SERVER_CERTIFICATE_INFOA& asked) {
  CertificateVerdict verdict;
  std::string server;
  bool trusted = false;
  if (!TlsRecordOf(obj)->Certificate(&verdict, &server, &trusted)) return FailWith(ERROR_INTERNET_ITEM_NOT_FOUND);
  const std::string fingerprint(asked.szFingerprint, strnlen(asked.szFingerprint, sizeof asked.szFingerprint));
  const std::string name(asked.szServer, strnlen(asked.szServer, sizeof asked.szServer));
  if (fingerprint != verdict.details.FingerprintText() || name != server) return FailWith(ERROR_INVALID_PARAMETER);
  if (verdict.problems & kCertProblemRevoked) return FailWith(ERROR_INTERNET_SEC_CERT_REVOKED);
  if (verdict.problems & kCertProblemInvalid) return FailWith(ERROR_INTERNET_SEC_INVALID_CERT);
  if (!TrustedCertificates().Remember(server, verdict)) return FailWith(ERROR_CANTWRITE);
  return TRUE;
}

}  // namespace

extern "C" {

HINTERNET WINAPI InternetOpenA(LPCSTR, DWORD dwAccessType, LPCSTR lpszProxy, LPCSTR lpszProxyBypass,
                               DWORD dwFlags) {
  auto s = std::make_shared<Session>();
  s->async = (dwFlags & INTERNET_FLAG_ASYNC) != 0;
  s->access = dwAccessType;
  switch (dwAccessType) {
    case INTERNET_OPEN_TYPE_DIRECT:
      break;
    case INTERNET_OPEN_TYPE_PRECONFIG:
      ReadSystemProxy(s.get());
      break;
    case INTERNET_OPEN_TYPE_PROXY: {
      std::string proxy;
      if (!lpszProxy || !*lpszProxy || strnlen(lpszProxy, 1024) >= 1024) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
      }
      // A list that names proxies for other protocols only ("http=...") leaves FTP direct.
      if (FtpProxyFrom(lpszProxy, &proxy)) s->proxy = proxy;
      if (lpszProxyBypass) s->bypass.assign(lpszProxyBypass, strnlen(lpszProxyBypass, 1024));
      break;
    }
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
  }
  HINTERNET h = Register(s);
  if (!h) SetLastError(ERROR_INTERNET_OUT_OF_HANDLES);
  return h;
}

INTERNET_STATUS_CALLBACK WINAPI InternetSetStatusCallback(HINTERNET hInternet, INTERNET_STATUS_CALLBACK cb) {
  auto obj = Lookup(hInternet, true, true, true, true);
  if (!obj) return INTERNET_INVALID_STATUS_CALLBACK;
  return obj->callback.exchange(cb);
}

BOOL WINAPI InternetSetOptionA(HINTERNET hInternet, DWORD dwOption, LPVOID lpBuffer, DWORD dwBufferLength) {
  auto obj = Lookup(hInternet, true, true, false);
  if (!obj) return FALSE;
  if (dwOption == INTERNET_OPTION_FTP_TRUST_CERTIFICATE) {
    if (!lpBuffer || dwBufferLength != sizeof(FTP_SERVER_CERTIFICATE_INFOA))
      return FailWith(ERROR_INTERNET_BAD_OPTION_LENGTH);
    return TrustShownCertificate(*obj, *static_cast<const FTP_SERVER_CERTIFICATE_INFOA*>(lpBuffer));
  }
  if (!lpBuffer || dwBufferLength != sizeof(DWORD)) return FailWith(ERROR_INTERNET_BAD_OPTION_LENGTH);
  DWORD v = *static_cast<DWORD*>(lpBuffer);
  if (dwOption == INTERNET_OPTION_FTP_DATA_PROGRESS) {
    if (v > 1) return FailWith(ERROR_INVALID_PARAMETER);
    obj->dataProgress = v == 1;
    return TRUE;
  }
  if (v == 0) v = 0x7FFFFFFF;
  switch (dwOption) {
    case INTERNET_OPTION_CONNECT_TIMEOUT: obj->connectMs = v; break;
    case INTERNET_OPTION_SEND_TIMEOUT:
    case INTERNET_OPTION_DATA_SEND_TIMEOUT: obj->sendMs = v; break;
    case INTERNET_OPTION_RECEIVE_TIMEOUT:
    case INTERNET_OPTION_DATA_RECEIVE_TIMEOUT: obj->receiveMs = v; break;
    default: return FailWith(ERROR_INTERNET_INVALID_OPTION);
  }
  return TRUE;
}

BOOL WINAPI InternetQueryOptionA(HINTERNET hInternet, DWORD dwOption, LPVOID lpBuffer, LPDWORD lpdwBufferLength) {
  auto obj = Lookup(hInternet, true, true, false);
  if (!obj) return FALSE;
  if (!lpdwBufferLength) return FailWith(ERROR_INVALID_PARAMETER);
  const TlsRecord* tls = TlsRecordOf(*obj);
  const bool connection = obj->kind == Object::Kind::Connection;
  switch (dwOption) {
    case INTERNET_OPTION_CONNECT_TIMEOUT: return GiveDword(obj->connectMs, lpBuffer, lpdwBufferLength);
    case INTERNET_OPTION_SEND_TIMEOUT:
    case INTERNET_OPTION_DATA_SEND_TIMEOUT: return GiveDword(obj->sendMs, lpBuffer, lpdwBufferLength);
    case INTERNET_OPTION_RECEIVE_TIMEOUT:
    case INTERNET_OPTION_DATA_RECEIVE_TIMEOUT: return GiveDword(obj->receiveMs, lpBuffer, lpdwBufferLength);
    case INTERNET_OPTION_SECURITY_FLAGS:
      if (!connection) return FailWith(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
      return GiveDword(tls->SecurityText().empty() ? 0 : SECURITY_FLAG_SECURE, lpBuffer, lpdwBufferLength);
    case INTERNET_OPTION_FTP_SECURITY_TEXT:
      if (!connection) return FailWith(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
      return GiveText(tls->SecurityText(), lpBuffer, lpdwBufferLength);
    case INTERNET_OPTION_FTP_SERVER_CERTIFICATE: {
      if (*lpdwBufferLength < sizeof(FTP_SERVER_CERTIFICATE_INFOA) || !lpBuffer) {
        *lpdwBufferLength = sizeof(FTP_SERVER_CERTIFICATE_INFOA);
        return FailWith(ERROR_INSUFFICIENT_BUFFER);
      }
      CertificateVerdict verdict;
      std::string server;
      bool trusted = false;
      if (!tls->Certificate(&verdict, &server, &trusted)) return FailWith(ERROR_INTERNET_ITEM_NOT_FOUND);
      FillCertificateInfo(verdict, server, trusted, static_cast<FTP_SERVER_CERTIFICATE_INFOA*>(lpBuffer));
      *lpdwBufferLength = sizeof(FTP_SERVER_CERTIFICATE_INFOA);
      return TRUE;
    }
    default: return FailWith(ERROR_INTERNET_INVALID_OPTION);
  }
}

HINTERNET WINAPI InternetConnectA(HINTERNET hInternet, LPCSTR lpszServerName, INTERNET_PORT nServerPort,
                                  LPCSTR lpszUserName, LPCSTR lpszPassword, DWORD dwService, DWORD dwFlags,
                                  DWORD_PTR dwContext) {
  auto s = std::static_pointer_cast<Session>(Lookup(hInternet, true, false, false));
  if (!s) return nullptr;
  if (dwService != INTERNET_SERVICE_FTP) {
    SetLastError(ERROR_INTERNET_PROTOCOL_NOT_FOUND);
    return nullptr;
  }
  if (!lpszServerName || strnlen(lpszServerName, kMaxHostName + 1) > kMaxHostName ||
      (lpszUserName && strnlen(lpszUserName, 256) > 255) || (lpszPassword && strnlen(lpszPassword, 256) > 255)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  LoginParams p;
  int port = nServerPort;
  if (!SplitServerUrl(lpszServerName, &p.security, &p.host, &port) || (nServerPort && port != nServerPort && port != 0)) {
    SetLastError(ERROR_INTERNET_INVALID_URL);
    return nullptr;
  }
  if (p.security == FtpSecurity::None && (dwFlags & INTERNET_FLAG_SECURE)) p.security = FtpSecurity::Explicit;
  const int defaultPort = p.security == FtpSecurity::Implicit ? INTERNET_DEFAULT_FTPS_PORT : INTERNET_DEFAULT_FTP_PORT;
  p.port = nServerPort ? nServerPort : (port ? port : defaultPort);
  for (const char* t : {lpszUserName, lpszPassword})
    if (t && strpbrk(t, "\r\n")) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
  p.user = lpszUserName && *lpszUserName ? lpszUserName : "anonymous";
  // The anonymous user asked for in any letter case is "anonymous" on the wire: servers that
  // compare it case-sensitively (pyftpdlib, inetutils ftpd) refuse "Anonymous".
  if (_stricmp(p.user.c_str(), "anonymous") == 0) p.user = "anonymous";
  p.password = lpszPassword ? lpszPassword : (lpszUserName && *lpszUserName ? "" : "guest@");
  p.passive = (dwFlags & INTERNET_FLAG_PASSIVE) != 0;
  if (!s->proxy.empty() && !ProxyBypassed(s->bypass, p.host)) {
    if (!SplitServerName(s->proxy, &p.proxyHost, &p.proxyPort)) {
      SetLastError(ERROR_INTERNET_INVALID_PROXY_REQUEST);
      return nullptr;
    }
    if (!p.proxyPort) p.proxyPort = INTERNET_DEFAULT_FTP_PORT;
  }
  auto c = std::make_shared<Connection>();
  c->session = s;
  if (s->async) {
    c->worker = MakeWorker();
    std::lock_guard<std::mutex> lock(s->workersMutex);
    std::erase_if(s->workers, [](const std::weak_ptr<Worker>& w) { return w.expired(); });
    s->workers.push_back(c->worker);
  }
  c->context = dwContext;
  c->callback = s->callback.load();
  c->SetTimeouts(s->GetTimeouts());
  c->dataProgress = s->dataProgress.load();
  HINTERNET h = Register(c);
  if (!h) {
    SetLastError(ERROR_INTERNET_OUT_OF_HANDLES);
    return nullptr;
  }
  const bool async = s->async;
  BOOL ok = Launch(c, dwContext, [c, p, dwContext, async]() -> Outcome {
    INTERNET_ASYNC_RESULT created{reinterpret_cast<DWORD_PTR>(c->handle), 0};
    c->Notify(dwContext, INTERNET_STATUS_HANDLE_CREATED, &created, sizeof created);
    c->engine.SetTimeouts(c->GetTimeouts());
    DWORD e = LogIn(c, p);
    c->tls.Store(c->engine);
    if (!c->engine.ShownCertificate().details.fingerprint.empty()) c->session->tls.Store(c->engine);
    // A failed asynchronous connect leaves its announced handle to the caller to close; a
    // synchronous one returns no handle.
    if (e && !async) Unregister(c->handle);
    return {e, nullptr, e ? nullptr : c->handle};
  });
  if (!ok) {
    if (GetLastError() != ERROR_IO_PENDING) Unregister(h);
    return nullptr;
  }
  return h;
}

HINTERNET WINAPI FtpFindFirstFileA(HINTERNET hConnect, LPCSTR lpszSearchFile, LPWIN32_FIND_DATAA lpFindFileData,
                                   DWORD, DWORD_PTR dwContext) {
  auto c = ConnectionOf(hConnect);
  if (!c) return nullptr;
  if (lpszSearchFile && strnlen(lpszSearchFile, MAX_PATH) >= MAX_PATH) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (lpszSearchFile && strpbrk(lpszSearchFile, "\r\n")) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::string display, dir, match;
  SplitPattern(lpszSearchFile, &display, &match);
  if (!display.empty() && !ServerPath(display, WindowsAnsiCodePage(), &dir)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  HINTERNET made = nullptr;
  BOOL ok = Launch(c, dwContext, [c, dir, match, lpFindFileData, dwContext, &made]() -> Outcome {
    c->engine.SetTimeouts(c->GetTimeouts());
    std::vector<ListEntry> entries;
    DWORD e = c->engine.List(dir, &entries);
    if (e) return {e, nullptr};
    auto f = std::make_shared<Find>();
    f->connection = c;
    f->context = dwContext;
    f->callback = c->callback.load();
    WindowsAnsiCodePage cp;
    f->entries.reserve(entries.size());
    for (const ListEntry& entry : entries) {
      FoundEntry found;
      if (!Found(entry, cp, &found)) continue;  // no exact display name: left out, never cut
      if (!match.empty() && !WildMatch(match, found.name)) continue;
      f->entries.push_back(std::move(found));
    }
    entries.clear();
    entries.shrink_to_fit();
    if (f->entries.empty()) return {ERROR_NO_MORE_FILES, nullptr};
    if (lpFindFileData) FillFindData(f->entries[0], lpFindFileData);
    f->next = 1;
    HINTERNET h = Register(f);
    if (!h) return {ERROR_INTERNET_OUT_OF_HANDLES, nullptr};
    if (!c->session->async) made = h;
    return {0, h};
  });
  return ok ? made : nullptr;
}

BOOL WINAPI InternetFindNextFileA(HINTERNET hFind, LPVOID lpvFindData) {
  auto f = std::static_pointer_cast<Find>(Lookup(hFind, false, false, true));
  if (!f) return FALSE;
  if (!lpvFindData) return FailWith(ERROR_INVALID_PARAMETER);
  if (f->next >= f->entries.size()) return FailWith(ERROR_NO_MORE_FILES);
  FillFindData(f->entries[f->next++], static_cast<WIN32_FIND_DATAA*>(lpvFindData));
  return TRUE;
}

BOOL WINAPI FtpGetFileA(HINTERNET hConnect, LPCSTR lpszRemoteFile, LPCSTR lpszNewFile, BOOL fFailIfExists,
                        DWORD, DWORD dwFlags, DWORD_PTR dwContext) {
  auto c = ConnectionOf(hConnect);
  if (!c) return FALSE;
  std::string remote;
  if (!RemotePath(lpszRemoteFile, &remote) || !ValidPath(lpszNewFile)) return FailWith(ERROR_INVALID_PARAMETER);
  std::string local = lpszNewFile;
  bool ascii = (dwFlags & FTP_TRANSFER_TYPE_MASK) == FTP_TRANSFER_TYPE_ASCII;
  bool failIfExists = fFailIfExists != FALSE;
  return Launch(c, dwContext, [c, remote, local, ascii, failIfExists]() -> Outcome {
    if (failIfExists && GetFileAttributesA(local.c_str()) != INVALID_FILE_ATTRIBUTES)
      return {ERROR_FILE_EXISTS, nullptr};
    c->engine.SetTimeouts(c->GetTimeouts());
    DownloadFile file;
    if (DWORD e = file.Create(local)) return {e, nullptr};
    if (DWORD e = c->engine.Retrieve(remote, ascii, &file)) return {e, nullptr};
    return {file.Commit(), nullptr};
  });
}

BOOL WINAPI FtpPutFileA(HINTERNET hConnect, LPCSTR lpszLocalFile, LPCSTR lpszNewRemoteFile, DWORD dwFlags,
                        DWORD_PTR dwContext) {
  auto c = ConnectionOf(hConnect);
  if (!c) return FALSE;
  std::string remote;
  if (!ValidPath(lpszLocalFile) || !RemotePath(lpszNewRemoteFile, &remote)) return FailWith(ERROR_INVALID_PARAMETER);
  std::string local = lpszLocalFile;
  bool ascii = (dwFlags & FTP_TRANSFER_TYPE_MASK) == FTP_TRANSFER_TYPE_ASCII;
  return Launch(c, dwContext, [c, remote, local, ascii]() -> Outcome {
    UploadFile file;
    if (DWORD e = file.Open(local)) return {e, nullptr};
    c->engine.SetTimeouts(c->GetTimeouts());
    return {c->engine.Store(remote, ascii, &file), nullptr};
  });
}

BOOL WINAPI FtpCreateDirectoryA(HINTERNET hConnect, LPCSTR lpszDirectory) {
  auto c = ConnectionOf(hConnect);
  if (!c) return FALSE;
  std::string path;
  if (!RemotePath(lpszDirectory, &path)) return FailWith(ERROR_INVALID_PARAMETER);
  return Launch(c, c->context, [c, path]() -> Outcome { return {c->engine.MakeDir(path), nullptr}; });
}

BOOL WINAPI FtpRemoveDirectoryA(HINTERNET hConnect, LPCSTR lpszDirectory) {
  auto c = ConnectionOf(hConnect);
  if (!c) return FALSE;
  std::string path;
  if (!RemotePath(lpszDirectory, &path)) return FailWith(ERROR_INVALID_PARAMETER);
  return Launch(c, c->context, [c, path]() -> Outcome { return {c->engine.RemoveDir(path), nullptr}; });
}

BOOL WINAPI FtpDeleteFileA(HINTERNET hConnect, LPCSTR lpszFileName) {
  auto c = ConnectionOf(hConnect);
  if (!c) return FALSE;
  std::string path;
  if (!RemotePath(lpszFileName, &path)) return FailWith(ERROR_INVALID_PARAMETER);
  return Launch(c, c->context, [c, path]() -> Outcome { return {c->engine.Delete(path), nullptr}; });
}

BOOL WINAPI FtpRenameFileA(HINTERNET hConnect, LPCSTR lpszExisting, LPCSTR lpszNew) {
  auto c = ConnectionOf(hConnect);
  if (!c) return FALSE;
  std::string from, to;
  if (!RemotePath(lpszExisting, &from) || !RemotePath(lpszNew, &to)) return FailWith(ERROR_INVALID_PARAMETER);
  return Launch(c, c->context, [c, from, to]() -> Outcome { return {c->engine.Rename(from, to), nullptr}; });
}

BOOL WINAPI FtpGetEntryPresenceA(HINTERNET hConnect, LPCSTR lpszPath, LPDWORD lpdwPresence, DWORD_PTR dwContext) {
  auto c = ConnectionOf(hConnect);
  if (!c) return FALSE;
  std::string path;
  if (!lpdwPresence || !RemotePath(lpszPath, &path)) return FailWith(ERROR_INVALID_PARAMETER);
  const size_t slash = path.rfind('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::string dir = slash == std::string::npos ? std::string() : slash == 0 ? "/" : path.substr(0, slash);
  if (name.empty()) return FailWith(ERROR_INVALID_PARAMETER);
  *lpdwPresence = FTP_PRESENCE_UNKNOWN;
  return Launch(c, dwContext, [c, dir, name, lpdwPresence]() -> Outcome {
    c->engine.SetTimeouts(c->GetTimeouts());
    Presence p = Presence::Unknown;
    const DWORD e = c->engine.Locate(dir, name, &p);
    if (e) return {e, nullptr};
    switch (p) {
      case Presence::Absent: *lpdwPresence = FTP_PRESENCE_ABSENT; break;
      case Presence::File: *lpdwPresence = FTP_PRESENCE_FILE; break;
      case Presence::Folder: *lpdwPresence = FTP_PRESENCE_FOLDER; break;
      case Presence::CaseAlike: *lpdwPresence = FTP_PRESENCE_CASE_ALIKE; break;
      case Presence::Unknown: *lpdwPresence = FTP_PRESENCE_UNKNOWN; break;
    }
    return {0, nullptr};
  });
}

DWORD WINAPI FtpEndPooledConnectionsA(LPCSTR lpszServerName, INTERNET_PORT nServerPort) {
  if (!lpszServerName || strnlen(lpszServerName, kMaxHostName + 1) > kMaxHostName) return 0;
  FtpSecurity security = FtpSecurity::None;
  std::string host;
  int port = 0;
  if (!SplitServerUrl(lpszServerName, &security, &host, &port)) return 0;
  const int defaultPort = security == FtpSecurity::Implicit ? INTERNET_DEFAULT_FTPS_PORT : INTERNET_DEFAULT_FTP_PORT;
  return static_cast<DWORD>(ConnectionPool::Instance().Forget(host, nServerPort ? nServerPort : (port ? port : defaultPort)));
}

BOOL WINAPI InternetCloseHandle(HINTERNET hInternet) {
  auto obj = Unregister(hInternet);
  if (!obj) return FailWith(ERROR_INVALID_HANDLE);
  switch (obj->kind) {
    case Object::Kind::Session:
      CloseSession(std::static_pointer_cast<Session>(obj));
      break;
    case Object::Kind::Connection:
      CloseConnection(std::static_pointer_cast<Connection>(obj), false);
      break;
    case Object::Kind::File:
      return CloseFile(std::static_pointer_cast<File>(obj));
    case Object::Kind::Find: {
      HINTERNET h = obj->handle;
      obj->Notify(obj->context, INTERNET_STATUS_HANDLE_CLOSING, &h, sizeof h);
      break;
    }
  }
  return TRUE;
}

BOOL WINAPI InternetGetLastResponseInfoA(LPDWORD lpdwError, LPSTR lpszBuffer, LPDWORD lpdwBufferLength) {
  if (!lpdwError || !lpdwBufferLength) return FailWith(ERROR_INVALID_PARAMETER);
  const FtpReply& r = LastResponse();
  *lpdwError = static_cast<DWORD>(r.code);
  DWORD need = static_cast<DWORD>(r.text.size());
  DWORD room = *lpdwBufferLength;
  *lpdwBufferLength = need;
  if (room == 0 || !lpszBuffer) return need == 0 ? TRUE : FailWith(ERROR_INSUFFICIENT_BUFFER);
  DWORD copy = need < room ? need : room;
  memcpy(lpszBuffer, r.text.data(), copy);
  if (copy < room) lpszBuffer[copy] = '\0';
  if (copy < need) return FailWith(ERROR_INSUFFICIENT_BUFFER);
  return TRUE;
}

HMODULE WINAPI FtpNetModule(void) {
  HMODULE m = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&FtpNetModule), &m);
  return m;
}

}  // extern "C"
