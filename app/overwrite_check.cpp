#include "app/overwrite_check.h"

#include "app/ui.h"
#include "net/ftpnet.h"

namespace ftpcl {

Target TargetFound(DWORD error, DWORD presence) {
  if (error) return Target::kMaybe;
  if (presence == FTP_PRESENCE_ABSENT) return Target::kAbsent;
  if (presence == FTP_PRESENCE_FOLDER) return Target::kFolder;
  return Target::kMaybe;
}

bool AskOverwrite(const std::string& path) {
  return Message("Do you want to overwrite: |" + path + " file.", "FTP Client", QuestionIcon(),
                 std::to_string(kButtonsYesNo), kButtonNo) == kButtonYes;
}

}  // namespace ftpcl
