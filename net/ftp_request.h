// How an exported call runs its request: checks shared by the calls, and Launch(), which runs
// the request's body inline (synchronous session) or as a job on the connection's worker
// (asynchronous session). The body returns 0 or an error code and, for requests that make a
// handle, the handle.
//
// Order of a request's end in asynchronous mode: the connection is marked idle, then 60 (for a
// new handle), then 100; so the callback may start the next request from inside 100.
//
// A file handle's requests (reads, writes) run on its connection like any other, but report to
// the file handle (its handle and context in the callback); while one is open the connection
// refuses every other request with ERROR_FTP_TRANSFER_IN_PROGRESS.
#pragma once
#include <windows.h>

#include <memory>
#include <string>

#include "net/ftp_handles.h"
#include "net/ftpnet.h"

namespace vel::net {

struct Outcome {
  DWORD error = 0;
  HINTERNET made = nullptr;    // a new handle announced at the end (60): a search, a file
  HINTERNET result = nullptr;  // the completion's dwResult when it is a handle: a connect
};

// A path argument: present, shorter than MAX_PATH, without CR or LF (they would end the command).
bool ValidPath(LPCSTR p);
// A remote path argument as the server's bytes; false (ERROR_INVALID_PARAMETER) when it is not
// text of the ANSI code page.
bool RemotePath(LPCSTR display, std::string* server);
BOOL FailWith(DWORD e);
// The connection of a handle; nullptr with the last error set for another kind or none.
std::shared_ptr<Connection> ConnectionOf(HINTERNET h);
// Gives the connection's session to the pool when it is clean (net/ftp_pool.h); the engine is
// Closed afterwards. Called with no request of the connection running.
void PoolIfClean(const std::shared_ptr<Connection>& c);
// Pools the connection's session when clean, else quits it, and announces the handle's close (70).
void FinishClose(const std::shared_ptr<Connection>& c);

template <typename Body>
BOOL Launch(const std::shared_ptr<Connection>& c, DWORD_PTR ctx, Body body,
            const std::shared_ptr<Object>& file = nullptr) {
  auto s = c->session;
  if (!c->TryBegin()) return FailWith(ERROR_FTP_TRANSFER_IN_PROGRESS);
  if (c->fileOpen && !file) {
    c->End();
    return FailWith(ERROR_FTP_TRANSFER_IN_PROGRESS);
  }
  const Object* target = file ? file.get() : c.get();
  auto run = [c, s, ctx, body, file]() -> Outcome {
    std::lock_guard<std::recursive_mutex> lock(c->opMutex);
    ClearLastResponse();  // a request that ends without a reply shows none, not an older one
    c->opContext = ctx;
    c->reportAs = file.get();
    c->opThread = GetCurrentThreadId();
    c->running = true;
    Outcome o = c->cancel || c->closed ? Outcome{ERROR_INTERNET_OPERATION_CANCELLED} : body();
    c->running = false;
    c->opThread = 0;
    c->reportAs = nullptr;
    return o;
  };
  if (!s->async) {
    Outcome o = run();
    c->End();
    if (c->closePending) {  // closed by its own callback while it ran
      c->closePending = false;
      FinishClose(c);
    }
    if (o.made) {
      INTERNET_ASYNC_RESULT r{reinterpret_cast<DWORD_PTR>(o.made), 0};
      target->Notify(ctx, INTERNET_STATUS_HANDLE_CREATED, &r, sizeof r);
    }
    if (o.error) return FailWith(o.error);
    SetLastError(0);
    return TRUE;
  }
  c->worker->Post([c, ctx, run, target, file] {
    Outcome o = run();
    c->End();
    INTERNET_ASYNC_RESULT r{};
    if (o.made) {
      r.dwResult = reinterpret_cast<DWORD_PTR>(o.made);
      target->Notify(ctx, INTERNET_STATUS_HANDLE_CREATED, &r, sizeof r);
    } else {
      r.dwResult = o.error ? 0 : (o.result ? reinterpret_cast<DWORD_PTR>(o.result) : 1);
    }
    r.dwError = o.error;
    target->Notify(ctx, INTERNET_STATUS_REQUEST_COMPLETE, &r, sizeof r);
  });
  return FailWith(ERROR_IO_PENDING);
}

}  // namespace vel::net
