// Secure Channel client: credentials, the handshake loop, record encryption and decryption with
// their buffering, post-handshake messages and the orderly close.
//
// Buffers: in_[inStart_ .. inStart_ + inLen_) holds received bytes the platform has not consumed
// yet. Each call that consumes input reports what it left over as a SECBUFFER_EXTRA buffer at the
// end of what it was given; KeepExtra() makes that the new window (moved to the front only when
// a read needs the room). SEC_E_INCOMPLETE_MESSAGE means "the record is not complete": more is
// read and the same bytes are offered again. Reads take up to kReadChunk at once and every
// complete record they brought is decrypted before the next read: each socket wait costs a
// round trip to the Wine server.
#include "net/tls_channel.h"

#include <algorithm>
#include <cstring>

#include "net/ftpnet.h"
#include "runtime/core/text_codec.h"

namespace vel::net {

namespace {

constexpr DWORD kOldProtocols =
    SP_PROT_SSL2_CLIENT | SP_PROT_SSL3_CLIENT | SP_PROT_TLS1_0_CLIENT | SP_PROT_TLS1_1_CLIENT;
constexpr DWORD kCredentialFlags =
    SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS | SCH_USE_STRONG_CRYPTO;
constexpr size_t kReadChunk = 256 * 1024;
constexpr DWORD kDrainMs = 3000;  // how long Finish() waits for the server's end
constexpr unsigned char kAlertRecord = 21;

SECURITY_STATUS AcquireWith(void* authData, CredHandle* handle) {
  TimeStamp expiry;
  return AcquireCredentialsHandleA(nullptr, const_cast<char*>(UNISP_NAME_A), SECPKG_CRED_OUTBOUND, nullptr,
                                   authData, nullptr, nullptr, handle, &expiry);
}

// An output buffer the platform allocated (ISC_REQ_ALLOCATE_MEMORY), freed on scope exit.
struct PlatformToken {
  SecBuffer buffer{0, SECBUFFER_TOKEN, nullptr};
  PlatformToken() = default;
  PlatformToken(const PlatformToken&) = delete;
  ~PlatformToken() {
    if (buffer.pvBuffer) FreeContextBuffer(buffer.pvBuffer);
  }
};

SecBuffer* FindBuffer(SecBufferDesc* desc, unsigned long type) {
  for (unsigned long i = 0; i < desc->cBuffers; ++i)
    if (desc->pBuffers[i].BufferType == type) return &desc->pBuffers[i];
  return nullptr;
}

// A TLS record starts with a content type (20 change_cipher_spec .. 23 application_data) and
// protocol major version 3. Anything else, such as a plain-text FTP reply after "234", is
// refused at once instead of being waited for as an incomplete record of an absurd length.
bool PlausibleRecord(const char* p, size_t n) {
  if (n >= 1 && (p[0] < 20 || p[0] > 23)) return false;
  return n < 2 || p[1] == 3;
}

// Whether the bytes hold at least one whole record (5-byte header with the length behind it).
// Moves a buffer the platform filled to `to` (where it already is, as a rule); its length.
size_t CloseGap(char* to, const SecBuffer& b) {
  if (b.pvBuffer != to) memmove(to, b.pvBuffer, b.cbBuffer);
  return b.cbBuffer;
}

bool WholeRecord(const char* p, size_t n) {
  return n >= 5 && n >= 5 + ((static_cast<size_t>(static_cast<unsigned char>(p[3])) << 8) |
                             static_cast<unsigned char>(p[4]));
}

}  // namespace

// ---- credentials

TlsCredentials::~TlsCredentials() {
  if (SecIsValidHandle(&handle_)) FreeCredentialsHandle(&handle_);
}

DWORD TlsCredentials::Acquire(std::shared_ptr<TlsCredentials>* out, SECURITY_STATUS* status) {
  std::shared_ptr<TlsCredentials> c(new TlsCredentials);
  SecInvalidateHandle(&c->handle_);
  // The current form first (it is the only one that offers TLS 1.3 on recent systems); older
  // systems know only SCHANNEL_CRED, some of them without TLS 1.3.
  TLS_PARAMETERS tls{};
  tls.grbitDisabledProtocols = kOldProtocols;
  SCH_CREDENTIALS current{};
  current.dwVersion = SCH_CREDENTIALS_VERSION;
  current.dwFlags = kCredentialFlags;
  current.cTlsParameters = 1;
  current.pTlsParameters = &tls;
  SECURITY_STATUS st = AcquireWith(&current, &c->handle_);
  c->form_ = "SCH_CREDENTIALS";
  if (st != SEC_E_OK) {
    SCHANNEL_CRED legacy{};
    legacy.dwVersion = SCHANNEL_CRED_VERSION;
    legacy.dwFlags = kCredentialFlags;
    legacy.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT | SP_PROT_TLS1_3_CLIENT;
    st = AcquireWith(&legacy, &c->handle_);
    c->form_ = "SCHANNEL_CRED 1.2+1.3";
    if (st != SEC_E_OK) {
      legacy.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
      st = AcquireWith(&legacy, &c->handle_);
      c->form_ = "SCHANNEL_CRED 1.2";
    }
  }
  if (status) *status = st;
  if (st != SEC_E_OK) {
    SecInvalidateHandle(&c->handle_);
    return ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
  }
  *out = std::move(c);
  return 0;
}

// ---- session description

std::string TlsSessionInfo::ProtocolName() const {
  if (protocol & SP_PROT_TLS1_3_CLIENT) return "TLS 1.3";
  if (protocol & SP_PROT_TLS1_2_CLIENT) return "TLS 1.2";
  if (protocol & SP_PROT_TLS1_1_CLIENT) return "TLS 1.1";
  if (protocol & SP_PROT_TLS1_0_CLIENT) return "TLS 1.0";
  return "TLS";
}

namespace {

std::string CipherName(ALG_ID cipher, DWORD bits) {
  switch (cipher) {
    case CALG_AES_128: return "AES 128";
    case CALG_AES_256: return "AES 256";
    case CALG_3DES: return "3DES";
    case 0: return std::string();
    default: return "cipher " + std::to_string(cipher) + " (" + std::to_string(bits) + " bits)";
  }
}

}  // namespace

std::string TlsSessionInfo::Brief() const {
  const std::string name = CipherName(cipher, cipherBits);
  return name.empty() ? ProtocolName() : ProtocolName() + ", " + name;
}

std::string TlsSessionInfo::Describe() const {
  // The platform's suite name where it gives a whole one (Wine 8 names AEAD suites
  // "..._GCM_<unknown>"); else the algorithms it reports.
  if (!suite.empty() && suite.find('<') == std::string::npos) return ProtocolName() + ", " + suite;
  std::string text = ProtocolName();
  switch (exchange) {
    case CALG_ECDH_EPHEM: text += ", ECDHE"; break;
    case CALG_ECDH: text += ", ECDH"; break;
    case CALG_DH_EPHEM: text += ", DHE"; break;
    case CALG_RSA_KEYX: text += ", RSA"; break;
    default: break;
  }
  if (cipher) text += ", " + CipherName(cipher, cipherBits);
  switch (hash) {
    case CALG_SHA1: text += ", SHA-1"; break;
    case CALG_SHA_256: text += ", SHA-256"; break;
    case CALG_SHA_384: text += ", SHA-384"; break;
    default: break;
  }
  return text;
}

// ---- channel

TlsChannel::TlsChannel(Socket socket, std::shared_ptr<TlsCredentials> credentials, std::string targetName)
    : socket_(std::move(socket)), credentials_(std::move(credentials)), target_(std::move(targetName)) {
  SecInvalidateHandle(&context_);
}

TlsChannel::~TlsChannel() {
  if (haveContext_) DeleteSecurityContext(&context_);
}

unsigned long TlsChannel::RequestFlags() const {
  return ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY | ISC_REQ_EXTENDED_ERROR |
         ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM | ISC_REQ_MANUAL_CRED_VALIDATION;
}

DWORD TlsChannel::Fail(SECURITY_STATUS status) {
  status_ = status;
  state_ = St::Failed;
  return ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
}

// Reads more of the server's bytes behind what in_ holds. *eof is set when the connection ended.
DWORD TlsChannel::FillInput(DWORD timeoutMs, const std::atomic<bool>* cancel, bool* eof) {
  *eof = false;
  if (in_.size() - inStart_ - inLen_ < kReadChunk && inStart_ > 0) {
    memmove(in_.data(), in_.data() + inStart_, inLen_);
    inStart_ = 0;
  }
  if (in_.size() - inLen_ < kReadChunk) {
    if (in_.size() >= kMaxHandshakeBytes) return Fail(SEC_E_BUFFER_TOO_SMALL);  // no record is this long
    in_.resize(std::min(kMaxHandshakeBytes, std::max(in_.size() * 2, inLen_ + kReadChunk)));
  }
  size_t got = 0;
  char* end = In() + inLen_;
  DWORD e = socket_.Recv(end, in_.size() - inStart_ - inLen_, &got, timeoutMs, cancel);
  if (e) {
    state_ = St::Failed;
    return e;
  }
  inLen_ += got;
  *eof = got == 0;
  return 0;
}

void TlsChannel::KeepExtra(const SecBuffer* extra) {
  if (!extra || extra->cbBuffer == 0) {
    inStart_ = inLen_ = 0;
    return;
  }
  inStart_ += inLen_ - extra->cbBuffer;
  inLen_ = extra->cbBuffer;
}

DWORD TlsChannel::SendToken(SecBuffer* token, DWORD timeoutMs, const std::atomic<bool>* cancel) {
  if (!token->pvBuffer || token->cbBuffer == 0) return 0;
  DWORD e = socket_.SendAll(static_cast<const char*>(token->pvBuffer), token->cbBuffer, timeoutMs, cancel);
  if (e) state_ = St::Failed;
  return e;
}

// One call of the handshake function on what in_ holds (the server's records so far), sending
// the token it makes. *more: it needs more of the server's bytes first.
DWORD TlsChannel::HandshakeCall(bool* done, bool* more, DWORD timeoutMs, const std::atomic<bool>* cancel) {
  SecBuffer inBuffers[2] = {{static_cast<unsigned long>(inLen_), SECBUFFER_TOKEN, In()},
                            {0, SECBUFFER_EMPTY, nullptr}};
  SecBufferDesc input{SECBUFFER_VERSION, 2, inBuffers};
  PlatformToken token;
  SecBufferDesc output{SECBUFFER_VERSION, 1, &token.buffer};
  unsigned long attributes = 0;
  SECURITY_STATUS st =
      InitializeSecurityContextA(credentials_->Handle(), &context_, target_.empty() ? nullptr : target_.data(),
                                 RequestFlags(), 0, 0, &input, 0, nullptr, &output, &attributes, nullptr);
  *done = false;
  *more = false;
  if (st == SEC_E_INCOMPLETE_MESSAGE) {
    *more = true;
    return 0;
  }
  // A failing call may still have made a token: the alert that tells the server why.
  DWORD sent = SendToken(&token.buffer, timeoutMs, cancel);
  if (st != SEC_E_OK && st != SEC_I_CONTINUE_NEEDED && st != SEC_I_INCOMPLETE_CREDENTIALS) {
    DWORD e = Fail(st);
    return clientCertificateAsked_ ? ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED : e;
  }
  if (sent) return sent;
  if (st == SEC_I_INCOMPLETE_CREDENTIALS) {  // asked for a client certificate: go on without
    clientCertificateAsked_ = true;
    return 0;
  }
  KeepExtra(inBuffers[1].BufferType == SECBUFFER_EXTRA ? &inBuffers[1] : nullptr);
  *done = st == SEC_E_OK;
  *more = st == SEC_I_CONTINUE_NEEDED && inLen_ == 0;
  return 0;
}

DWORD TlsChannel::Handshake(DWORD timeoutMs, const std::atomic<bool>* cancel) {
  if (state_ != St::Fresh) return ERROR_INTERNET_INCORRECT_HANDLE_STATE;
  PlatformToken hello;
  SecBufferDesc output{SECBUFFER_VERSION, 1, &hello.buffer};
  unsigned long attributes = 0;
  SECURITY_STATUS st =
      InitializeSecurityContextA(credentials_->Handle(), nullptr, target_.empty() ? nullptr : target_.data(),
                                 RequestFlags(), 0, 0, nullptr, 0, &context_, &output, &attributes, nullptr);
  if (st != SEC_I_CONTINUE_NEEDED) return Fail(st);
  haveContext_ = true;
  if (DWORD e = SendToken(&hello.buffer, timeoutMs, cancel)) return e;
  bool done = false, more = true;
  int calls = 0;
  while (!done) {
    if (more) {
      bool eof = false;
      if (DWORD e = FillInput(timeoutMs, cancel, &eof)) return e;
      if (eof) return Fail(SEC_E_INCOMPLETE_MESSAGE);  // the server left in the middle
    }
    if (++calls > 1000) return Fail(SEC_E_INTERNAL_ERROR);  // a platform that never finishes
    if (!PlausibleRecord(In(), inLen_)) return Fail(SEC_E_ILLEGAL_MESSAGE);
    if (DWORD e = HandshakeCall(&done, &more, timeoutMs, cancel)) return e;
  }
  st = QueryContextAttributesA(&context_, SECPKG_ATTR_STREAM_SIZES, &sizes_);
  if (st != SEC_E_OK || sizes_.cbMaximumMessage == 0) return Fail(st ? st : SEC_E_INTERNAL_ERROR);
  state_ = St::Open;
  return 0;
}

DWORD TlsChannel::Send(const char* p, size_t n, DWORD timeoutMs, const std::atomic<bool>* cancel) {
  if (state_ == St::Failed) return ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
  if (state_ != St::Open) return ERROR_INTERNET_INCORRECT_HANDLE_STATE;
  const size_t header = sizes_.cbHeader, trailer = sizes_.cbTrailer, most = sizes_.cbMaximumMessage;
  while (n > 0) {
    size_t records = std::min(kBatchRecords, (n + most - 1) / most);
    out_.resize(records * (header + most + trailer));
    size_t used = 0;
    for (size_t r = 0; r < records && n > 0; ++r) {
      size_t len = std::min(n, most);
      char* base = out_.data() + used;
      memcpy(base + header, p, len);
      SecBuffer b[4] = {{static_cast<unsigned long>(header), SECBUFFER_STREAM_HEADER, base},
                        {static_cast<unsigned long>(len), SECBUFFER_DATA, base + header},
                        {static_cast<unsigned long>(trailer), SECBUFFER_STREAM_TRAILER, base + header + len},
                        {0, SECBUFFER_EMPTY, nullptr}};
      SecBufferDesc desc{SECBUFFER_VERSION, 4, b};
      SECURITY_STATUS st = EncryptMessage(&context_, 0, &desc, 0);
      if (st != SEC_E_OK) return Fail(st);
      // The record is header, data and trailer as long as the platform made them: close the
      // gaps a shorter header or trailer leaves. Nearly always there are none, and the
      // runtime's memmove copies a block onto itself byte for byte: only gaps are closed.
      size_t at = b[0].cbBuffer;
      at += CloseGap(base + at, b[1]);
      at += CloseGap(base + at, b[2]);
      used += at;
      p += len;
      n -= len;
    }
    DWORD e = socket_.SendAll(out_.data(), used, timeoutMs, cancel);
    if (e) {
      state_ = St::Failed;
      return e;
    }
  }
  return 0;
}

// Gives a record's plaintext to the reader: into its room first, the rest (a record larger
// than what room is left) into plain_, which is empty whenever a record is decrypted.
void TlsChannel::Take(const char* d, size_t n, char* to, size_t room, size_t* given) {
  size_t now = std::min(n, room - *given);
  memcpy(to + *given, d, now);
  *given += now;
  plain_.insert(plain_.end(), d + now, d + n);
}

// Decrypts the next record(s), reading as needed, until some plaintext or the end of the
// stream is there. The plaintext goes straight into the reader's room (to[0 .. room), *given
// bytes of it filled): every whole record already received is decrypted while room remains,
// so that one socket wait brings as much as it can and no byte is copied twice.
DWORD TlsChannel::DecryptNext(char* to, size_t room, size_t* given, DWORD timeoutMs,
                              const std::atomic<bool>* cancel) {
  bool more = inLen_ == 0;
  for (;;) {
    if (more) {
      bool eof = false;
      size_t before = inLen_;
      if (DWORD e = FillInput(timeoutMs, cancel, &eof)) return e;
      if (eof) {
        if (before != 0) return Fail(SEC_E_INCOMPLETE_MESSAGE);  // cut inside a record
        state_ = St::PeerEnded;
        return 0;
      }
    }
    if (!PlausibleRecord(In(), inLen_)) return Fail(SEC_E_ILLEGAL_MESSAGE);
    const unsigned char recordType = static_cast<unsigned char>(In()[0]);
    SecBuffer b[4] = {{static_cast<unsigned long>(inLen_), SECBUFFER_DATA, In()},
                      {0, SECBUFFER_EMPTY, nullptr},
                      {0, SECBUFFER_EMPTY, nullptr},
                      {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc desc{SECBUFFER_VERSION, 4, b};
    SECURITY_STATUS st = DecryptMessage(&context_, &desc, 0, nullptr);
    if (st == SEC_E_INCOMPLETE_MESSAGE) {
      more = true;
      continue;
    }
    if (st != SEC_E_OK && st != SEC_I_CONTEXT_EXPIRED && st != SEC_I_RENEGOTIATE) return Fail(st);
    // Keep the plaintext before the leftover is moved over it (both live in in_).
    SecBuffer* data = FindBuffer(&desc, SECBUFFER_DATA);
    bool empty = !data || data->cbBuffer == 0;
    if (!empty) Take(static_cast<const char*>(data->pvBuffer), data->cbBuffer, to, room, given);
    KeepExtra(FindBuffer(&desc, SECBUFFER_EXTRA));
    // Wine's Secure Channel (8.0) takes the server's close_notify as an empty record (SEC_E_OK,
    // no data) instead of SEC_I_CONTEXT_EXPIRED. An alert record that leaves the channel usable
    // and gives no data can only be a warning; after the handshake the one a server sends is
    // close_notify (record type 21 is visible before TLS 1.3, where Wine stops).
    if (st == SEC_E_OK && empty && recordType == kAlertRecord) st = SEC_I_CONTEXT_EXPIRED;
    if (st == SEC_I_CONTEXT_EXPIRED) {
      state_ = St::PeerClosed;
      return 0;
    }
    if (st == SEC_I_RENEGOTIATE) {
      if (DWORD e = PostHandshake(timeoutMs, cancel)) return e;
    }
    bool another = WholeRecord(In(), inLen_) && *given < room;
    if ((*given > 0 || plainPos_ < plain_.size()) && !another) return 0;
    more = !another && !WholeRecord(In(), inLen_);
  }
}

// The server sent a handshake message after the handshake. TLS 1.3 uses that for session
// tickets and key updates, which the platform processes through the handshake function; before
// TLS 1.3 it is a renegotiation request, which an FTP client has no reason to accept.
DWORD TlsChannel::PostHandshake(DWORD timeoutMs, const std::atomic<bool>* cancel) {
  if (!(Info().protocol & SP_PROT_TLS1_3_CLIENT)) {
    renegotiationRefused_ = true;
    return Fail(SEC_I_RENEGOTIATE);
  }
  bool done = false, more = false;
  for (int calls = 0; !done; ++calls) {
    if (calls > 100) return Fail(SEC_E_INTERNAL_ERROR);
    if (more) {
      bool eof = false;
      if (DWORD e = FillInput(timeoutMs, cancel, &eof)) return e;
      if (eof) return Fail(SEC_E_INCOMPLETE_MESSAGE);
    }
    if (DWORD e = HandshakeCall(&done, &more, timeoutMs, cancel)) return e;
  }
  return 0;
}

DWORD TlsChannel::Recv(char* p, size_t cap, size_t* got, DWORD timeoutMs, const std::atomic<bool>* cancel) {
  *got = 0;
  while (plainPos_ == plain_.size()) {
    if (deferredError_) return deferredError_;
    if (state_ == St::PeerClosed || state_ == St::PeerEnded) return 0;
    if (state_ == St::Failed) return ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
    if (state_ != St::Open) return ERROR_INTERNET_INCORRECT_HANDLE_STATE;
    if (DWORD e = DecryptNext(p, cap, got, timeoutMs, cancel)) {
      if (*got == 0 && plainPos_ == plain_.size()) return e;
      deferredError_ = e;  // what came before the failure is delivered first
    }
    if (*got > 0) return 0;
  }
  size_t n = std::min(cap, plain_.size() - plainPos_);
  memcpy(p, plain_.data() + plainPos_, n);
  plainPos_ += n;
  if (plainPos_ == plain_.size()) {
    plain_.clear();
    plainPos_ = 0;
  }
  *got = n;
  return 0;
}

DWORD TlsChannel::SendCloseNotify(DWORD timeoutMs, const std::atomic<bool>* cancel) {
  DWORD type = SCHANNEL_SHUTDOWN;
  SecBuffer control{sizeof type, SECBUFFER_TOKEN, &type};
  SecBufferDesc controlDesc{SECBUFFER_VERSION, 1, &control};
  SECURITY_STATUS st = ApplyControlToken(&context_, &controlDesc);
  if (st != SEC_E_OK) return Fail(st);
  PlatformToken alert;
  SecBufferDesc output{SECBUFFER_VERSION, 1, &alert.buffer};
  unsigned long attributes = 0;
  st = InitializeSecurityContextA(credentials_->Handle(), &context_, target_.empty() ? nullptr : target_.data(),
                                  RequestFlags(), 0, 0, nullptr, 0, nullptr, &output, &attributes, nullptr);
  if (st != SEC_E_OK && st != SEC_I_CONTEXT_EXPIRED) return Fail(st);
  return SendToken(&alert.buffer, timeoutMs, cancel);
}

DWORD TlsChannel::Finish(DWORD timeoutMs, const std::atomic<bool>* cancel) {
  DWORD e = 0;
  bool open = state_ == St::Open;
  if (open || state_ == St::PeerClosed || state_ == St::PeerEnded) {
    e = SendCloseNotify(timeoutMs, cancel);
    // The server's own end matters only while it may still be reading what we sent.
    if (!open) e = 0;
  }
  if (open && !e) {
    socket_.ShutdownSend();
    DWORD wait = std::min(timeoutMs, kDrainMs);
    char sink[4096];
    for (size_t total = 0; total < (1u << 20);) {
      size_t got = 0;
      if (socket_.Recv(sink, sizeof sink, &got, wait, cancel) || got == 0) break;
      total += got;
    }
  }
  Close();
  return e;
}

void TlsChannel::Close() {
  if (haveContext_) {
    DeleteSecurityContext(&context_);
    haveContext_ = false;
  }
  socket_.Close();
  state_ = St::Closed;
}

PCCERT_CONTEXT TlsChannel::PeerCertificate() const {
  if (!haveContext_) return nullptr;
  PCCERT_CONTEXT cert = nullptr;
  auto* ctx = const_cast<CtxtHandle*>(&context_);
  if (QueryContextAttributesA(ctx, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &cert) != SEC_E_OK) return nullptr;
  return cert;
}

TlsSessionInfo TlsChannel::Info() const {
  TlsSessionInfo info;
  if (!haveContext_) return info;
  auto* ctx = const_cast<CtxtHandle*>(&context_);
  SecPkgContext_ConnectionInfo connection{};
  if (QueryContextAttributesA(ctx, SECPKG_ATTR_CONNECTION_INFO, &connection) == SEC_E_OK) {
    info.protocol = connection.dwProtocol;
    info.cipher = connection.aiCipher;
    info.cipherBits = connection.dwCipherStrength;
    info.hash = connection.aiHash;
    info.exchange = connection.aiExch;
  }
  SecPkgContext_CipherInfo cipher{};
  cipher.dwVersion = SECPKGCONTEXT_CIPHERINFO_V1;
  if (QueryContextAttributesA(ctx, SECPKG_ATTR_CIPHER_INFO, &cipher) == SEC_E_OK) info.suite = vel::text::AnsiShown(cipher.szCipherSuite);
  SecPkgContext_SessionInfo session{};
  if (QueryContextAttributesA(ctx, SECPKG_ATTR_SESSION_INFO, &session) == SEC_E_OK)
    info.resumed = (session.dwFlags & SSL_SESSION_RECONNECT) ? 1 : 0;
  return info;
}

}  // namespace vel::net
