// The texts of the library's errors and the boxes that show them.
#pragma once
#include <windows.h>

#include <string>

namespace ftpcl {

// Text of an error code from the library's message table (12003: the server's last response),
// followed by what the last response adds (ResponseDetail).
std::string ErrorText(DWORD code);
// "||Server: <reply>" when the server's last reply refused the request (4xx, 5xx; any reply to
// a refused TLS), "||<account>" when the library refused something itself and said what in the
// last response, else "".
std::string ResponseDetail(DWORD code);
// The text of the server's last response on this thread.
std::string ExtendedErrorText(DWORD* error = nullptr);
// "INTERNET ERROR" box for a listing error; only 12003 is reported.
void ListingErrorReport(const std::string& context, DWORD code);

// "VTFTP Client Error" with the error's text (kept in ERRORTEXT).
void ShowRequestError(DWORD error);
// The same with the text already made (taken before the server's last response changes).
void ShowRequestErrorText(const std::string& text);

}  // namespace ftpcl
