// The FTP library's public interface: the platform's internet calling contract (names, argument
// lists, constants, structures and the status-callback signature) for FTP, implemented by our own
// engine on Winsock 2. Include this instead of the platform's internet header.
//
// Handles are opaque numbers checked against the library's handle table: a closed or foreign
// handle gives ERROR_INVALID_HANDLE. Handle kinds: session (InternetOpenA) -> connection
// (InternetConnectA) -> search (FtpFindFirstFileA), file (FtpOpenFileA, FtpCommandA with a
// data connection). A handle inherits its session's mode and status callback; a handle of the
// wrong kind for a call gives ERROR_INTERNET_INCORRECT_HANDLE_TYPE.
//
// Asynchronous sessions (INTERNET_FLAG_ASYNC): a request returns FALSE/NULL with
// ERROR_IO_PENDING, runs on the session's own thread, and reports progress and its end to the
// callback: 10 11 20 21 (connect), 30 31 / 40 41 (each command and its reply, and data chunks of
// a transfer: 31 and 41 carry a DWORD byte count), 60 (INTERNET_ASYNC_RESULT, dwResult = new
// handle), 100 (INTERNET_ASYNC_RESULT: dwResult nonzero on success, dwError), and on close
// 50 51 70. One request runs at a time per session; another gives ERROR_FTP_TRANSFER_IN_PROGRESS.
// Synchronous sessions block and report through the return value and GetLastError; the
// callback, when set, still sees every notification but 100, on the calling thread.
//
// FTP over TLS: a server name "ftpes://host[:port]" (or INTERNET_FLAG_SECURE) asks for explicit
// TLS, "ftps://host[:port]" for implicit TLS (port 990 unless one is given); "ftp://" or no
// scheme is plain FTP. Control and data connections are then encrypted; nothing goes out in
// clear once TLS was asked for. A server certificate the platform does not trust for the name,
// and that the user has not trusted for this server, ends the connect before USER with its
// code (12037, 12038, 12045, 12169, 12170); the certificate and its verdict can then be read
// with the library's own option INTERNET_OPTION_FTP_SERVER_CERTIFICATE, and trusted with
// INTERNET_OPTION_FTP_TRUST_CERTIFICATE, after which a new connect goes through.
//
// Time limits (INTERNET_OPTION_RECEIVE_TIMEOUT, default 60 s, call it T): every wait for the
// server ends after T; beyond that, a reply (the greeting included) must be complete within T
// of its first byte, a TLS handshake within T of the server's first byte, and a data
// connection must move more bytes than T has seconds in every span of T. Any of these
// ends the request with ERROR_INTERNET_TIMEOUT (12002): a server that trickles a byte at a
// time cannot hold a request forever. Closing the handle ends a request at once, as always.
//
// The last response (InternetGetLastResponseInfoA) is the server's last reply, code and text,
// except where the library itself refused what the server asked for; then it is the library's
// own account of it, its code (*lpdwError) the error code and its text naming what was refused:
//   12115 ERROR_FTP_DATA_PORT_REFUSED: a PASV/EPSV reply named a port below 1024 (a server
//         must not point the client at a privileged service); nothing was connected to it.
//         Text: "Data port 1021 named by the server is privileged (below 1024); not connected."
//   12116 ERROR_FTP_DATA_PEER_REFUSED: in active mode only connections from other hosts than
//         the control connection's peer came (they were closed unread) until the connect time-
//         out. Text: "Data connection from 192.0.2.7 refused: not the server's address
//         127.0.0.1." A server that connects from another of its addresses needs passive mode.
// A multi-line reply that never ends (more than 4 MiB) closes the connection with
// ERROR_FTP_DROPPED (12111); the reply's first 16 KiB are the last response. A login the
// server refuses after the password (530 or 550 to PASS) is ERROR_INTERNET_LOGIN_FAILURE
// (12015), the server's reply the last response.
#pragma once
#include <windows.h>

#include "net/tls_errors.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef LPVOID HINTERNET;
typedef HINTERNET* LPHINTERNET;
typedef WORD INTERNET_PORT;

typedef struct {
  DWORD_PTR dwResult;
  DWORD dwError;
} INTERNET_ASYNC_RESULT, *LPINTERNET_ASYNC_RESULT;

typedef VOID(CALLBACK* INTERNET_STATUS_CALLBACK)(HINTERNET hInternet, DWORD_PTR dwContext,
                                                 DWORD dwInternetStatus, LPVOID lpvStatusInformation,
                                                 DWORD dwStatusInformationLength);
typedef INTERNET_STATUS_CALLBACK* LPINTERNET_STATUS_CALLBACK;
#define INTERNET_INVALID_STATUS_CALLBACK ((INTERNET_STATUS_CALLBACK)(-1L))

// Access types of InternetOpenA.
#define INTERNET_OPEN_TYPE_PRECONFIG 0
#define INTERNET_OPEN_TYPE_DIRECT 1
#define INTERNET_OPEN_TYPE_PROXY 3

#define INTERNET_INVALID_PORT_NUMBER 0
#define INTERNET_DEFAULT_FTP_PORT 21
#define INTERNET_DEFAULT_FTPS_PORT 990  // implicit TLS (the library's own name)
#define INTERNET_SERVICE_FTP 1

// Flags.
#define INTERNET_FLAG_ASYNC 0x10000000
#define INTERNET_FLAG_PASSIVE 0x08000000
#define INTERNET_FLAG_SECURE 0x00800000  // InternetConnectA: explicit TLS (AUTH TLS)
#define INTERNET_FLAG_RELOAD 0x80000000
#define INTERNET_FLAG_NEED_FILE 0x00000010
#define FTP_TRANSFER_TYPE_UNKNOWN 0x00000000
#define FTP_TRANSFER_TYPE_ASCII 0x00000001
#define FTP_TRANSFER_TYPE_BINARY 0x00000002
#define FTP_TRANSFER_TYPE_MASK (FTP_TRANSFER_TYPE_ASCII | FTP_TRANSFER_TYPE_BINARY)

// Options of InternetSetOptionA / InternetQueryOptionA (milliseconds).
#define INTERNET_OPTION_CONNECT_TIMEOUT 2
#define INTERNET_OPTION_SEND_TIMEOUT 5
#define INTERNET_OPTION_RECEIVE_TIMEOUT 6
#define INTERNET_OPTION_DATA_SEND_TIMEOUT 7
#define INTERNET_OPTION_DATA_RECEIVE_TIMEOUT 8
// InternetQueryOptionA on a connection: SECURITY_FLAG_SECURE while its control connection is
// encrypted, else 0 (a DWORD).
#define INTERNET_OPTION_SECURITY_FLAGS 31
#define SECURITY_FLAG_SECURE 0x00000001

// The library's own options (numbers the platform does not use).
// Query, on a connection or a session: FTP_SERVER_CERTIFICATE_INFOA about the certificate the
// connection's last connect was shown (on a session: the last one any of its connections was
// shown); ERROR_INTERNET_ITEM_NOT_FOUND when none was.
#define INTERNET_OPTION_FTP_SERVER_CERTIFICATE 0x4C01
// Set, on the same handle, with the FTP_SERVER_CERTIFICATE_INFOA the query gave: remembers the
// user's trust in that certificate for that server (per user, in the registry key named in
// net/tls_certificate.h), so later connects accept it as long as it shows no problem beyond
// those it had. ERROR_INVALID_PARAMETER when the fingerprint is not the one the handle was shown.
#define INTERNET_OPTION_FTP_TRUST_CERTIFICATE 0x4C02
// Query, on a connection: the protocol and cipher of its control connection's TLS, such as
// "TLS 1.2, AES 256" (zero-terminated; length 0 when it is not encrypted).
#define INTERNET_OPTION_FTP_SECURITY_TEXT 0x4C03
// Set, on a session (for the connections made from it afterwards) or a connection, a DWORD: 1
// asks for INTERNET_STATUS_FTP_DATA_PROGRESS during transfers, 0 (the default) does not. The
// platform's 30/31 and 40/41 stay exactly as they are either way.
#define INTERNET_OPTION_FTP_DATA_PROGRESS 0x4C10
// The library's own notification under that option (FtpGetFileA, FtpPutFileA; a file opened
// with FtpOpenFileA reports none, its caller counts what it reads and writes): when a transfer's data begins (the server
// took the command and the data connection is open) with a count of 0, and after every 31 or 41
// of its data, with an FTP_DATA_PROGRESS. The count is the file's bytes moved so far in this
// transfer, as the local file has them: an ASCII transfer counts the local file's line ends,
// not those on the wire. The last report of a transfer that completed equals the file's size.
#define INTERNET_STATUS_FTP_DATA_PROGRESS 0x4C10
typedef struct {
  ULONGLONG ullFileBytes;
} FTP_DATA_PROGRESS;

// WIN32_FIND_DATAA.dwReserved0 bits of the entries FtpFindFirstFileA and InternetFindNextFileA
// give (0 for an entry with none of them).
// The listing gave the size only with a unit ("33.5k", "2M" as "ls -lh" prints it): nFileSize*
// hold that rounded value, for showing. It is not the file's length: no resume point and no
// transfer total may be taken from it (ask the server, or count without a total).
#define FTP_FIND_SIZE_APPROXIMATE 0x00000001

// FTP_SERVER_CERTIFICATE_INFOA.dwProblems bits.
#define FTP_CERT_PROBLEM_DATE 1       // expired or not yet valid
#define FTP_CERT_PROBLEM_NAME 2       // issued for another name
#define FTP_CERT_PROBLEM_AUTHORITY 4  // no trusted authority vouches for it (self-signed ...)
#define FTP_CERT_PROBLEM_REVOKED 8
#define FTP_CERT_PROBLEM_INVALID 16   // malformed, badly signed, not for servers

typedef struct {
  DWORD dwError;           // 0: trusted by the platform; else the first problem's code
  DWORD dwProblems;        // FTP_CERT_PROBLEM_* bits
  BOOL fTrustedByUser;     // problems the user accepted earlier for this server
  SYSTEMTIME stValidFrom;  // UTC
  SYSTEMTIME stValidTo;
  CHAR szServer[272];      // "host:port" in lower case: what the trust is filed under
  CHAR szSubject[512];     // "CN=ftp.example.org, O=Example"
  CHAR szIssuer[512];
  CHAR szValidity[64];     // "2026-12-06 14:55 UTC - 2028-12-07 14:55 UTC"
  CHAR szFingerprint[96];  // SHA-256, "AB:CD:..." (32 pairs)
} FTP_SERVER_CERTIFICATE_INFOA, *LPFTP_SERVER_CERTIFICATE_INFOA;

// Status codes delivered to the callback.
#define INTERNET_STATUS_RESOLVING_NAME 10
#define INTERNET_STATUS_NAME_RESOLVED 11
#define INTERNET_STATUS_CONNECTING_TO_SERVER 20
#define INTERNET_STATUS_CONNECTED_TO_SERVER 21
#define INTERNET_STATUS_SENDING_REQUEST 30
#define INTERNET_STATUS_REQUEST_SENT 31
#define INTERNET_STATUS_RECEIVING_RESPONSE 40
#define INTERNET_STATUS_RESPONSE_RECEIVED 41
#define INTERNET_STATUS_CLOSING_CONNECTION 50
#define INTERNET_STATUS_CONNECTION_CLOSED 51
#define INTERNET_STATUS_HANDLE_CREATED 60
#define INTERNET_STATUS_HANDLE_CLOSING 70
#define INTERNET_STATUS_REQUEST_COMPLETE 100

// Error codes (the platform's numbers; texts in the library's message table).
#define INTERNET_ERROR_BASE 12000
#define ERROR_INTERNET_OUT_OF_HANDLES 12001
#define ERROR_INTERNET_TIMEOUT 12002
#define ERROR_INTERNET_EXTENDED_ERROR 12003
#define ERROR_INTERNET_INTERNAL_ERROR 12004
#define ERROR_INTERNET_INVALID_URL 12005
#define ERROR_INTERNET_NAME_NOT_RESOLVED 12007
#define ERROR_INTERNET_PROTOCOL_NOT_FOUND 12008
#define ERROR_INTERNET_INVALID_OPTION 12009
#define ERROR_INTERNET_BAD_OPTION_LENGTH 12010
#define ERROR_INTERNET_SHUTDOWN 12012
#define ERROR_INTERNET_INCORRECT_USER_NAME 12013
#define ERROR_INTERNET_INCORRECT_PASSWORD 12014
#define ERROR_INTERNET_LOGIN_FAILURE 12015
#define ERROR_INTERNET_INVALID_OPERATION 12016
#define ERROR_INTERNET_OPERATION_CANCELLED 12017
#define ERROR_INTERNET_INCORRECT_HANDLE_TYPE 12018
#define ERROR_INTERNET_INCORRECT_HANDLE_STATE 12019
#define ERROR_INTERNET_BAD_REGISTRY_PARAMETER 12022
#define ERROR_INTERNET_CANNOT_CONNECT 12029
#define ERROR_INTERNET_CONNECTION_ABORTED 12030
#define ERROR_INTERNET_CONNECTION_RESET 12031
#define ERROR_INTERNET_ITEM_NOT_FOUND 12028
#define ERROR_INTERNET_INVALID_PROXY_REQUEST 12033
#define ERROR_FTP_TRANSFER_IN_PROGRESS 12110
#define ERROR_FTP_DROPPED 12111
#define ERROR_FTP_NO_PASSIVE_MODE 12112
// The library's own codes, with texts in its message table.
#define ERROR_FTP_TLS_NOT_OFFERED 12113   // the server refused AUTH TLS or PROT P; nothing went in clear
#define ERROR_FTP_TLS_DATA_REFUSED 12114  // the server refused an encrypted data connection (its reply
                                          // is the last response): most often because the data
                                          // connection did not resume the control connection's TLS
#define ERROR_FTP_DATA_PORT_REFUSED 12115  // a passive reply named a privileged port (below 1024)
#define ERROR_FTP_DATA_PEER_REFUSED 12116  // active mode: only other hosts connected to the data port

HINTERNET WINAPI InternetOpenA(LPCSTR lpszAgent, DWORD dwAccessType, LPCSTR lpszProxy,
                               LPCSTR lpszProxyBypass, DWORD dwFlags);
INTERNET_STATUS_CALLBACK WINAPI InternetSetStatusCallback(HINTERNET hInternet,
                                                          INTERNET_STATUS_CALLBACK lpfnInternetCallback);
HINTERNET WINAPI InternetConnectA(HINTERNET hInternet, LPCSTR lpszServerName, INTERNET_PORT nServerPort,
                                  LPCSTR lpszUserName, LPCSTR lpszPassword, DWORD dwService,
                                  DWORD dwFlags, DWORD_PTR dwContext);
HINTERNET WINAPI FtpFindFirstFileA(HINTERNET hConnect, LPCSTR lpszSearchFile,
                                   LPWIN32_FIND_DATAA lpFindFileData, DWORD dwFlags, DWORD_PTR dwContext);
BOOL WINAPI InternetFindNextFileA(HINTERNET hFind, LPVOID lpvFindData);
BOOL WINAPI FtpGetFileA(HINTERNET hConnect, LPCSTR lpszRemoteFile, LPCSTR lpszNewFile, BOOL fFailIfExists,
                        DWORD dwFlagsAndAttributes, DWORD dwFlags, DWORD_PTR dwContext);
BOOL WINAPI FtpPutFileA(HINTERNET hConnect, LPCSTR lpszLocalFile, LPCSTR lpszNewRemoteFile, DWORD dwFlags,
                        DWORD_PTR dwContext);
BOOL WINAPI FtpCreateDirectoryA(HINTERNET hConnect, LPCSTR lpszDirectory);
BOOL WINAPI FtpRemoveDirectoryA(HINTERNET hConnect, LPCSTR lpszDirectory);
BOOL WINAPI FtpDeleteFileA(HINTERNET hConnect, LPCSTR lpszFileName);
BOOL WINAPI FtpRenameFileA(HINTERNET hConnect, LPCSTR lpszExisting, LPCSTR lpszNew);
// The library's own call: whether a remote path names an entry, as far as the server proves it,
// before a request that would replace it (an upload, a rename onto the name). *lpdwPresence
// gets one of the FTP_PRESENCE_* values; in an asynchronous session it is written before the
// completion (100), so it must stay valid until then. No handle is made.
//   ABSENT: proven - MLST answered 550, or a complete listing of the path's folder neither names
//     the entry nor holds a line that mentions its name without listing it (a server that echoes
//     the listed path, "dir/name"), and MDTM of the path finds no file. A SIZE refusal proves
//     nothing (vsftpd refuses SIZE in ASCII mode) and is not asked.
//   FILE, FOLDER: the entry is there.
//   CASE_ALIKE: the folder holds a name differing only in letter case, and the server lists in
//     MS-DOS style: its file system ignores case, so that entry is the one the path reaches.
//     (This is how a client learns that a server's names ignore case: from the listing family.)
//   UNKNOWN: neither proven (MLST refused or not offered, and the listing cannot vouch).
// Errors: ERROR_INVALID_PARAMETER for a path without a name after its last "/"; a refused
// folder listing gives the listing's error (the entry's presence is then unknown).
#define FTP_PRESENCE_ABSENT 0
#define FTP_PRESENCE_FILE 1
#define FTP_PRESENCE_FOLDER 2
#define FTP_PRESENCE_CASE_ALIKE 3
#define FTP_PRESENCE_UNKNOWN 4
BOOL WINAPI FtpGetEntryPresenceA(HINTERNET hConnect, LPCSTR lpszPath, LPDWORD lpdwPresence, DWORD_PTR dwContext);

// The library's own call: ends (with QUIT) the logged-in connections to a server that the
// library keeps for reuse. Closing a connection handle whose session is clean keeps its
// control connection for at most 30 s, and the next InternetConnectA with the same server, port,
// user, password, mode, security and proxy, from any session handle of the process, takes it
// instead of logging in again. A program whose user asks to end the server session (a
// "Disconnect") calls this after closing the handle. lpszServerName is the name as given to
// InternetConnectA (a URL form is accepted); nServerPort 0 takes the port from the name or the
// scheme's default. Returns the number of connections ended; never fails.
DWORD WINAPI FtpEndPooledConnectionsA(LPCSTR lpszServerName, INTERNET_PORT nServerPort);

// One command line on the control connection (no CR or LF, at most 4096 bytes: else
// ERROR_INVALID_PARAMETER, nothing sent); its reply is the last response. A 4xx or 5xx reply
// fails with ERROR_INTERNET_EXTENDED_ERROR. With fExpectResponse a data connection is opened
// first (passive or active as the connection was made, the type dwFlags names: ASCII, else
// binary) and *phFtpCommand gets a file handle whose data InternetReadFile reads ("LIST",
// "NLST", "MLSD"); without it phFtpCommand may be null. Asynchronous sessions: ERROR_IO_PENDING,
// then 100 (with fExpectResponse 60 first, and dwResult the handle, which is also written to
// *phFtpCommand before the 100: it must stay valid until then). The line goes as its bytes (no
// name escapes). The transfer type is sent again before the next transfer, since the line may
// have changed it. On an encrypted connection CCC, AUTH and PROT other than "PROT P" are refused
// (ERROR_INVALID_PARAMETER): nothing goes in clear once TLS was asked for.
// Restart markers: "REST n" answered 350 is pending until the next FtpOpenFileA, which sends it
// again right before its RETR or STOR and uses it up; while it is pending FtpGetFileA and
// FtpPutFileA fail with ERROR_INTERNET_INCORRECT_HANDLE_STATE (12019) and send nothing (they
// would store a part of the file as the whole). Any other FtpCommandA cancels it, and a RETR or
// STOR of the library's after a marker was given is preceded by "REST 0".
BOOL WINAPI FtpCommandA(HINTERNET hConnect, BOOL fExpectResponse, DWORD dwFlags, LPCSTR lpszCommand,
                        DWORD_PTR dwContext, HINTERNET* phFtpCommand);
// Opens a remote file (the same name rule as FtpGetFileA) for GENERIC_READ (RETR, after SIZE
// in binary type for FtpGetFileSize) or GENERIC_WRITE (STOR), exactly one; dwFlags: the transfer
// type (ASCII: line ends as FtpGetFileA/FtpPutFileA convert them, else binary). The handle's data
// moves with InternetReadFile or InternetWriteFile; until it is closed every other request on
// the connection fails with ERROR_FTP_TRANSFER_IN_PROGRESS. Asynchronous: ERROR_IO_PENDING, then
// 60 and 100 with dwResult the handle.
HINTERNET WINAPI FtpOpenFileA(HINTERNET hConnect, LPCSTR lpszFileName, DWORD dwAccess, DWORD dwFlags,
                              DWORD_PTR dwContext);
// Reads what the server sends, at least one byte while any remains. TRUE with 0 bytes read is
// the end, told only once the server confirmed the whole transfer; a failing final reply is the
// read's error (the data is not whole), its reply the last response. Asynchronous: FALSE with
// ERROR_IO_PENDING, the count written to *lpdwNumberOfBytesRead and the bytes to the buffer
// before 100 (dwResult TRUE, dwError), which reaches the file handle's callback and context;
// both must stay valid until then. One read at a time (another: ERROR_FTP_TRANSFER_IN_PROGRESS).
// A write handle gives ERROR_ACCESS_DENIED.
BOOL WINAPI InternetReadFile(HINTERNET hFile, LPVOID lpBuffer, DWORD dwNumberOfBytesToRead,
                             LPDWORD lpdwNumberOfBytesRead);
// Sends all the bytes. Asynchronous: FALSE with ERROR_IO_PENDING (the bytes are copied: the
// buffer may be reused at once; *lpdwNumberOfBytesWritten is written before 100 and must stay
// valid). A read handle gives ERROR_ACCESS_DENIED.
BOOL WINAPI InternetWriteFile(HINTERNET hFile, LPCVOID lpBuffer, DWORD dwNumberOfBytesToWrite,
                              LPDWORD lpdwNumberOfBytesWritten);
// The size the server's SIZE gave when the file handle was opened for reading (no request; also
// in asynchronous sessions it returns at once): the low half, the high half in
// *lpdwFileSizeHigh, and GetLastError 0. INVALID_FILE_SIZE with ERROR_INTERNET_EXTENDED_ERROR
// when the server gave no size, ERROR_INTERNET_INCORRECT_HANDLE_STATE for a write handle or
// FtpCommandA's.
DWORD WINAPI FtpGetFileSize(HINTERNET hFile, LPDWORD lpdwFileSizeHigh);
// Closing a file handle ends its transfer and returns how it ended, also in asynchronous
// sessions (the close then waits on the connection's thread for the reads or writes queued
// before it: a callback must not wait for the thread that closes):
//   upload: the data connection is ended in order and the server's final reply read; a failing
//     reply gives FALSE with its error (ERROR_INTERNET_EXTENDED_ERROR, ..._CONNECTION_ABORTED
//     for 426 ...), the reply the last response. TRUE only when the server took the file.
//   download read to its end: its result again (what the last read returned).
//   download left before its end: the data connection is cut and the server's word on it read
//     (426, 226 when all was sent; a server that sends only a preliminary reply is brought back
//     in step with a NOOP). TRUE unless the control connection was lost; the connection then
//     takes requests again.
//   after its connection's handle was closed: FALSE with ERROR_INTERNET_CONNECTION_ABORTED
//     unless it was read to its end.
BOOL WINAPI InternetCloseHandle(HINTERNET hInternet);
BOOL WINAPI InternetGetLastResponseInfoA(LPDWORD lpdwError, LPSTR lpszBuffer, LPDWORD lpdwBufferLength);
BOOL WINAPI InternetSetOptionA(HINTERNET hInternet, DWORD dwOption, LPVOID lpBuffer, DWORD dwBufferLength);
BOOL WINAPI InternetQueryOptionA(HINTERNET hInternet, DWORD dwOption, LPVOID lpBuffer, LPDWORD lpdwBufferLength);

// The module that holds the library's code and its message table, for
// FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE, FtpNetModule(), code, ...).
HMODULE WINAPI FtpNetModule(void);

#ifdef __cplusplus
}
#endif
