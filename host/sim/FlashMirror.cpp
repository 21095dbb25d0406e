#include "host/sim/FlashMirror.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "host/sim/SimError.h"


namespace quill::sim {

namespace {

std::string systemError(const char* what) {
    return std::string("cannot map the simulated flash (") + what + ": " + std::strerror(errno) +
           ")";
}

}  // namespace

FlashMirror::FlashMirror(uint32_t flashBytes) {
    const long page = ::sysconf(_SC_PAGESIZE);
    if (flashBytes == 0 || page <= 0 || flashBytes % static_cast<unsigned long>(page) != 0 ||
        kReach % flashBytes != 0)
        throw SimError("cannot map the simulated flash of " + std::to_string(flashBytes) +
                       " bytes: it is no whole number of this system's " +
                       std::to_string(page) + "-byte memory pages");
    const int fd = ::memfd_create("quill-flash", MFD_CLOEXEC);
    if (fd < 0) throw SimError(systemError("memfd_create"));
    if (::ftruncate(fd, flashBytes) != 0) {
        const std::string why = systemError("ftruncate");
        ::close(fd);
        throw SimError(why);
    }
    // The whole reach is reserved first, then each copy mapped into it.
    void* region = ::mmap(nullptr, kReach, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE,
                          -1, 0);
    if (region == MAP_FAILED) {
        const std::string why = systemError("mmap");
        ::close(fd);
        throw SimError(why);
    }
    base_ = static_cast<uint8_t*>(region);
    for (std::size_t offset = 0; offset < kReach; offset += flashBytes) {
        if (::mmap(base_ + offset, flashBytes, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_FIXED, fd,
                   0) == MAP_FAILED) {
            const std::string why = systemError("mmap of a copy");
            ::munmap(base_, kReach);
            ::close(fd);
            throw SimError(why);
        }
    }
    ::close(fd);  // the mappings keep the memory
    std::memset(base_, 0xff, flashBytes);
}

FlashMirror::~FlashMirror() { ::munmap(base_, kReach); }

}  // namespace quill::sim
