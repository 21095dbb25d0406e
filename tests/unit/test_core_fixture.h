// Shared set-up for the plug-in core tests: one plug-in object on an
// in-memory host whose installation folder is a fresh temporary directory.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/CLEDView.h"
#include "host/memory/InMemoryHost.h"

class TempDir {
public:
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "quill-core-XXXXXX").string();
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        char* made = mkdtemp(buffer.data());
        if (made) path_ = made;
    }
    ~TempDir() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

class CoreTest : public ::testing::Test {
protected:
    CoreTest() {
        view = new CLEDView;
        view->AddRef();
        host.works().installDirectory = dir.path().string();
        std::filesystem::create_directories(dir.path() / "Partdescriptionfiles");
    }
    ~CoreTest() override { view->Release(); }

    memhost::InMemoryTarget& target() { return host.target(); }
    memhost::InMemoryHostServices& services() { return host.services(); }
    memhost::InMemoryGuiWorks& works() { return host.works(); }

    void InitView() { ASSERT_EQ(view->Init(&works()), S_OK); }

    // Writes Partdescriptionfiles/<part>.xml.
    void WritePart(const std::string& part, const std::string& xml) {
        std::ofstream out(dir.path() / "Partdescriptionfiles" / (part + ".xml"));
        out << xml;
    }

    // The host starts debugging `part` on the simulator: event 103.
    void StartDebugging(const std::string& part = "Test") {
        target().partName = part;
        works().debugging = 1;
        view->HandleEvent(kEventTargetReady, nullptr);
    }

    // Init, a part description and a debug session on the simulator.
    void Session(const std::string& part, const std::string& xml) {
        InitView();
        WritePart(part, xml);
        StartDebugging(part);
        ASSERT_TRUE(view->IsAttached());
        ASSERT_TRUE(view->IsSimulator());
    }

    std::vector<memhost::InMemoryTarget::Written> IoWrites() {
        std::vector<memhost::InMemoryTarget::Written> io;
        for (const auto& w : target().writes) {
            if (w.kind == kMemoryIo) io.push_back(w);
        }
        return io;
    }

    void Refresh() { view->HandleEvent(kEventHalted, nullptr); }

    TempDir dir;
    memhost::InMemoryHost host;
    CLEDView* view = nullptr;
};

// A part description with the given IO_MEMORY body and package section.
inline std::string PartXml(const std::string& ioMemory, const std::string& package = "") {
    return "<?xml version=\"1.0\"?><AVRPART><MEMORY><IO_MEMORY>" + ioMemory +
           "</IO_MEMORY></MEMORY><PACKAGE>" + package + "</PACKAGE></AVRPART>";
}

inline std::string Reg(const std::string& name, const std::string& address) {
    return "<" + name + "><IO_ADDR>" + address + "</IO_ADDR></" + name + ">";
}
