# The FTP library's portable parsers, name rules and pacing: no Windows headers, so the host build
# compiles them for the sanitizer tests and the fuzzers (include this file, use the list).
set(VEL_NET_PORTABLE_SOURCES
  ${VEL_ROOT}/net/ftp_reply.cpp ${VEL_ROOT}/net/ftp_names.cpp ${VEL_ROOT}/net/ftp_name_codec.cpp
  ${VEL_ROOT}/net/ftp_listing.cpp ${VEL_ROOT}/net/ftp_listing_text.cpp ${VEL_ROOT}/net/ftp_listing_unix.cpp
  ${VEL_ROOT}/net/ftp_listing_dos.cpp ${VEL_ROOT}/net/ftp_listing_host.cpp ${VEL_ROOT}/net/ftp_listing_misc.cpp
  ${VEL_ROOT}/net/ftp_listing_runs.cpp
  ${VEL_ROOT}/net/ftp_pace.cpp
  ${VEL_ROOT}/net/ftp_presence.cpp)
