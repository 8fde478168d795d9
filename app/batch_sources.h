// The folders a batch walks: the server's, through the FTP library on a connection handle, and
// the local disk's. Both are FolderSources for app/batch_plan.h.
//
// RemoteFolders blocks in every call: use it on a connection of a synchronous session (the
// batch's own connection, on a thread that does not hold the runtime lock). A folder's identity
// is the path the server's PWD names after "CWD path": servers that resolve links there
// (vsftpd, Pure-FTPd) name a folder reached through a link by its real path, which stops a link
// to a parent at once; a server whose PWD keeps the link's path gives no identity and the depth
// limit ends the walk. After each probe the connection goes back to the login folder, where the
// client's relative paths start; should that fail, every later listing fails too (its relative
// path would name another folder). FtpCommandA keeps such a connection out of the library's pool.
#pragma once
#include "app/batch_plan.h"
#include "net/ftpnet.h"

namespace ftpcl {

class RemoteFolders : public FolderSource {
 public:
  explicit RemoteFolders(HINTERNET connection) : connection_(connection) {}
  DWORD List(const std::string& path, std::vector<FolderEntry>* out) override;
  std::string Identity(const std::string& path) override;

 private:
  bool Pwd(std::string* path);
  HINTERNET connection_;
  bool home_known_ = false;
  bool no_probes_ = false;  // PWD gave no login folder to come back to: no identities
  bool astray_ = false;     // a probe left the login folder and could not return: no listings
  std::string home_;        // the server's bytes of the login folder
};

// The local disk. Identity: the volume serial and file number, the same through any link or
// junction. A name the ANSI code page cannot show exactly (the client opens files by their ANSI
// names) comes with its problem, so that the plan names it instead of sending another file.
class LocalFolders : public FolderSource {
 public:
  DWORD List(const std::string& path, std::vector<FolderEntry>* out) override;
  std::string Identity(const std::string& path) override;
};

// Makes a batch's local folder (a path made of the plan's folders below the chosen folder), or
// takes the one there. 0, or why it cannot hold the batch's files: a file of that name
// (ERROR_ALREADY_EXISTS), or a link or junction (ERROR_CANT_ACCESS_FILE), which could lead
// the files out of the chosen folder.
DWORD MakeLocalFolder(const std::string& path);

// The path of a PWD reply ("257 \"/a \"\"b\"\"\" is current" -> /a "b"); false without one.
bool PathOfPwdReply(const std::string& reply, std::string* path);

}  // namespace ftpcl
