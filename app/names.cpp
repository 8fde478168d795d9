#include "app/names.h"

#include "app/globals.h"
#include "app/text.h"

namespace ftpcl {

std::string RemotePathOf(const std::string& name) { return RemotePath(Clipped(g.currentftpdir), name); }

}  // namespace ftpcl
