// The host tests need a QApplication for the window tests; it runs on the
// offscreen platform unless the environment picks another.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // The module registers itself in a registry of this run only.
    std::string registry = "/tmp/quill-host-tests-" + std::to_string(getpid()) + ".reg";
    setenv("QUILL_REGISTRY", registry.c_str(), 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    int status = RUN_ALL_TESTS();
    std::remove(registry.c_str());
    std::remove((registry + ".lock").c_str());
    return status;
}
