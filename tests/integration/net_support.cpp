#include <winsock2.h>

#include "integration/net_support.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace nettest {

namespace {
Recorder* g_recorder = nullptr;
}

const std::vector<Server>& Servers() {
  static std::vector<Server> servers = [] {
    std::vector<Server> out;
    const char* dir = getenv("AFC_FTPD_DIR");
    if (!dir) return out;
    std::string win = std::string("Z:") + dir;
    for (char& c : win)
      if (c == '/') c = '\\';
    std::ifstream in(win + "\\servers.txt");
    Server s;
    std::string root;
    while (in >> s.name >> s.port >> root) {
      s.root = "Z:" + root;
      for (char& c : s.root)
        if (c == '/') c = '\\';
      out.push_back(s);
    }
    return out;
  }();
  return servers;
}

const Server* FindServer(const std::string& name) {
  for (const Server& s : Servers())
    if (s.name == name) return &s;
  return nullptr;
}

namespace {

// A server of the fixture kept apart from Servers(): AFC_FTPD_DIR/NAME.txt holds "PORT ROOT".
Server ApartServer(const std::string& name) {
  Server s{name, 0, ""};
  const char* dir = getenv("AFC_FTPD_DIR");
  if (!dir) return s;
  std::string win = std::string("Z:") + dir + "/" + name + ".txt", root;
  for (char& c : win)
    if (c == '/') c = '\\';
  std::ifstream in(win);
  if (in >> s.port >> root) s.root = "Z:" + root;
  for (char& c : s.root)
    if (c == '/') c = '\\';
  return s;
}

}  // namespace

const Server* TwistedServer() {
  static const Server twisted = ApartServer("twisted");
  return twisted.port ? &twisted : nullptr;
}

const Server* StrictVsftpd() {
  static const Server strict = ApartServer("vsftpd-strict");
  return strict.port ? &strict : nullptr;
}

Recorder::Recorder() { g_recorder = this; }
Recorder::~Recorder() {
  if (g_recorder == this) g_recorder = nullptr;
}
Recorder* CurrentRecorder() { return g_recorder; }

void CALLBACK Recorder::Callback(HINTERNET h, DWORD_PTR, DWORD code, LPVOID info, DWORD len) {
  Recorder* r = g_recorder;
  if (!r) return;
  Note n{h, code, 0, {}, {}};
  if ((code == 31 || code == 41) && info && len == sizeof(DWORD)) n.count = *static_cast<DWORD*>(info);
  if ((code == 60 || code == 100) && info && len == sizeof(INTERNET_ASYNC_RESULT))
    n.result = *static_cast<INTERNET_ASYNC_RESULT*>(info);
  if (code >= 10 && code <= 21 && info && len) n.text.assign(static_cast<char*>(info), strnlen(static_cast<char*>(info), len));
  // The hook is read with the note recorded: a test that sets it once it has seen this note
  // (a 100) must not have it run for this note too (it would chain one request too early).
  void (*hook)(const Note&) = nullptr;
  {
    std::lock_guard<std::mutex> lock(r->m_);
    r->notes_.push_back(n);
    hook = r->onNote;
  }
  if (hook) hook(n);
  // A completion counts for WaitComplete only once its hook has run: a test reads what the
  // hook kept of the 100 (the last response in the callback) as soon as the wait returns.
  {
    std::lock_guard<std::mutex> lock(r->m_);
    if (code == 100) ++r->completesSeen_;
  }
  r->cv_.notify_all();
}

bool Recorder::WaitComplete(INTERNET_ASYNC_RESULT* res, DWORD ms) {
  std::unique_lock<std::mutex> lock(m_);
  if (!cv_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return completesSeen_ > completesTaken_; }))
    return false;
  size_t k = 0;
  for (const Note& n : notes_)
    if (n.code == 100 && k++ == completesTaken_) *res = n.result;
  ++completesTaken_;
  return true;
}

std::vector<Note> Recorder::Take() {
  std::lock_guard<std::mutex> lock(m_);
  std::vector<Note> out;
  out.swap(notes_);
  completesSeen_ = completesTaken_ = 0;
  return out;
}

void Recorder::Clear() { Take(); }

std::vector<DWORD> Folded(const std::vector<Note>& notes) {
  std::vector<DWORD> out;
  for (size_t i = 0; i < notes.size(); ++i) {
    DWORD c = notes[i].code;
    if ((c == 40 || c == 30) && i + 1 < notes.size() && notes[i + 1].code == c + 1) {
      DWORD token = c == 40 ? 4041 : 3031;
      if (out.empty() || out.back() != token) out.push_back(token);
      ++i;
      continue;
    }
    out.push_back(c);
  }
  return out;
}

std::string Show(const std::vector<DWORD>& codes) {
  std::string s;
  for (DWORD c : codes) s += (s.empty() ? "" : " ") + std::to_string(c);
  return s;
}

uint64_t DataBytes(const std::vector<Note>& notes, DWORD code) {
  uint64_t n = 0;
  for (const Note& x : notes)
    if (x.code == code) n += x.count;
  return n;
}

namespace {

void RemoveTree(const std::string& dir) {
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      std::string name = fd.cFileName;
      if (name == "." || name == "..") continue;
      std::string path = dir + "\\" + name;
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(path);
      else
        DeleteFileA(path.c_str());
    } while (FindNextFileA(h, &fd));
    FindClose(h);
  }
  RemoveDirectoryA(dir.c_str());
}

}  // namespace

// One folder per test program (its earlier runs' files removed first), one subfolder per call.
std::string ScratchDir() {
  static int n = 0;
  char cwd[MAX_PATH], exe[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, cwd);
  GetModuleFileNameA(nullptr, exe, MAX_PATH);
  std::string program = exe;
  program = program.substr(program.find_last_of("\\/") + 1);
  std::string dir = std::string(cwd) + "\\net_scratch_" + program;
  if (n == 0) RemoveTree(dir);
  CreateDirectoryA(dir.c_str(), nullptr);
  dir += "\\t" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(GetTickCount64()) + "_" + std::to_string(++n);
  CreateDirectoryA(dir.c_str(), nullptr);
  return dir;
}

std::string ReadAll(const std::string& path, bool* ok) {
  std::ifstream in(path, std::ios::binary);
  if (ok) *ok = static_cast<bool>(in);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteAll(const std::string& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
  return static_cast<bool>(out);
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string Bytes(size_t n, unsigned seed) {
  std::string s(n, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (size_t i = 0; i < n; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    s[i] = static_cast<char>(x);
  }
  return s;
}

std::string LastResponseText(DWORD* code) {
  DWORD err = 0, len = 0;
  InternetGetLastResponseInfoA(&err, nullptr, &len);
  std::string buf(len + 1, '\0');
  DWORD len2 = len + 1;
  InternetGetLastResponseInfoA(&err, buf.data(), &len2);
  buf.resize(len);
  if (code) *code = err;
  return buf;
}

std::string ErrorText(DWORD code) {
  char buf[512] = {};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS, FtpNetModule(), code, 0,
                           buf, sizeof buf, nullptr);
  return std::string(buf, n);
}

int UnusedPort() {
  WSADATA d;
  WSAStartup(MAKEWORD(2, 2), &d);
  SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in in{};
  in.sin_family = AF_INET;
  in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&in), sizeof in);
  int len = sizeof in;
  getsockname(s, reinterpret_cast<sockaddr*>(&in), &len);
  closesocket(s);
  return ntohs(in.sin_port);
}

std::string PutBytes(HINTERNET conn, const std::string& remote, size_t n, unsigned seed) {
  std::string bytes = Bytes(n, seed);
  std::string local = ScratchDir() + "\\source.bin";
  WriteAll(local, bytes);
  if (!FtpPutFileA(conn, local.c_str(), remote.c_str(), FTP_TRANSFER_TYPE_BINARY, 0)) return std::string();
  return bytes;
}

int OtherFiles(const std::string& dir, const std::string& keep) {
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
  int n = 0;
  if (h == INVALID_HANDLE_VALUE) return 0;
  do {
    std::string name = fd.cFileName;
    if (name != "." && name != ".." && name != keep) ++n;
  } while (FindNextFileA(h, &fd));
  FindClose(h);
  return n;
}

}  // namespace nettest
