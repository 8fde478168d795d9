// FtpOpenFileA, InternetReadFile, InternetWriteFile, FtpGetFileSize and the close of a file
// handle. The transfer itself is the engine's stream (net/ftp_engine.h, OpenStream ...); a file
// handle only carries it between the caller's calls.
#include "net/ftp_open_file.h"

#include <future>
#include <string>

#include "net/ftpnet.h"

using namespace vel::net;

namespace vel::net {

namespace {

std::shared_ptr<File> FileOf(HINTERNET h) {
  return std::static_pointer_cast<File>(Lookup(h, false, false, false, true));
}

struct Ending {
  DWORD error = 0;
  FtpReply reply;  // the last response of the thread that ended the transfer
};

// Ends the stream on the thread that runs the connection's requests, reporting to the file.
Ending EndTransfer(const std::shared_ptr<File>& f) {
  const std::shared_ptr<Connection>& c = f->connection;
  std::lock_guard<std::recursive_mutex> lock(c->opMutex);
  const Object* reportAs = c->reportAs;
  const DWORD_PTR context = c->opContext;
  c->reportAs = f.get();
  c->opContext = f->context;
  Ending end;
  end.error = c->engine.EndStream();
  end.reply = LastResponse();
  c->reportAs = reportAs;
  c->opContext = context;
  c->fileOpen = false;
  return end;
}

}  // namespace

Outcome OpenedFile(const std::shared_ptr<Connection>& c, DWORD_PTR ctx, bool upload, bool sized) {
  auto f = std::make_shared<File>();
  f->connection = c;
  f->context = ctx;
  f->callback = c->callback.load();
  f->upload = upload;
  f->sized = sized;
  f->sizeKnown = sized && c->engine.StreamSize(&f->size);
  HINTERNET h = Register(f);
  if (!h) {
    c->engine.EndStream();
    return {ERROR_INTERNET_OUT_OF_HANDLES};
  }
  c->fileOpen = true;
  return {0, h};
}

BOOL CloseFile(const std::shared_ptr<File>& f) {
  const std::shared_ptr<Connection>& c = f->connection;
  Ending end;
  if (c->closed) {
    // Its connection was closed first: the transfer ended with it, whole only if read to its end.
    end.error = f->ended ? 0 : ERROR_INTERNET_CONNECTION_ABORTED;
    end.reply = LastResponse();
  } else if (!c->session->async || c->worker->OnWorker()) {
    end = EndTransfer(f);
  } else {
    // After any read or write still queued; the caller learns the transfer's result.
    auto done = std::make_shared<std::promise<Ending>>();
    std::future<Ending> result = done->get_future();
    c->worker->Post([f, done] { done->set_value(EndTransfer(f)); });
    end = result.get();
    StoreLastResponse(end.reply);
  }
  HINTERNET h = f->handle;
  f->Notify(f->context, INTERNET_STATUS_HANDLE_CLOSING, &h, sizeof h);
  if (end.error) return FailWith(end.error);
  SetLastError(0);
  return TRUE;
}

}  // namespace vel::net

extern "C" {

HINTERNET WINAPI FtpOpenFileA(HINTERNET hConnect, LPCSTR lpszFileName, DWORD dwAccess, DWORD dwFlags,
                              DWORD_PTR dwContext) {
  auto c = ConnectionOf(hConnect);
  if (!c) return nullptr;
  std::string remote;
  if ((dwAccess != GENERIC_READ && dwAccess != GENERIC_WRITE) || !RemotePath(lpszFileName, &remote)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const bool upload = dwAccess == GENERIC_WRITE;
  const bool ascii = (dwFlags & FTP_TRANSFER_TYPE_MASK) == FTP_TRANSFER_TYPE_ASCII;
  HINTERNET made = nullptr;
  BOOL ok = Launch(c, dwContext, [c, remote, upload, ascii, dwContext, &made]() -> Outcome {
    c->engine.SetTimeouts(c->GetTimeouts());
    const auto kind = upload ? FtpEngine::StreamKind::Stor : FtpEngine::StreamKind::Retr;
    if (DWORD e = c->engine.OpenStream(kind, remote, ascii)) return {e};
    Outcome o = OpenedFile(c, dwContext, upload, !upload);
    if (!c->session->async) made = o.made;  // the caller's frame is gone once it is asynchronous
    return o;
  });
  return ok ? made : nullptr;
}

BOOL WINAPI InternetReadFile(HINTERNET hFile, LPVOID lpBuffer, DWORD dwNumberOfBytesToRead,
                             LPDWORD lpdwNumberOfBytesRead) {
  auto f = FileOf(hFile);
  if (!f) return FALSE;
  if (!lpdwNumberOfBytesRead || (!lpBuffer && dwNumberOfBytesToRead)) return FailWith(ERROR_INVALID_PARAMETER);
  *lpdwNumberOfBytesRead = 0;
  if (f->upload) return FailWith(ERROR_ACCESS_DENIED);
  if (dwNumberOfBytesToRead == 0) return TRUE;  // nothing asked: no wait, and no end told
  auto c = f->connection;
  if (c->closed) return FailWith(ERROR_INTERNET_CONNECTION_ABORTED);
  char* into = static_cast<char*>(lpBuffer);
  return Launch(
      c, f->context,
      [c, f, into, dwNumberOfBytesToRead, lpdwNumberOfBytesRead]() -> Outcome {
        c->engine.SetTimeouts(c->GetTimeouts());
        size_t got = 0;
        const DWORD e = c->engine.ReadStream(into, dwNumberOfBytesToRead, &got);
        *lpdwNumberOfBytesRead = static_cast<DWORD>(got);
        if (!e && got == 0) f->ended = true;
        return {e};
      },
      f);
}

BOOL WINAPI InternetWriteFile(HINTERNET hFile, LPCVOID lpBuffer, DWORD dwNumberOfBytesToWrite,
                              LPDWORD lpdwNumberOfBytesWritten) {
  auto f = FileOf(hFile);
  if (!f) return FALSE;
  if (!lpdwNumberOfBytesWritten || (!lpBuffer && dwNumberOfBytesToWrite)) return FailWith(ERROR_INVALID_PARAMETER);
  *lpdwNumberOfBytesWritten = 0;
  if (!f->upload) return FailWith(ERROR_ACCESS_DENIED);
  if (dwNumberOfBytesToWrite == 0) return TRUE;
  auto c = f->connection;
  if (c->closed) return FailWith(ERROR_INTERNET_CONNECTION_ABORTED);
  // An asynchronous write keeps its own copy: the caller may reuse its buffer at once.
  auto copy = c->session->async
                  ? std::make_shared<std::string>(static_cast<const char*>(lpBuffer), dwNumberOfBytesToWrite)
                  : nullptr;
  const char* from = copy ? copy->data() : static_cast<const char*>(lpBuffer);
  return Launch(
      c, f->context,
      [c, copy, from, dwNumberOfBytesToWrite, lpdwNumberOfBytesWritten]() -> Outcome {
        c->engine.SetTimeouts(c->GetTimeouts());
        const DWORD e = c->engine.WriteStream(from, dwNumberOfBytesToWrite);
        if (!e) *lpdwNumberOfBytesWritten = dwNumberOfBytesToWrite;
        return {e};
      },
      f);
}

DWORD WINAPI FtpGetFileSize(HINTERNET hFile, LPDWORD lpdwFileSizeHigh) {
  auto f = FileOf(hFile);
  if (!f) return INVALID_FILE_SIZE;
  if (!f->sized) {
    SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    return INVALID_FILE_SIZE;
  }
  if (!f->sizeKnown) {
    SetLastError(ERROR_INTERNET_EXTENDED_ERROR);
    return INVALID_FILE_SIZE;
  }
  if (lpdwFileSizeHigh) *lpdwFileSizeHigh = static_cast<DWORD>(f->size >> 32);
  SetLastError(0);  // a size whose low half is INVALID_FILE_SIZE is told from a failure by this
  return static_cast<DWORD>(f->size & 0xFFFFFFFFu);
}

}  // extern "C"
