// The scenarios shipped with the demo firmware parse cleanly and name
// firmware that the build produces.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "host/boards/Board.h"
#include "host/scenario/Scenario.h"

using namespace quill::scenario;

TEST(ScenarioFiles, ShippedScenariosParseAndNameBuiltFirmware) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(QUILL_SOURCE_DIR) / "firmware" / "scenarios";
    const std::string firmwareDir = std::string(QUILL_BINARY_DIR) + "/firmware";
    ParseOptions options;
    // The parts described in the source tree (the simulator runs them all).
    for (const auto& entry :
         fs::directory_iterator(fs::path(QUILL_SOURCE_DIR) / "host" / "Partdescriptionfiles"))
        if (entry.path().extension() == ".xml")
            options.knownParts.push_back(entry.path().stem().string());
    // The board tables shipped beside them.
    std::vector<std::string> boardErrors;
    options.boards = quill::boards::loadBoards(
        (fs::path(QUILL_SOURCE_DIR) / "host" / "Partdescriptionfiles" / "boards").string(),
        &boardErrors);
    EXPECT_TRUE(boardErrors.empty());
    int count = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.path().extension() != ".scn") continue;
        ++count;
        const ParseResult r = parseFile(entry.path().string(), options);
        for (const Diagnostic& d : r.errors) ADD_FAILURE() << d.text();
        ASSERT_NE(r.script.firmware(), nullptr) << entry.path();
        // Each scenario checks something.
        const bool checks = std::any_of(
            r.script.steps.begin(), r.script.steps.end(),
            [](const Step& s) { return std::holds_alternative<ExpectCommand>(s.command); });
        EXPECT_TRUE(checks) << entry.path();
        if (fs::exists(firmwareDir)) {
            const std::string path = r.script.resolvePath(r.script.firmware()->path, {firmwareDir});
            EXPECT_TRUE(fs::exists(path)) << entry.path() << " names " << path;
        }
    }
    EXPECT_GE(count, 3);
}
