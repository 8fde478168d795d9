// Error texts: the library's message table, the system's for codes that are not the library's,
// and the server's last response.
#include "app/error_texts.h"

#include <cstring>
#include <vector>

#include "app/globals.h"
#include "app/text.h"
#include "app/ui.h"
#include "net/ftpnet.h"

namespace ftpcl {

namespace {

// Message-table texts and server responses end in line breaks a message box would show as an
// empty last line.
std::string WithoutLineEnds(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  return text;
}

std::string FormattedMessage(DWORD source, HMODULE module, DWORD code) {
  char buffer[257] = "";
  const DWORD n = FormatMessageA(source | FORMAT_MESSAGE_IGNORE_INSERTS, module, code, 0, buffer, 256, nullptr);
  return n > 0 ? WithoutLineEnds(std::string(buffer, n)) : std::string();
}

}  // namespace

std::string ExtendedErrorText(DWORD* error) {
  DWORD code = 0, length = 0;
  InternetGetLastResponseInfoA(&code, g.emptytext, &length);
  std::vector<char> buffer(length + 1, ' ');
  buffer[length] = 0;
  DWORD size = length;
  InternetGetLastResponseInfoA(&code, buffer.data(), &size);
  if (error) *error = code;
  return WithoutLineEnds(std::string(buffer.data(), strnlen(buffer.data(), length)));
}

std::string ErrorText(DWORD code) {
  if (code == ERROR_INTERNET_EXTENDED_ERROR) return ExtendedErrorText();
  // The library is linked into the program; its message table is in the module it names. A
  // code that is not the library's own (a system error passed through) gets the system's text
  // rather than an empty box.
  std::string text = FormattedMessage(FORMAT_MESSAGE_FROM_HMODULE, FtpNetModule(), code);
  if (text.empty()) text = FormattedMessage(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code);
  return text + ResponseDetail(code);
}

// What the last response adds to the library's text of a failure: the server's refusal in its
// own words ("425 Can't create data socket", "530 Login incorrect."), or the library's account
// of what it refused itself (its code is the error's: it names the port or the address). A
// server that refused TLS is quoted whatever its reply's code. Replies that report progress
// ("150 Opening ...") explain nothing and are left out.
std::string ResponseDetail(DWORD code) {
  DWORD reply_code = 0;
  const std::string reply = ExtendedErrorText(&reply_code);
  if (reply.empty()) return std::string();
  if (reply_code == code) return "||" + reply;
  const bool refusal = reply_code >= 400 && reply_code < 600;
  const bool tls = code == ERROR_FTP_TLS_NOT_OFFERED || code == ERROR_FTP_TLS_DATA_REFUSED;
  return refusal || tls ? "||Server: " + reply : std::string();
}

void ListingErrorReport(const std::string& context, DWORD code) {
  if (code != ERROR_INTERNET_EXTENDED_ERROR) return;
  DWORD x = 0;
  const std::string t = ExtendedErrorText(&x);
  Message(context + " Extd Err: " + std::to_string(x) + " " + t, "INTERNET ERROR");
}

void ShowRequestError(DWORD error) { ShowRequestErrorText(Clip(ErrorText(error))); }

void ShowRequestErrorText(const std::string& text) {
  SetFixed(g.errortext, text);
  Message(text, "VTFTP Client Error", ExclamationIcon());
}

}  // namespace ftpcl
