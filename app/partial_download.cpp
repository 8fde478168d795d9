// The partial-data store on the local disk (layout and call order in the header).
#include "app/partial_download.h"

#include <cstdio>

#include "app/ansi_wide.h"
#include "app/text.h"

namespace ftpcl {
namespace {

constexpr wchar_t kMarkName[] = L"store";
constexpr char kMarkText[] = "ftpclient partial store 1\n";
constexpr DWORD kMaxRecordFile = 64 * 1024;

std::wstring FolderOf(const PartialKey& key) {
  std::wstring f = AnsiToWide(key.folder);
  while (!f.empty() && (f.back() == L'\\' || f.back() == L'/')) f.pop_back();
  return f;
}
std::wstring StoreOf(const PartialKey& key) { return FolderOf(key) + L"\\" + AnsiToWide(kPartialStoreName); }

// "<store>\<16 hex digits>": FNV-1a over what names the transfer.
std::wstring StemOf(const PartialKey& key, PartialRecord::Kind kind) {
  std::uint64_t h = 0xCBF29CE484222325ull;
  const std::string named = std::string(kind == PartialRecord::Kind::kGet ? "get" : "put") + "\n" + key.server +
                            "\n" + key.remote;
  for (char c : named) h = (h ^ static_cast<unsigned char>(c)) * 0x100000001B3ull;
  wchar_t digits[20];
  swprintf(digits, 20, L"%016llx", static_cast<unsigned long long>(h));
  return StoreOf(key) + L"\\" + digits;
}

DWORD WriteWhole(const std::wstring& path, const std::string& bytes, DWORD disposition) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return GetLastError();
  DWORD written = 0, error = 0;
  if (!WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) || !FlushFileBuffers(f))
    error = GetLastError();
  else if (written != bytes.size())
    error = ERROR_DISK_FULL;
  CloseHandle(f);
  return error;
}

// The whole file when it is at most `limit` bytes; false otherwise.
bool ReadWhole(const std::wstring& path, DWORD limit, std::string* out) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size{};
  bool ok = GetFileSizeEx(f, &size) && size.QuadPart <= limit;
  if (ok) {
    out->assign(static_cast<std::size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    ok = out->empty() || (ReadFile(f, &(*out)[0], static_cast<DWORD>(out->size()), &got, nullptr) && got == out->size());
  }
  CloseHandle(f);
  return ok;
}

bool StoreIsOurs(const std::wstring& store) {
  std::string mark;
  return ReadWhole(store + L"\\" + kMarkName, sizeof kMarkText, &mark) && mark == kMarkText;
}

// The key's store, made when missing; an error when a file or a folder not made here has its name.
DWORD EnsureStore(const PartialKey& key) {
  const std::wstring store = StoreOf(key);
  const DWORD attributes = GetFileAttributesW(store.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES)
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) && StoreIsOurs(store) ? 0 : ERROR_ALREADY_EXISTS;
  if (!CreateDirectoryW(store.c_str(), nullptr)) return GetLastError();
  SetFileAttributesW(store.c_str(), FILE_ATTRIBUTE_HIDDEN);
  if (const DWORD e = WriteWhole(store + L"\\" + kMarkName, kMarkText, CREATE_NEW)) {
    DeleteFileW((store + L"\\" + kMarkName).c_str());
    RemoveDirectoryW(store.c_str());
    return e;
  }
  return 0;
}

// The store goes once nothing but its mark is left in it.
void RemoveStoreIfEmpty(const PartialKey& key) {
  const std::wstring store = StoreOf(key);
  WIN32_FIND_DATAW found;
  HANDLE h = FindFirstFileW((store + L"\\*").c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) return;
  bool others = false;
  do {
    const std::wstring n = found.cFileName;
    others |= n != L"." && n != L".." && n != kMarkName;
  } while (!others && FindNextFileW(h, &found));
  FindClose(h);
  if (others) return;
  DeleteFileW((store + L"\\" + kMarkName).c_str());
  RemoveDirectoryW(store.c_str());
}

// The record replaced whole: a flushed temporary file moved over the old record.
DWORD SaveRecord(const std::wstring& stem, const PartialRecord& r) {
  const std::string text = WritePartialRecord(r);
  if (text.empty()) return ERROR_INVALID_PARAMETER;
  const std::wstring temp = stem + L".tmp";
  if (const DWORD e = WriteWhole(temp, text, CREATE_ALWAYS)) {
    DeleteFileW(temp.c_str());
    return e;
  }
  if (!MoveFileExW(temp.c_str(), (stem + L".rec").c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD e = GetLastError();
    DeleteFileW(temp.c_str());
    return e;
  }
  return 0;
}

bool LoadRecord(const PartialKey& key, PartialRecord::Kind kind, PartialRecord* out) {
  if (!StoreIsOurs(StoreOf(key))) return false;
  std::string text;
  PartialRecord r;
  if (!ReadWhole(StemOf(key, kind) + L".rec", kMaxRecordFile, &text) || !ReadPartialRecord(text, &r)) return false;
  if (r.kind != kind || r.server != key.server || r.remote != key.remote) return false;
  *out = std::move(r);
  return true;
}

PartialRecord RecordOf(const PartialKey& key, PartialRecord::Kind kind, std::int64_t remote_size) {
  PartialRecord r;
  r.kind = kind;
  r.server = key.server;
  r.remote = key.remote;
  r.remote_size = remote_size;
  return r;
}

void RemoveFiles(const PartialKey& key, PartialRecord::Kind kind) {
  const std::wstring stem = StemOf(key, kind);
  for (const wchar_t* ext : {L".part", L".rec", L".tmp"}) DeleteFileW((stem + ext).c_str());
  RemoveStoreIfEmpty(key);
}

std::int64_t DataSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA a;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &a) || (a.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return kUnknownSize;
  return (static_cast<std::int64_t>(a.nFileSizeHigh) << 32) | a.nFileSizeLow;
}

HANDLE OpenData(const std::wstring& path, DWORD disposition) {
  return CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

const char kPartialStoreName[] = ".ftpclient-partial";

bool IsPartialStoreName(const std::string& name) {
  return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, name.data(), static_cast<int>(name.size()),
                        kPartialStoreName, sizeof kPartialStoreName - 1) == CSTR_EQUAL;
}

bool FindPartial(const PartialKey& key, PartialRecord* out) {
  PartialRecord r;
  if (!LoadRecord(key, PartialRecord::Kind::kGet, &r)) return false;
  if (DataSize(StemOf(key, r.kind) + L".part") < r.kept) return false;
  *out = std::move(r);
  return true;
}

void DiscardPartial(const PartialKey& key) {
  if (StoreIsOurs(StoreOf(key))) RemoveFiles(key, PartialRecord::Kind::kGet);
}

std::unique_ptr<PartialDownload> PartialDownload::Begin(const PartialKey& key, std::int64_t remote_size,
                                                        const std::string& remote_time, DWORD* error) {
  if ((*error = EnsureStore(key))) return nullptr;
  PartialRecord r = RecordOf(key, PartialRecord::Kind::kGet, remote_size);
  r.remote_time = remote_time;
  const std::wstring stem = StemOf(key, r.kind);
  DeleteFileW((stem + L".part").c_str());
  // The record comes first: data on the disk always has a record that says what it is.
  if ((*error = SaveRecord(stem, r))) {
    RemoveFiles(key, r.kind);
    return nullptr;
  }
  HANDLE f = OpenData(stem + L".part", CREATE_ALWAYS);
  if (f == INVALID_HANDLE_VALUE) {
    *error = GetLastError();
    RemoveFiles(key, r.kind);
    return nullptr;
  }
  return std::unique_ptr<PartialDownload>(new PartialDownload(key, std::move(r), f));
}

std::unique_ptr<PartialDownload> PartialDownload::Resume(const PartialKey& key, DWORD* error) {
  PartialRecord r;
  if (!FindPartial(key, &r)) {
    *error = ERROR_FILE_NOT_FOUND;
    return nullptr;
  }
  HANDLE f = OpenData(StemOf(key, r.kind) + L".part", OPEN_EXISTING);
  LARGE_INTEGER at;
  at.QuadPart = r.kept;
  // Bytes past the recorded count were written after the record and may never have reached
  // the disk whole (a power cut zero-fills): they are cut off, not trusted.
  if (f == INVALID_HANDLE_VALUE || !SetFilePointerEx(f, at, nullptr, FILE_BEGIN) || !SetEndOfFile(f)) {
    *error = GetLastError();
    if (f != INVALID_HANDLE_VALUE) CloseHandle(f);
    return nullptr;
  }
  *error = 0;
  return std::unique_ptr<PartialDownload>(new PartialDownload(key, std::move(r), f));
}

PartialDownload::PartialDownload(PartialKey key, PartialRecord record, HANDLE file)
    : key_(std::move(key)), record_(std::move(record)), file_(file) {}

PartialDownload::~PartialDownload() {
  if (!done_) MarkInterrupted();
}

void PartialDownload::Close() {
  if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
  file_ = INVALID_HANDLE_VALUE;
}

DWORD PartialDownload::Append(const void* data, std::size_t n) {
  if (file_ == INVALID_HANDLE_VALUE) return ERROR_INVALID_HANDLE;
  const char* p = static_cast<const char*>(data);
  while (n > 0) {
    const DWORD part = n > (1u << 30) ? (1u << 30) : static_cast<DWORD>(n);
    DWORD written = 0;
    const BOOL ok = WriteFile(file_, p, part, &written, nullptr);
    record_.kept += written;
    if (!ok) return GetLastError();
    if (written != part) return ERROR_DISK_FULL;
    p += written;
    n -= written;
  }
  if (record_.remote_size != kUnknownSize && record_.kept > record_.remote_size) return ERROR_INVALID_DATA;
  return 0;
}

DWORD PartialDownload::MarkInterrupted() {
  if (done_) return 0;
  DWORD error = file_ != INVALID_HANDLE_VALUE && !FlushFileBuffers(file_) ? GetLastError() : 0;
  Close();
  done_ = true;
  // More bytes than the file has: the server sent another file than it announced. Nothing of
  // it can be continued.
  if (record_.remote_size != kUnknownSize && record_.kept > record_.remote_size) {
    RemoveFiles(key_, record_.kind);
    return ERROR_INVALID_DATA;
  }
  if (const DWORD e = SaveRecord(StemOf(key_, record_.kind), record_)) error = e;
  return error;
}

DWORD PartialDownload::Finish(const std::string& name, bool replace_existing) {
  if (done_ || file_ == INVALID_HANDLE_VALUE) return ERROR_INVALID_HANDLE;
  if (record_.remote_size != kUnknownSize && record_.kept != record_.remote_size) return ERROR_INVALID_DATA;
  LARGE_INTEGER on_disk{};
  if (!GetFileSizeEx(file_, &on_disk) || on_disk.QuadPart != record_.kept) return ERROR_INVALID_DATA;
  if (!LocalNameProblem(name).empty() || IsPartialStoreName(name)) return ERROR_INVALID_NAME;
  if (!FlushFileBuffers(file_)) return GetLastError();
  Close();
  const std::wstring stem = StemOf(key_, record_.kind);
  const std::wstring target = FolderOf(key_) + L"\\" + AnsiToWide(name);
  const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace_existing ? MOVEFILE_REPLACE_EXISTING : 0);
  if (!MoveFileExW((stem + L".part").c_str(), target.c_str(), flags)) {
    DWORD e = GetLastError();
    if (e == ERROR_FILE_EXISTS) e = ERROR_ALREADY_EXISTS;
    file_ = OpenData(stem + L".part", OPEN_EXISTING);  // still there: the caller may ask and finish again
    LARGE_INTEGER end{};
    if (file_ != INVALID_HANDLE_VALUE) SetFilePointerEx(file_, end, nullptr, FILE_END);
    return e;
  }
  done_ = true;
  RemoveFiles(key_, record_.kind);
  return 0;
}

void PartialDownload::Discard() {
  Close();
  done_ = true;
  RemoveFiles(key_, record_.kind);
}

DWORD RecordUploadBreak(const PartialKey& key, std::int64_t remote_size, std::int64_t local_size,
                        std::int64_t local_time) {
  if (const DWORD e = EnsureStore(key)) return e;
  PartialRecord r = RecordOf(key, PartialRecord::Kind::kPut, remote_size);
  r.local_size = local_size;
  r.local_time = local_time;
  const DWORD e = SaveRecord(StemOf(key, r.kind), r);
  if (e) RemoveStoreIfEmpty(key);
  return e;
}

bool FindUploadBreak(const PartialKey& key, PartialRecord* out) {
  return LoadRecord(key, PartialRecord::Kind::kPut, out);
}

void ForgetUploadBreak(const PartialKey& key) {
  if (StoreIsOurs(StoreOf(key))) RemoveFiles(key, PartialRecord::Kind::kPut);
}

std::int64_t LocalFileTime(const std::string& path, std::int64_t* size) {
  WIN32_FILE_ATTRIBUTE_DATA a;
  if (!GetFileAttributesExW(AnsiToWide(path).c_str(), GetFileExInfoStandard, &a)) return kUnknownSize;
  if (size) *size = (static_cast<std::int64_t>(a.nFileSizeHigh) << 32) | a.nFileSizeLow;
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(a.ftLastWriteTime.dwHighDateTime) << 32) |
                                   a.ftLastWriteTime.dwLowDateTime);
}

}  // namespace ftpcl
