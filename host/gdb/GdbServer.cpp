#include "host/gdb/GdbServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <vector>

namespace quill::gdb {

namespace {

// Packets longer than this are no packets gdb sends; the input is dropped.
constexpr std::size_t kMaxInput = 16384;
// The largest memory block read or written at once (gdb splits longer ones
// by the packet size it was told).
constexpr uint32_t kMaxBlock = 4096;
constexpr uint32_t kDataSpace = 0x800000;
// g/G: R0-R31, SREG, SP (2 bytes), PC (4 bytes), little-endian.
constexpr uint32_t kRegisterBytes = 32 + 1 + 2 + 4;
constexpr uint32_t kSreg = 0x5F, kSpl = 0x5D;

constexpr char kHex[] = "0123456789abcdef";

std::string toHex(const uint8_t* bytes, std::size_t count) {
    std::string out;
    out.reserve(2 * count);
    for (std::size_t i = 0; i < count; ++i) {
        out += kHex[bytes[i] >> 4];
        out += kHex[bytes[i] & 15];
    }
    return out;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool fromHex(std::string_view hex, std::vector<uint8_t>* out) {
    if (hex.size() % 2) return false;
    out->clear();
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = hexDigit(hex[i]), low = hexDigit(hex[i + 1]);
        if (high < 0 || low < 0) return false;
        out->push_back(static_cast<uint8_t>(high << 4 | low));
    }
    return true;
}

// A hexadecimal number that makes up all of `text`.
bool number(std::string_view text, uint32_t* value) {
    if (text.empty() || text.size() > 8) return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *value, 16);
    return ec == std::errc() && end == text.data() + text.size();
}

// "addr,length" (followed by ":..." for writes, cut off by the caller).
bool addressAndLength(std::string_view text, uint32_t* address, uint32_t* length) {
    const std::size_t comma = text.find(',');
    return comma != std::string_view::npos && number(text.substr(0, comma), address) &&
           number(text.substr(comma + 1), length);
}

void littleEndian(uint32_t value, uint8_t* out, int bytes) {
    for (int i = 0; i < bytes; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

GdbServer::~GdbServer() {
    notes_ = nullptr;  // whoever listens may be gone already
    closeClient();
    if (listenFd_ >= 0) ::close(listenFd_);
}

bool GdbServer::listen(uint16_t port, std::string* error) {
    if (listenFd_ >= 0) return true;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        *error = std::string("cannot create a socket: ") + std::strerror(errno);
        return false;
    }
    const int yes = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    socklen_t size = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 1) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        *error = "cannot listen on port " + std::to_string(port) + ": " + std::strerror(errno);
        ::close(fd);
        return false;
    }
    listenFd_ = fd;
    port_ = ntohs(address.sin_port);
    return true;
}

void GdbServer::accept() {
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) return;
    const int yes = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    adoptClient(fd);
}

void GdbServer::adoptClient(int fd) {
    if (attached()) {  // one debugger at a time
        ::close(fd);
        return;
    }
    // A connection that said nothing a debugger says (a port scanner that
    // stays connected) must not keep the debugger out.
    closeClient();
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    clientFd_ = fd;
    input_.clear();
    resumed_ = step_ = interrupt_ = false;
    session_ = false;
}

void GdbServer::closeClient() {
    if (clientFd_ < 0) return;
    ::close(clientFd_);
    clientFd_ = -1;
    input_.clear();
    // The program stays halted when the client goes, whatever it asked for.
    resumed_ = step_ = interrupt_ = false;
    if (session_) {
        ++detaches_;
    } else {
        ++silentCloses_;
        if (notes_) notes_(notesContext_, "a connection closed without a debugger");
    }
    session_ = false;
}

void GdbServer::poll(int timeoutMs) {
    if (listenFd_ < 0 && clientFd_ < 0) return;
    // The client first, so that a server without a listening socket (a
    // client handed over) is served too.
    pollfd fds[2] = {{clientFd_, POLLIN, 0}, {listenFd_, POLLIN, 0}};
    if (::poll(fds, 2, timeoutMs) <= 0) return;
    if (fds[1].revents & POLLIN) accept();
    if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
        if (readClient()) handleInput();
    }
}

bool GdbServer::readClient() {
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::recv(clientFd_, buffer, sizeof buffer, 0);
        if (got > 0) {
            input_.append(buffer, static_cast<std::size_t>(got));
            if (input_.size() > kMaxInput) input_.clear();  // no packet is that long
            continue;
        }
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
        if (got < 0 && errno == EINTR) continue;
        closeClient();  // the client went away
        return false;
    }
}

void GdbServer::handleInput() {
    while (clientFd_ >= 0 && !input_.empty()) {
        const char first = input_[0];
        if (first == '\x03') {  // Ctrl-C
            input_.erase(0, 1);
            if (resumed_) interrupt_ = true;
            continue;
        }
        if (first != '$') {  // acknowledgements and noise
            input_.erase(0, 1);
            continue;
        }
        const std::size_t hash = input_.find('#');
        if (hash == std::string::npos || input_.size() < hash + 3) return;  // incomplete
        const std::string_view body(input_.data() + 1, hash - 1);
        unsigned sum = 0;
        for (char c : body) sum += static_cast<unsigned char>(c);
        const int high = hexDigit(input_[hash + 1]), low = hexDigit(input_[hash + 2]);
        const bool good = high >= 0 && low >= 0 && (sum & 0xFF) == unsigned(high << 4 | low);
        const std::string packet(body);
        input_.erase(0, hash + 3);
        if (good && !session_) {
            session_ = true;
            ++attaches_;
        }
        sendRaw(good ? "+" : "-");
        if (good) handlePacket(packet);
    }
}

void GdbServer::handlePacket(std::string_view packet) {
    ++packets_;
    if (packet.empty()) {
        send("");
        return;
    }
    switch (packet[0]) {
        case 'c':
            resume(packet.substr(1), false);
            return;
        case 's':
            resume(packet.substr(1), true);
            return;
        case 'D':
            send("OK");
            closeClient();
            return;
        case 'k':
            closeClient();
            return;
        default:
            send(answer(packet));
    }
}

std::string GdbServer::answer(std::string_view p) {
    switch (p[0]) {
        case '?':
            return "S05";
        case 'g':
            return readRegisters();
        case 'G':
            return writeRegisters(p.substr(1));
        case 'p':
            return readRegister(p.substr(1));
        case 'P':
            return writeRegister(p.substr(1));
        case 'm':
            return readMemory(p.substr(1));
        case 'M':
            return writeMemory(p.substr(1));
        case 'Z':
            return breakpoint(p.substr(1), true);
        case 'z':
            return breakpoint(p.substr(1), false);
        case 'H':
            return "OK";
        case 'q':
            if (p.rfind("qSupported", 0) == 0) return "PacketSize=2000";
            if (p == "qAttached") return "1";
            if (p == "qSymbol::") return "OK";
            return "";
        default:
            return "";  // not supported: gdb falls back or says so
    }
}

std::string GdbServer::readRegisters() {
    uint8_t regs[kRegisterBytes] = {};
    if (!target_.readMemory(kDataSpace, regs, 32) ||
        !target_.readMemory(kDataSpace + kSreg, regs + 32, 1) ||
        !target_.readMemory(kDataSpace + kSpl, regs + 33, 2))
        return "E01";
    littleEndian(target_.programCounter(), regs + 35, 4);
    return toHex(regs, kRegisterBytes);
}

std::string GdbServer::writeRegisters(std::string_view hex) {
    std::vector<uint8_t> regs;
    if (!fromHex(hex, &regs) || regs.size() != kRegisterBytes) return "E01";
    if (!target_.writeMemory(kDataSpace, regs.data(), 32) ||
        !target_.writeMemory(kDataSpace + kSreg, regs.data() + 32, 1) ||
        !target_.writeMemory(kDataSpace + kSpl, regs.data() + 33, 2))
        return "E01";
    target_.setProgramCounter(uint32_t(regs[35]) | uint32_t(regs[36]) << 8 |
                              uint32_t(regs[37]) << 16 | uint32_t(regs[38]) << 24);
    return "OK";
}

std::string GdbServer::readRegister(std::string_view args) {
    uint32_t n;
    if (!number(args, &n) || n > 34) return "E01";
    uint8_t bytes[4] = {};
    if (n == 34) {
        littleEndian(target_.programCounter(), bytes, 4);
        return toHex(bytes, 4);
    }
    const uint32_t address = n < 32 ? n : n == 32 ? kSreg : kSpl;
    const uint32_t size = n == 33 ? 2 : 1;
    if (!target_.readMemory(kDataSpace + address, bytes, size)) return "E01";
    return toHex(bytes, size);
}

std::string GdbServer::writeRegister(std::string_view args) {
    const std::size_t eq = args.find('=');
    uint32_t n;
    std::vector<uint8_t> bytes;
    if (eq == std::string_view::npos || !number(args.substr(0, eq), &n) || n > 34 ||
        !fromHex(args.substr(eq + 1), &bytes))
        return "E01";
    const uint32_t size = n == 34 ? 4 : n == 33 ? 2 : 1;
    if (bytes.size() != size) return "E01";
    if (n == 34) {
        target_.setProgramCounter(uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 |
                                  uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24);
        return "OK";
    }
    const uint32_t address = n < 32 ? n : n == 32 ? kSreg : kSpl;
    return target_.writeMemory(kDataSpace + address, bytes.data(), size) ? "OK" : "E01";
}

std::string GdbServer::readMemory(std::string_view args) {
    uint32_t address, length;
    if (!addressAndLength(args, &address, &length) || length > kMaxBlock) return "E01";
    // One byte at least: the target is never handed a null buffer, not
    // even for a read of nothing.
    std::vector<uint8_t> bytes(std::max<uint32_t>(length, 1));
    if (!target_.readMemory(address, bytes.data(), length)) return "E01";
    return toHex(bytes.data(), length);
}

std::string GdbServer::writeMemory(std::string_view args) {
    const std::size_t colon = args.find(':');
    uint32_t address, length;
    std::vector<uint8_t> bytes;
    if (colon == std::string_view::npos || !addressAndLength(args.substr(0, colon), &address, &length) ||
        length > kMaxBlock || !fromHex(args.substr(colon + 1), &bytes) || bytes.size() != length)
        return "E01";
    if (bytes.empty()) bytes.push_back(0);  // a buffer for a write of nothing too
    return target_.writeMemory(address, bytes.data(), length) ? "OK" : "E01";
}

std::string GdbServer::breakpoint(std::string_view args, bool insert) {
    // Z0 (software) and Z1 (hardware) breakpoints: both stop the run loop.
    if (args.size() < 2 || (args[0] != '0' && args[0] != '1') || args[1] != ',') return "";
    uint32_t address, kind;
    if (!addressAndLength(args.substr(2), &address, &kind) || address >= kDataSpace) return "E01";
    if (insert) {
        target_.addBreakpoint(address);
    } else {
        target_.removeBreakpoint(address);
    }
    return "OK";
}

void GdbServer::resume(std::string_view args, bool step) {
    if (!args.empty()) {
        uint32_t pc;
        if (!number(args, &pc)) {
            send("E01");
            return;
        }
        target_.setProgramCounter(pc);
    }
    interrupt_ = false;
    if (step) {
        step_ = true;
    } else {
        resumed_ = true;
    }
}

void GdbServer::reportStop(int signal) { stopReply('S', signal); }

void GdbServer::reportExit(int code) { stopReply('W', code); }

void GdbServer::stopReply(char kind, int value) {
    if (clientFd_ < 0 || (!resumed_ && !step_)) return;
    resumed_ = step_ = interrupt_ = false;
    char reply[8];
    std::snprintf(reply, sizeof reply, "%c%02x", kind, value & 0xFF);
    send(reply);
}

void GdbServer::send(std::string_view payload) {
    unsigned sum = 0;
    for (char c : payload) sum += static_cast<unsigned char>(c);
    std::string packet;
    packet.reserve(payload.size() + 4);
    packet += '$';
    packet += payload;
    packet += '#';
    packet += kHex[(sum >> 4) & 15];
    packet += kHex[sum & 15];
    sendRaw(packet);
}

void GdbServer::sendRaw(std::string_view bytes) {
    // Replies are short; a client that does not read them blocks the
    // socket only up to its buffer, and is dropped when it errs.
    std::size_t sent = 0;
    while (clientFd_ >= 0 && sent < bytes.size()) {
        const ssize_t n =
            ::send(clientFd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            pollfd fd{clientFd_, POLLOUT, 0};
            if (::poll(&fd, 1, 1000) <= 0) {
                closeClient();
                return;
            }
        } else {
            closeClient();
            return;
        }
    }
}

}  // namespace quill::gdb
