// A registry of the test's own: a fresh temporary folder with QUILL_REGISTRY
// pointing at registry.reg inside it, for the life of the object. The
// variable is put back as it was and the folder removed afterwards.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

// Restores an environment variable when it goes.
class EnvGuard {
public:
    explicit EnvGuard(const char* name) : name_(name) {
        if (const char* v = std::getenv(name)) old_ = v;
    }
    ~EnvGuard() {
        if (old_) {
            ::setenv(name_, old_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }
    EnvGuard(const EnvGuard&) = delete;
    EnvGuard& operator=(const EnvGuard&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

class ScratchRegistry {
public:
    ScratchRegistry() {
        char pattern[] = "/tmp/quill-registry-XXXXXX";
        if (!::mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
        dir_ = pattern;
        use(file());
    }
    ~ScratchRegistry() {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    ScratchRegistry(const ScratchRegistry&) = delete;
    ScratchRegistry& operator=(const ScratchRegistry&) = delete;

    const std::filesystem::path& dir() const { return dir_; }
    std::filesystem::path file() const { return dir_ / "registry.reg"; }
    // Points the registry at another file.
    void use(const std::filesystem::path& path) const {
        ::setenv("QUILL_REGISTRY", path.c_str(), 1);
    }

private:
    EnvGuard env_{"QUILL_REGISTRY"};  // made first, restored last
    std::filesystem::path dir_;
};
