/* What the 64-bit program and grafcet-host32.exe say to each other over the
   host's standard input and output, both little-endian x86, so each message is
   the same bytes on either side:
     program to host: the library's absolute path, as a HostPath and then that
       many UTF-16 code units, once; then HostRequests, one at a time;
     host to program: one HostAnswer for the path (HOST_LOADED or why not),
       then one HostAnswer (HOST_DONE) for each request. */
#ifndef CVD_HOST_PROTOCOL_H
#define CVD_HOST_PROTOCOL_H

#include <stdint.h>

enum { HOST_PATH_MAX = 32767 };
struct HostPath {
    uint32_t units;
};

enum { HOST_CALL_INIT_GRAFCET = 1, HOST_CALL_VERIF_CARD_OUT = 2 };
struct HostRequest {
    int32_t call;
    int32_t argument;
};

/* value: the system's error code for HOST_NOT_LOADABLE, the call's result for
   HOST_DONE (0 after init_grafcet). */
enum { HOST_LOADED = 0, HOST_NOT_LOADABLE = 1, HOST_NO_INIT_GRAFCET = 2, HOST_NO_VERIF_CARD_OUT = 3, HOST_DONE = 4 };
struct HostAnswer {
    int32_t status;
    int32_t value;
};

#endif
