// A GDB remote-protocol server for one client at a time, so that avr-gdb
// can debug the simulated program: registers, memory, breakpoints, step,
// continue, Ctrl-C, detach.
//
// Single-threaded and toolkit-free: the host calls poll() from its own loop
// (between instruction batches while the program runs, with a short wait
// while it is halted), so the simulator is only ever touched from the
// host's thread. The server never runs the program itself: it records what
// the client asked for (resumed(), stepRequested(), interruptRequested())
// and the host reports each halt with reportStop().
//
// The listening socket is bound to the loopback interface only. Input from
// the client is bounded (packet size, memory block size) and checked; a
// malformed packet is answered with an error or refused, never trusted.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quill::gdb {

// What the server reads and writes. Addresses are gdb's AVR address space:
// flash from 0, the data space from 0x800000 (R0-R31 at its start, SREG at
// 0x5F, SP at 0x5D-0x5E), EEPROM from 0x810000. A block is `count` bytes
// from `address` (count may be 0, the buffer is never null); a block that
// does not lie wholly inside one space fails.
class GdbTarget {
public:
    virtual ~GdbTarget() = default;
    virtual bool readMemory(uint32_t address, uint8_t* out, uint32_t count) = 0;
    virtual bool writeMemory(uint32_t address, const uint8_t* data, uint32_t count) = 0;
    virtual uint32_t programCounter() = 0;  // byte address
    virtual void setProgramCounter(uint32_t pc) = 0;
    virtual void addBreakpoint(uint32_t pc) = 0;
    virtual void removeBreakpoint(uint32_t pc) = 0;
};

class GdbServer {
public:
    explicit GdbServer(GdbTarget& target) : target_(target) {}
    ~GdbServer();
    GdbServer(const GdbServer&) = delete;
    GdbServer& operator=(const GdbServer&) = delete;

    // Listens on 127.0.0.1:port (0: a free port the system picks; port()
    // tells which). False with *error when the port cannot be had.
    bool listen(uint16_t port, std::string* error);
    bool listening() const { return listenFd_ >= 0; }
    uint16_t port() const { return port_; }

    // Accepts a client and serves what it sent, waiting at most
    // `timeoutMs` for something to arrive (0: only what is there).
    void poll(int timeoutMs);

    // A connection is open. It is a debugger (attached) from its first
    // well-formed remote-protocol packet ($...#xx with the right checksum)
    // on: a port scanner or a health check that connects and closes, or
    // sends anything else, never attaches.
    bool connected() const { return clientFd_ >= 0; }
    bool attached() const { return clientFd_ >= 0 && session_; }
    // Serves a connected stream socket as the client (tests and fuzzing
    // hand it one end of a socket pair); the server owns it from now on.
    // One client at a time: a connection that has not attached yields to
    // a newer one, an attached debugger keeps the server to itself.
    void adoptClient(int fd);
    // Debuggers that have attached, and detached (or gone) again, so far.
    int attachCount() const { return attaches_; }
    int detachCount() const { return detaches_; }
    // Connections that closed (or yielded to another) without attaching.
    int closedWithoutDebugger() const { return silentCloses_; }
    // Told each time such a connection closes, with a line for the output.
    using Notes = void (*)(void* context, const std::string& line);
    void setNotes(Notes notes, void* context) {
        notes_ = notes;
        notesContext_ = context;
    }

    // The client let the program run ('c') and waits for it to halt.
    bool resumed() const { return resumed_; }
    // The client asked for one instruction ('s'); the host steps it and
    // reports the halt.
    bool stepRequested() const { return step_; }
    // The client pressed Ctrl-C while the program ran.
    bool interruptRequested() const { return interrupt_; }
    // The program halted (signal 5 after a breakpoint or a step, 2 after
    // Ctrl-C or a Break): the client is told, and the server waits for its
    // next command.
    void reportStop(int signal);
    // The program ended or crashed: the client is told it exited.
    void reportExit(int code);

    // Packets the server received, for tests and the status display.
    uint64_t packetsServed() const { return packets_; }

private:
    void accept();
    void closeClient();
    bool readClient();
    void handleInput();
    void handlePacket(std::string_view packet);
    std::string answer(std::string_view packet);
    std::string readRegisters();
    std::string writeRegisters(std::string_view hex);
    std::string readRegister(std::string_view args);
    std::string writeRegister(std::string_view args);
    std::string readMemory(std::string_view args);
    std::string writeMemory(std::string_view args);
    std::string breakpoint(std::string_view args, bool insert);
    void resume(std::string_view args, bool step);
    // 'S' (halted by a signal) or 'W' (exited), if the client waits for it.
    void stopReply(char kind, int value);
    void send(std::string_view payload);
    void sendRaw(std::string_view bytes);

    GdbTarget& target_;
    int listenFd_ = -1;
    int clientFd_ = -1;
    uint16_t port_ = 0;
    std::string input_;
    bool session_ = false;  // the connection has sent a well-formed packet
    int attaches_ = 0;
    int detaches_ = 0;
    int silentCloses_ = 0;
    Notes notes_ = nullptr;
    void* notesContext_ = nullptr;
    bool resumed_ = false;
    bool step_ = false;
    bool interrupt_ = false;
    uint64_t packets_ = 0;
};

}  // namespace quill::gdb
