// FtpCommandA: one command line of the caller's on the control connection, with or without a
// data connection for its answer.
#include <cctype>
#include <cstring>
#include <string>

#include "net/ftp_open_file.h"
#include "net/ftp_request.h"
#include "net/ftpnet.h"

using namespace vel::net;

namespace {

// Longer lines are refused: servers take at most a few KiB per command line.
constexpr size_t kMaxCommand = 4096;

std::string Upper(std::string_view word) {
  std::string out(word);
  for (char& ch : out) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  return out;
}

// Whether the line would take the encryption off a TLS connection: CCC (RFC 4217 clear command
// channel), PROT with another level than P (data in clear), or a second AUTH. The library
// promises that nothing moves in clear once TLS was asked for.
bool DropsProtection(const std::string& line) {
  const size_t blank = line.find(' ');
  const std::string verb = Upper(std::string_view(line).substr(0, blank));
  if (verb == "CCC" || verb == "AUTH") return true;
  if (verb != "PROT") return false;
  const size_t from = blank == std::string::npos ? line.size() : line.find_first_not_of(' ', blank);
  return from == std::string::npos || Upper(std::string_view(line).substr(from)) != "P";
}

// A line the library sends as it stands: text with no CR or LF (another command would follow),
// not blank, not over kMaxCommand.
bool CommandLine(LPCSTR command, std::string* line) {
  if (!command) return false;
  const size_t n = strnlen(command, kMaxCommand + 1);
  if (n == 0 || n > kMaxCommand || strpbrk(command, "\r\n")) return false;
  line->assign(command, n);
  return line->find_first_not_of(' ') != std::string::npos;
}

}  // namespace

extern "C" BOOL WINAPI FtpCommandA(HINTERNET hConnect, BOOL fExpectResponse, DWORD dwFlags, LPCSTR lpszCommand,
                                   DWORD_PTR dwContext, HINTERNET* phFtpCommand) {
  auto c = ConnectionOf(hConnect);
  if (!c) return FALSE;
  if (phFtpCommand) *phFtpCommand = nullptr;
  std::string line;
  if (!CommandLine(lpszCommand, &line) || (fExpectResponse && !phFtpCommand)) return FailWith(ERROR_INVALID_PARAMETER);
  if (!c->tls.SecurityText().empty() && DropsProtection(line)) return FailWith(ERROR_INVALID_PARAMETER);
  const bool withData = fExpectResponse != FALSE;
  const bool ascii = (dwFlags & FTP_TRANSFER_TYPE_MASK) == FTP_TRANSFER_TYPE_ASCII;
  return Launch(c, dwContext, [c, line, withData, ascii, dwContext, phFtpCommand]() -> Outcome {
    c->unpoolable = true;
    c->engine.SetTimeouts(c->GetTimeouts());
    if (!withData) return {c->engine.Command(line)};
    if (DWORD e = c->engine.OpenStream(FtpEngine::StreamKind::Raw, line, ascii)) return {e};
    Outcome o = OpenedFile(c, dwContext, false, false);
    // Asynchronous: written before the completion, so the caller's variable must live until then.
    if (!o.error) *phFtpCommand = o.made;
    return o;
  });
}
