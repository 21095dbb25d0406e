// The GDB server on any bytes a client sends (packets, checksums, Ctrl-C,
// noise), through one end of a socket pair, against a target of bounded
// memory: no crash, no hang, every read and write inside the target.
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>

#include "host/gdb/GdbServer.h"
#include "host/gdb/tests/MemoryTarget.h"


extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 65536) return 0;  // more than the socket buffer holds unread
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) return 0;
    MemoryTarget target;
    {
        quill::gdb::GdbServer server(target);
        server.adoptClient(fds[0]);
        if (size > 0 && ::write(fds[1], data, size) != static_cast<ssize_t>(size)) __builtin_trap();
        char sink[65536];
        for (int round = 0; round < 64 && server.connected(); ++round) {
            server.poll(0);
            if (server.resumed() || server.stepRequested()) server.reportStop(5);
            while (::recv(fds[1], sink, sizeof sink, MSG_DONTWAIT) > 0) {
            }
        }
    }
    ::close(fds[1]);
    return 0;
}
