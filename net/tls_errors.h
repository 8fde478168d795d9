// The platform's error codes of secure connections, with texts in the library's message table
// (ftp_messages.mc). Guarded, so that they can join the library's public header unchanged.
#pragma once

#ifndef ERROR_INTERNET_SEC_CERT_DATE_INVALID
#define ERROR_INTERNET_SEC_CERT_DATE_INVALID 12037   // expired or not yet valid
#define ERROR_INTERNET_SEC_CERT_CN_INVALID 12038     // issued for another name
#define ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED 12044 // the server wants a client certificate
#define ERROR_INTERNET_INVALID_CA 12045              // no trusted authority vouches for it
#define ERROR_INTERNET_SEC_CERT_ERRORS 12055         // several of the above
#define ERROR_INTERNET_SEC_CERT_NO_REV 12056
#define ERROR_INTERNET_SEC_CERT_REV_FAILED 12057
#define ERROR_INTERNET_SECURITY_CHANNEL_ERROR 12157  // the TLS channel failed
#define ERROR_INTERNET_SEC_INVALID_CERT 12169        // malformed, misused or badly signed
#define ERROR_INTERNET_SEC_CERT_REVOKED 12170
#endif
