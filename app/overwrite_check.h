// The look at a remote target before a request that would replace it (a put, a rename onto an
// existing name). The library says what the server proves (FtpGetEntryPresenceA); a target is
// taken as absent only when that is proven, so a check that failed or could not decide leads to
// the question, never to a silent replacement.
#pragma once
#include <windows.h>

#include <string>

namespace ftpcl {

enum class Target {
  kAbsent,  // proven not there: the request goes ahead
  kFolder,  // a folder has the name: nothing is replaced, the request is refused
  kMaybe,   // a file is there, a name that the server takes as the same, or not known: asked
};

// `error` is the check's completion error, `presence` the FTP_PRESENCE_* value it gave.
Target TargetFound(DWORD error, DWORD presence);

// "Do you want to overwrite: |<path> file." Yes/No in the program's style (question icon, No
// the default); true for Yes.
bool AskOverwrite(const std::string& path);

}  // namespace ftpcl
