// The GDB server in the window: a client's continue is the window's own
// Run, a breakpoint, a Ctrl-C or the window's Break halts it and the client
// hears, and a detach leaves the program halted.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QTest>
#include <cstdio>

#include "host/session/HostSetup.h"
#include "host/app/Workbench.h"
#include "host/ui/MainWindow.h"
#include "host/debugger/tests/DemoSource.h"
#include "host/gdb/ui/GdbController.h"

namespace {

struct GdbWindowTest : ::testing::Test {
    std::unique_ptr<MainWindow> window;
    int client = -1;

    void SetUp() override {
        SessionConfig config;
        config.installDirectory = std::string(QUILL_SOURCE_DIR) + "/host";
        config.firmware = demo::kElf;
        window = BuildWorkbench(config, SimulatorFactory());
        window->setPacing(true);  // real time: a run lasts long enough to look at
        window->show();
        QString error;
        ASSERT_TRUE(window->startDebugging(&error)) << error.toStdString();
        auto* gdb = window->findChild<GdbController*>("gdbController");
        ASSERT_TRUE(gdb);
        ASSERT_TRUE(gdb->accept(0, &error)) << error.toStdString();
        client = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(window->gdb().server().port());
        ASSERT_EQ(::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ASSERT_TRUE(QTest::qWaitFor([&] { return window->gdb().server().connected(); }, 2000));
    }
    void TearDown() override {
        if (client >= 0) ::close(client);
    }
    void send(const std::string& body) {
        unsigned sum = 0;
        for (char c : body) sum += static_cast<unsigned char>(c);
        char tail[4];
        std::snprintf(tail, sizeof tail, "#%02x", sum & 0xFF);
        const std::string packet = body == "\x03" ? body : "$" + body + tail;
        ASSERT_EQ(::send(client, packet.data(), packet.size(), 0), ssize_t(packet.size()));
    }
    // What the server sent, once it contains `wanted` (the event loop runs
    // meanwhile), at most two seconds.
    std::string until(const std::string& wanted) {
        std::string got;
        (void)QTest::qWaitFor(
            [&] {
                pollfd fd{client, POLLIN, 0};
                while (::poll(&fd, 1, 0) > 0) {
                    char buffer[512];
                    const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
                    if (n <= 0) break;
                    got.append(buffer, size_t(n));
                }
                return got.find(wanted) != std::string::npos;
            },
            2000);
        return got;
    }
    Debugger::State state() const { return window->debugger().state(); }
};

TEST_F(GdbWindowTest, ContinueIsTheWindowsRunAndEveryHaltIsReported) {
    send("Z0,92,2");  // tick()
    EXPECT_NE(until("$OK").find("$OK"), std::string::npos);
    send("c");
    EXPECT_NE(until("$S05").find("$S05"), std::string::npos);
    EXPECT_EQ(state(), Debugger::State::Halted);
    EXPECT_EQ(window->debugger().machine()->programCounter(), 0x92u);

    send("z0,92,2");
    until("$OK");
    send("c");
    ASSERT_TRUE(QTest::qWaitFor([&] { return state() == Debugger::State::Running; }, 2000));
    send("\x03");  // Ctrl-C: the window breaks, the client hears
    EXPECT_NE(until("$S02").find("$S02"), std::string::npos);
    EXPECT_EQ(state(), Debugger::State::Halted);

    send("c");
    ASSERT_TRUE(QTest::qWaitFor([&] { return state() == Debugger::State::Running; }, 2000));
    window->breakRun();  // the window's Break
    EXPECT_NE(until("$S02").find("$S02"), std::string::npos);

    // Blocks of nothing, and blocks at the end of the ATmega16's 16 KiB of
    // flash, on the simulator's own memory.
    send("m0,0");
    EXPECT_NE(until("$#00").find("$#00"), std::string::npos);
    send("m4000,0");
    EXPECT_NE(until("$#00").find("$#00"), std::string::npos);
    send("m3fff,2");
    EXPECT_NE(until("$E01").find("$E01"), std::string::npos);
    send("M800060,0:");
    EXPECT_NE(until("$OK").find("$OK"), std::string::npos);

    send("D");
    EXPECT_NE(until("$OK").find("$OK"), std::string::npos);
    QTest::qWait(100);
    EXPECT_FALSE(window->gdb().server().attached());
    EXPECT_EQ(state(), Debugger::State::Halted);
}

}  // namespace
