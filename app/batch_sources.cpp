// Folder sources of a batch: the server through the FTP library, the local disk.
#include "app/batch_sources.h"

#include "app/ansi_wide.h"
#include "net/ftp_codepage.h"
#include "net/ftp_name_codec.h"

namespace ftpcl {
namespace {

std::string LastReply() {
  DWORD code = 0, length = 0;
  InternetGetLastResponseInfoA(&code, nullptr, &length);
  std::string text(length + 1, '\0');
  length = static_cast<DWORD>(text.size());
  if (!InternetGetLastResponseInfoA(&code, &text[0], &length)) return {};
  text.resize(length);
  return text;
}

// The ANSI name of a wide one when the code page holds it exactly; false otherwise.
bool ExactAnsi(const wchar_t* wide, std::string* out) {
  BOOL lossy = FALSE;
  const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, nullptr, 0, nullptr, &lossy);
  if (n <= 1 || lossy) return false;
  out->assign(static_cast<std::size_t>(n - 1), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, &(*out)[0], n, nullptr, &lossy);
  return !lossy;
}

FolderEntry EntryOf(const WIN32_FIND_DATAA& fd) {
  FolderEntry e;
  e.name = fd.cFileName;
  e.folder = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  e.size = (static_cast<std::int64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
  e.size_approx = (fd.dwReserved0 & FTP_FIND_SIZE_APPROXIMATE) != 0;
  return e;
}

}  // namespace

bool PathOfPwdReply(const std::string& reply, std::string* path) {
  if (reply.compare(0, 3, "257") != 0) return false;
  std::size_t at = reply.find('"');
  if (at == std::string::npos) return false;
  std::string out;
  for (++at; at < reply.size(); ++at) {
    if (reply[at] != '"') {
      out += reply[at];
      continue;
    }
    if (at + 1 < reply.size() && reply[at + 1] == '"') {
      out += '"';
      ++at;
      continue;
    }
    *path = out;
    return !out.empty();
  }
  return false;
}

DWORD RemoteFolders::List(const std::string& path, std::vector<FolderEntry>* out) {
  out->clear();
  if (astray_) return ERROR_INTERNET_INCORRECT_HANDLE_STATE;
  WIN32_FIND_DATAA fd;
  HINTERNET find = FtpFindFirstFileA(connection_, path.empty() ? nullptr : path.c_str(), &fd, INTERNET_FLAG_RELOAD, 0);
  if (!find) {
    const DWORD e = GetLastError();
    return e == ERROR_NO_MORE_FILES ? 0 : e;
  }
  do out->push_back(EntryOf(fd));
  while (InternetFindNextFileA(find, &fd));
  const DWORD e = GetLastError();
  InternetCloseHandle(find);
  return e == ERROR_NO_MORE_FILES ? 0 : e;
}

bool RemoteFolders::Pwd(std::string* path) {
  return FtpCommandA(connection_, FALSE, 0, "PWD", 0, nullptr) && PathOfPwdReply(LastReply(), path);
}

std::string RemoteFolders::Identity(const std::string& path) {
  if (!home_known_) {
    home_known_ = true;
    no_probes_ = !Pwd(&home_);
  }
  std::string server;
  // A probe is made only while the way back is known: the client's paths start at the login folder.
  if (no_probes_ || astray_ ||
      !vel::net::ServerPath(path.empty() ? "." : path, vel::net::WindowsAnsiCodePage(), &server))
    return {};
  if (!FtpCommandA(connection_, FALSE, 0, ("CWD " + server).c_str(), 0, nullptr)) return {};
  std::string here;
  const bool known = Pwd(&here);
  if (!FtpCommandA(connection_, FALSE, 0, ("CWD " + home_).c_str(), 0, nullptr)) astray_ = true;
  return known && !astray_ ? here : std::string();
}

DWORD LocalFolders::List(const std::string& path, std::vector<FolderEntry>* out) {
  out->clear();
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW((AnsiToWide(path) + L"\\*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return GetLastError();
  do {
    const std::wstring name = fd.cFileName;
    if (name == L"." || name == L"..") continue;
    FolderEntry e;
    e.folder = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    e.size = (static_cast<std::int64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
    if (!ExactAnsi(fd.cFileName, &e.name)) {
      ExactAnsi(fd.cAlternateFileName, &e.name);  // something to name it by in the summary
      if (e.name.empty()) e.name = "?";
      e.problem = "its name has letters this code page cannot show";
    }
    out->push_back(std::move(e));
  } while (FindNextFileW(h, &fd));
  const DWORD e = GetLastError();
  FindClose(h);
  return e == ERROR_NO_MORE_FILES ? 0 : e;
}

DWORD MakeLocalFolder(const std::string& path) {
  const std::wstring wide = AnsiToWide(path);
  if (CreateDirectoryW(wide.c_str(), nullptr)) return 0;
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return GetLastError();
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return ERROR_ALREADY_EXISTS;
  return attributes & FILE_ATTRIBUTE_REPARSE_POINT ? ERROR_CANT_ACCESS_FILE : 0;
}

std::string LocalFolders::Identity(const std::string& path) {
  HANDLE h = CreateFileW(AnsiToWide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return {};
  BY_HANDLE_FILE_INFORMATION info;
  const bool ok = GetFileInformationByHandle(h, &info);
  CloseHandle(h);
  if (!ok || (info.nFileIndexHigh == 0 && info.nFileIndexLow == 0)) return {};
  return std::to_string(info.dwVolumeSerialNumber) + ":" + std::to_string(info.nFileIndexHigh) + ":" +
         std::to_string(info.nFileIndexLow);
}

}  // namespace ftpcl
