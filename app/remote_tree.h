// The remote directory tree: the DLS queue behind ?LIST1, kept in path order, filled by
// listings on a temporary synchronous session, and CURRENTFTPDIR, the remote directory that
// transfers and file operations work in.
#pragma once
#include <cstdint>
#include <string>

namespace ftpcl {

// Root creation (DLS empty and path = SERVERNAME) or merge of FFLS under the row `path`.
void CreateRootOrMerge(const std::string& path);
// Lists REMOTEDIR into FFLS and merges it under REMOTEPARENT (blocking; the lock is given up
// around every network call).
void RemoteListing();
// Deletes the rows below the directory row of CURRENTFTPDIR and lists it again.
void RefreshRemoteDirectory();
// "1 KB", "1023 bytes", "" for 0.
std::string SizeText(std::int32_t size);

// Path of the current DLS row (its tree path without the server name) and the directory of a
// file row.
std::string RowPath();
std::string RowDirectory();

// ?LIST1 handlers.
void RemoteDoubleClick();
void RemoteNewSelection();

}  // namespace ftpcl
