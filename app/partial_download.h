// The partial-data store: what an interrupted binary transfer leaves for the next one.
//
// Layout: every local folder that has an interrupted transfer holds one hidden subfolder named
// kPartialStoreName, made by this module and marked by its file "store" (content below); a
// folder of that name without the mark is someone else's and is neither read nor written.
// Inside, per transfer, "<16 hex digits>.rec" (the record, app/partial_record.h) and for a
// download "<16 hex digits>.part" (the bytes received, from the file's start). The digits are a
// hash of (kind, server, remote path); the record holds those in full and is believed only when
// they match. So partial data never has a user's file name, never lies in the folder itself,
// and the local file list shows nothing of it once it leaves out IsPartialStoreName(name).
//
// A record is replaced whole: written to "<digits>.tmp", flushed, then moved over the old one
// (MoveFileEx with MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH). A power cut leaves the
// old record or the new one, never a mixture; a torn file reads as no record.
//
// Call order for a download: FindPartial (offer resume: DecideGet) -> PartialDownload::Resume
// or ::Begin -> Append ... -> Finish on the confirmed end, MarkInterrupted on a cancel or a
// failure, Discard when the user declines. The store removes itself once empty.
#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "app/partial_record.h"

namespace ftpcl {

extern const char kPartialStoreName[];
// True for the store folder's name (letter case ignored, as Windows compares names).
bool IsPartialStoreName(const std::string& name);

struct PartialKey {
  std::string folder;  // the local folder the file belongs in (ANSI path, with or without a final "\")
  std::string server;  // the server as the caller names it ("host:port user")
  std::string remote;  // the remote path as the client names it
};

// The recorded download of the key with its data: kept bytes present. False when there is none,
// the record is damaged, or it belongs to another key.
bool FindPartial(const PartialKey& key, PartialRecord* out);
// Removes the key's download record and data (the user declined, or the server file changed).
void DiscardPartial(const PartialKey& key);

// One download's partial data, open for appending.
class PartialDownload {
 public:
  // New partial data for a download beginning now (the server's SIZE and MDTM as it begins; a
  // size or time the server did not give is kUnknownSize / ""). An earlier partial of the key is
  // discarded. Null with *error set when the store cannot be made (disk full, a foreign folder of
  // the store's name, no rights).
  static std::unique_ptr<PartialDownload> Begin(const PartialKey& key, std::int64_t remote_size,
                                                const std::string& remote_time, DWORD* error);
  // The key's partial data, cut to its recorded bytes, to take the rest. Null when it is gone.
  static std::unique_ptr<PartialDownload> Resume(const PartialKey& key, DWORD* error);
  ~PartialDownload();  // an open transfer that ends unannounced is kept as interrupted
  PartialDownload(const PartialDownload&) = delete;
  PartialDownload& operator=(const PartialDownload&) = delete;

  // Writes the next bytes of the file. 0, or the write's error (ERROR_DISK_FULL ...): the bytes
  // that reached the disk before it count as kept.
  DWORD Append(const void* data, std::size_t n);
  std::int64_t Kept() const { return record_.kept; }
  const PartialRecord& Record() const { return record_; }

  // The transfer broke off: the bytes so far are flushed and recorded, for the next Get.
  DWORD MarkInterrupted();
  // The server confirmed the end: the data becomes `name` in the key's folder. Refused, with the
  // data kept, when it does not hold exactly the recorded remote size (ERROR_INVALID_DATA), when
  // `name` is no plain file name of the folder (ERROR_INVALID_NAME), or when a file of that name
  // exists and `replace_existing` is false (ERROR_ALREADY_EXISTS: ask, then call again).
  DWORD Finish(const std::string& name, bool replace_existing);
  // Removes the data and its record.
  void Discard();

 private:
  PartialDownload(PartialKey key, PartialRecord record, HANDLE file);
  void Close();
  PartialKey key_;
  PartialRecord record_;
  HANDLE file_;
  bool done_ = false;
};

// Uploads: only a record (the data is the local file). Written when an upload broke off
// (the remote size at the break, the local file's size and last write time).
DWORD RecordUploadBreak(const PartialKey& key, std::int64_t remote_size, std::int64_t local_size,
                        std::int64_t local_time);
bool FindUploadBreak(const PartialKey& key, PartialRecord* out);
void ForgetUploadBreak(const PartialKey& key);

// A local file's last write time as the record holds it (FILETIME as one number); kUnknownSize
// when the file cannot be read.
std::int64_t LocalFileTime(const std::string& path, std::int64_t* size);

}  // namespace ftpcl
