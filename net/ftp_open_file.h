// File handles: the transfers a caller drives (FtpOpenFileA; FtpCommandA with a data
// connection) and their end when the handle is closed.
#pragma once
#include <windows.h>

#include <memory>

#include "net/ftp_handles.h"
#include "net/ftp_request.h"

namespace vel::net {

// After the connection's engine opened a stream: the file handle for it (registered, the
// connection marked as holding an open file), as the request's outcome; a full handle table ends
// the stream and fails.
Outcome OpenedFile(const std::shared_ptr<Connection>& c, DWORD_PTR ctx, bool upload, bool sized);
// InternetCloseHandle of a file handle (already unregistered): ends its transfer and gives the
// close's result (see FtpOpenFileA in net/ftpnet.h).
BOOL CloseFile(const std::shared_ptr<File>& f);

}  // namespace vel::net
