// The GDB server against a fake target, through a real loopback socket: the
// packets avr-gdb sends and what a careless or hostile client might send.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "host/gdb/GdbServer.h"
#include "host/gdb/tests/MemoryTarget.h"

namespace {

using quill::gdb::GdbServer;


struct GdbServerTest : ::testing::Test {
    MemoryTarget target;
    GdbServer server{target};
    int client = -1;

    void SetUp() override {
        std::string error;
        ASSERT_TRUE(server.listen(0, &error)) << error;
        ASSERT_NE(server.port(), 0);
        client = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(server.port());
        ASSERT_EQ(::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        server.poll(1000);
        ASSERT_TRUE(server.connected());
        EXPECT_FALSE(server.attached()) << "not before its first packet";
    }
    void TearDown() override {
        if (client >= 0) ::close(client);
    }

    void write(const std::string& bytes) {
        ASSERT_EQ(::send(client, bytes.data(), bytes.size(), 0), ssize_t(bytes.size()));
    }
    static std::string packet(const std::string& body) {
        unsigned sum = 0;
        for (char c : body) sum += static_cast<unsigned char>(c);
        char tail[4];
        std::snprintf(tail, sizeof tail, "#%02x", sum & 0xFF);
        return "$" + body + tail;
    }
    // Everything the server sent until it is quiet.
    std::string read() {
        std::string got;
        pollfd fd{client, POLLIN, 0};
        while (::poll(&fd, 1, 20) > 0) {
            char buffer[4096];
            const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            got.append(buffer, static_cast<std::size_t>(n));
        }
        return got;
    }
    // Sends a packet, lets the server answer, returns the answer's body.
    std::string ask(const std::string& body) {
        write(packet(body));
        server.poll(1000);
        const std::string got = read();
        if (got.size() < 2 || got[0] != '+') return "<no ack: " + got + ">";
        const std::size_t hash = got.find('#');
        return got.substr(2, hash - 2);
    }
};

TEST_F(GdbServerTest, RegistersMemoryAndBreakpoints) {
    target.data[0] = 0x11;     // R0
    target.data[31] = 0x1F;    // R31
    target.data[0x5F] = 0x82;  // SREG
    target.data[0x5D] = 0x5F;  // SPL
    target.data[0x5E] = 0x04;  // SPH
    EXPECT_EQ(ask("qSupported:swbreak+"), "PacketSize=2000");
    EXPECT_EQ(ask("?"), "S05");
    const std::string regs = ask("g");
    ASSERT_EQ(regs.size(), 78u);
    EXPECT_EQ(regs.substr(0, 2), "11");
    EXPECT_EQ(regs.substr(62, 2), "1f");
    EXPECT_EQ(regs.substr(64), "825f0492000000");  // SREG, SP, PC little-endian
    EXPECT_EQ(ask("p22"), "92000000");                 // register 34: PC
    EXPECT_EQ(ask("P22=b6000000"), "OK");
    EXPECT_EQ(target.pc, 0xB6u);
    EXPECT_EQ(ask("P21=ff08"), "OK");  // SP
    EXPECT_EQ(target.data[0x5E], 0x08);

    EXPECT_EQ(ask("m800060,3"), "000000");
    EXPECT_EQ(ask("M800060,2:a55a"), "OK");
    EXPECT_EQ(ask("m800060,2"), "a55a");
    EXPECT_EQ(ask("m90,2"), "9091");  // flash
    EXPECT_EQ(ask("Z0,92,2"), "OK");
    EXPECT_EQ(ask("Z1,b6,2"), "OK");
    EXPECT_EQ(target.breakpoints, (std::set<uint32_t>{0x92, 0xB6}));
    EXPECT_EQ(ask("z0,92,2"), "OK");
    EXPECT_EQ(target.breakpoints, (std::set<uint32_t>{0xB6}));
    EXPECT_EQ(ask("Z2,800060,1"), "");  // watchpoints: not offered
}

TEST_F(GdbServerTest, RunStepInterruptAndDetach) {
    write(packet("c"));
    server.poll(1000);
    EXPECT_EQ(read(), "+");  // no answer until the program halts
    EXPECT_TRUE(server.resumed());
    write("\x03");  // Ctrl-C
    server.poll(1000);
    EXPECT_TRUE(server.interruptRequested());
    server.reportStop(2);
    EXPECT_EQ(read(), packet("S02"));
    EXPECT_FALSE(server.resumed());
    server.reportStop(5);  // nothing waits for a stop now
    EXPECT_EQ(read(), "");

    write(packet("s"));
    server.poll(1000);
    EXPECT_TRUE(server.stepRequested());
    server.reportStop(5);
    EXPECT_EQ(read(), "+" + packet("S05"));

    EXPECT_EQ(ask("D"), "OK");
    EXPECT_FALSE(server.attached());
    EXPECT_EQ(server.detachCount(), 1);
}

// Bad checksums are refused, malformed packets answered with an error,
// oversized requests refused, a flood of bytes without a packet dropped;
// the server keeps serving.
TEST_F(GdbServerTest, HostileInputIsRefused) {
    write("$g#00");
    server.poll(1000);
    EXPECT_EQ(read(), "-");
    for (const char* bad : {"m800060", "mzz,1", "m800060,100000", "M800060,2:a5", "M800060,1:zz",
                            "P99=00", "P22=00", "G00", "Z0,,", "cxyz"}) {
        EXPECT_EQ(ask(bad), "E01") << bad;
    }
    EXPECT_EQ(ask("m8fffff,10"), "E01");  // outside the data space
    write(std::string(20000, 'x'));
    server.poll(1000);
    EXPECT_EQ(ask("?"), "S05");
    EXPECT_TRUE(server.attached());
}

// Blocks of nothing reach the target with a buffer (a null one made the
// simulator's flash read pass null to memcpy), and blocks at the end of a
// space or past the end of the addresses fail without wrapping.
TEST_F(GdbServerTest, EmptyBlocksAndBlocksAtTheEndOfASpace) {
    EXPECT_EQ(ask("m0,0"), "");
    EXPECT_EQ(ask("m800000,0"), "");
    EXPECT_EQ(ask("M800060,0:"), "OK");
    EXPECT_EQ(ask("m3ffe,2"), "feff");  // the last two bytes of flash
    EXPECT_EQ(ask("m4000,0"), "");
    EXPECT_EQ(ask("m3fff,2"), "E01");
    EXPECT_EQ(ask("m80045f,1"), "00");  // the last byte of the data space
    EXPECT_EQ(ask("M80045f,2:0102"), "E01");
    for (const char* bad : {"mffffffff,1000", "mfffffff0,20", "Mffffffff,1:00", "m4001,0",
                            "m800461,0", "M800461,0:"})
        EXPECT_EQ(ask(bad), "E01") << bad;
    EXPECT_EQ(target.data[0x5f], 0);
}

// A client that goes without detaching leaves the program halted.
TEST_F(GdbServerTest, AClientThatGoesLeavesTheProgramHalted) {
    write(packet("c"));
    server.poll(1000);
    EXPECT_TRUE(server.resumed());
    ::close(client);
    client = -1;
    server.poll(1000);
    EXPECT_FALSE(server.attached());
    EXPECT_FALSE(server.resumed());
    EXPECT_EQ(server.detachCount(), 1);
}

// Connections that never speak the protocol (a port scanner, a health
// check, a client sending something else) are no debugger: they attach
// nothing, are told to the output as they close, and one left open yields
// to the next connection; an attached debugger does not.
TEST_F(GdbServerTest, AConnectionIsADebuggerFromItsFirstWellFormedPacket) {
    std::vector<std::string> notes;
    server.setNotes([](void* context, const std::string& line) {
        static_cast<std::vector<std::string>*>(context)->push_back(line);
    }, &notes);
    const auto connect = [&] {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(server.port());
        EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        return fd;
    };
    // The fixture's connection has said nothing; it closes.
    ::close(client);
    server.poll(1000);
    EXPECT_FALSE(server.connected());
    EXPECT_EQ(server.closedWithoutDebugger(), 1);
    EXPECT_EQ(notes, std::vector<std::string>{"a connection closed without a debugger"});

    // Text that is no packet, and a packet with a wrong checksum.
    client = connect();
    server.poll(1000);
    write("GET / HTTP/1.0\r\n\r\n$g#00");
    server.poll(1000);
    EXPECT_EQ(read(), "-");
    EXPECT_FALSE(server.attached());
    ::close(client);
    server.poll(1000);
    EXPECT_EQ(server.closedWithoutDebugger(), 2);

    // A silent connection left open, then the debugger.
    const int silent = connect();
    server.poll(1000);
    client = connect();
    server.poll(1000);
    EXPECT_EQ(server.closedWithoutDebugger(), 3);
    char byte;
    EXPECT_EQ(::recv(silent, &byte, 1, 0), 0) << "the silent one is closed";
    ::close(silent);
    EXPECT_EQ(ask("?"), "S05");
    EXPECT_TRUE(server.attached());
    EXPECT_EQ(server.attachCount(), 1);
    // While it is attached, another connection is turned away.
    const int other = connect();
    server.poll(1000);
    EXPECT_EQ(::recv(other, &byte, 1, 0), 0);
    ::close(other);
    EXPECT_TRUE(server.attached());
    EXPECT_EQ(ask("D"), "OK");
    EXPECT_EQ(server.detachCount(), 1);
    EXPECT_EQ(server.attachCount(), 1);
    EXPECT_EQ(notes.size(), 3u);
}

}  // namespace
