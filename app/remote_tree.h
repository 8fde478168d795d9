// The remote directory tree: the DLS queue behind ?LIST1 in tree order (every folder's entries
// directly below it, in name order), and CURRENTFTPDIR, the remote directory that transfers and
// file operations work in. Listings that fill it are in app/remote_listing.h.
#pragma once
#include <cstdint>
#include <string>

namespace ftpcl {

// The root row of a new connection's tree (the tree is emptied first).
void CreateRoot(const std::string& server);
// Root creation when DLS is empty and `path` is SERVERNAME; otherwise the merge of FFLS under
// the row `path` (MergeUnder).
void CreateRootOrMerge(const std::string& path);
// Puts the FFLS entries, in name order, directly below the folder row whose tree path is
// `parent`, in place of the rows that were below it. False when no such row is left (the tree
// was emptied or rebuilt meanwhile): nothing is added.
bool MergeUnder(const std::string& parent);
// A folder whose listing failed or was cancelled: closed, not listed (the next double-click
// lists it again), nothing below it.
void MarkNotListed(const std::string& tree_path);
// Deletes the rows below the directory row of CURRENTFTPDIR and lists it again; `report` is
// the text left in status zone 2 when the listing ends.
void RefreshRemoteDirectory(const std::string& report = "");
// True when the tree shows an entry `name` in the listed folder `dir` ("/" for the root).
bool TreeShowsEntry(const std::string& dir, const std::string& name);

// "1 KB", "1023 bytes", "" for 0; sizes of any magnitude (KB counted in 64 bits).
std::string SizeText(std::uint64_t size);

// A file row whose size the listing gave only approximately ("33.5k"; the library's
// FTP_FIND_SIZE_APPROXIMATE): its ATTRIBUTE carries this bit beside the library's attributes
// (no file attribute uses it, and a folder never has it). The row shows the size all the same.
constexpr std::int32_t kSizeApproximate = 0x40000000;
// The ATTRIBUTE of a row for a found entry: its attributes, and the mark above from its
// WIN32_FIND_DATAA.dwReserved0.
std::int32_t RowAttribute(std::uint32_t attributes, std::uint32_t findMarks);

// Path of the current DLS row (its tree path without the root's name), the directory of a
// file row, and the row's size.
std::string RowPath();
std::string RowDirectory();
std::uint64_t RowSize();
// The total a download of the current row counts its progress against: the row's size, or 0
// (no percentage, the byte count alone) when that size is approximate: a total that is not the
// file's length would show a wrong percentage, and 100 before the end.
std::uint64_t RowTransferTotal();

// The path the library is given for a tree path ("/pub/a.txt" -> "pub/a.txt", "/" -> ""). The
// tree's root row is the folder the login starts in, and every request's connection starts
// there; a path beginning with "/" would name the server's own root instead, which for an
// account not locked into its folder is another folder, where a Get or a Delete could reach a
// file of the same name the user never saw.
std::string ServerPathOf(const std::string& tree_path);

// ?LIST1 handlers.
void RemoteDoubleClick();
void RemoteNewSelection();

}  // namespace ftpcl
