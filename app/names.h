// Names the client's procedures share: the folder attribute of a listed entry, the longest path
// the library takes, the text of a refused second request, and remote paths.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace ftpcl {

// DLS:ATTRIBUTE of a folder (the library's FILE_ATTRIBUTE_DIRECTORY alone: the tree compares
// it whole, a file's attribute being anything else).
constexpr std::int32_t kDirectory = FILE_ATTRIBUTE_DIRECTORY;
// The longest path the library takes (a buffer of MAX_PATH with its terminating zero).
constexpr std::size_t kMaxPath = MAX_PATH - 1;
// Shown, titled "FTP Client", when a request is asked for while another runs.
inline constexpr const char* kBusyText = "Cannot process request now";

// The path of `name` in the remote folder `dir` ("/" joins without doubling the slash).
inline std::string RemotePath(const std::string& dir, const std::string& name) {
  return (dir == "/" ? std::string() : dir) + "/" + name;
}
// The path of `name` in the current remote folder (CURRENTFTPDIR).
std::string RemotePathOf(const std::string& name);

}  // namespace ftpcl
