// The file-backed registry: values round-trip through the file, changes
// replace the file atomically, malformed files are diagnosed and kept, and
// transactions write all or nothing.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "tests/support/ScratchRegistry.h"
#include "tests/support/TestFiles.h"

namespace fs = std::filesystem;
using namespace testfiles;

namespace {

class Registry : public ::testing::Test {
protected:
    void useFile(const fs::path& path) { scratch_.use(path); }

    std::string get(const std::string& key, const std::string& name) {
        std::string data;
        LONG r = RegGetValue(HKEY_CLASSES_ROOT, key, name, &data);
        return r == ERROR_SUCCESS ? data : "<" + std::to_string(r) + ">";
    }

    ScratchRegistry scratch_;
    const fs::path dir_ = scratch_.dir(), file_ = scratch_.file();
};

TEST_F(Registry, AwkwardValuesAndNamesRoundTripThroughTheFile) {
    const std::string awkward = std::string("say \"hi\"\\ path C:\\dir\nline2\r\ttab") + '\x01' +
                                '\0' + "end \xC3\xA4\xE2\x82\xAC";
    const std::string awkwardName = "name with \"quotes\" and \\ and =";
    ASSERT_EQ(RegSetKeyValue(HKEY_CLASSES_ROOT, "A\\B [x]", "", awkward), ERROR_SUCCESS);
    ASSERT_EQ(RegSetKeyValue(HKEY_CLASSES_ROOT, "A\\B [x]", awkwardName, "v"), ERROR_SUCCESS);
    ASSERT_EQ(RegSetKeyValue(HKEY_CURRENT_USER, "Software\\Quill", "Empty", ""), ERROR_SUCCESS);

    // A second file with the same text is read from scratch, not from the
    // in-memory state that wrote the first.
    fs::path copy = dir_ / "copy.reg";
    fs::copy_file(file_, copy);
    useFile(copy);
    EXPECT_EQ(get("A\\B [x]", ""), awkward);
    EXPECT_EQ(get("A\\B [x]", awkwardName), "v");
    std::string empty = "x";
    EXPECT_EQ(RegGetValue(HKEY_CURRENT_USER, "Software\\Quill", "Empty", &empty), ERROR_SUCCESS);
    EXPECT_EQ(empty, "");
    // The same names under another root are other keys.
    EXPECT_EQ(RegGetValue(HKEY_LOCAL_MACHINE, "Software\\Quill", "Empty", &empty),
              ERROR_FILE_NOT_FOUND);

    // One line per value: raw line breaks never reach the file.
    std::string text = ReadFile(copy);
    EXPECT_NE(text.find("\\n"), std::string::npos);
    EXPECT_EQ(text.find("line2\n"), std::string::npos);
}

TEST_F(Registry, DeletingKeysTreesAndValues) {
    ASSERT_EQ(RegSetKeyValue(HKEY_CLASSES_ROOT, "T\\Sub\\Leaf", "v", "1"), ERROR_SUCCESS);
    ASSERT_EQ(RegSetKeyValue(HKEY_CLASSES_ROOT, "T", "own", "2"), ERROR_SUCCESS);
    HKEY leaf = nullptr;
    ASSERT_EQ(RegOpenKey(HKEY_CLASSES_ROOT, "T\\Sub\\Leaf", &leaf), ERROR_SUCCESS);

    EXPECT_EQ(RegDeleteKey(HKEY_CLASSES_ROOT, "T\\Sub"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKey(HKEY_CLASSES_ROOT, "T\\Missing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteValue(leaf, "nope"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteValue(leaf, "v"), ERROR_SUCCESS);
    EXPECT_EQ(get("T\\Sub\\Leaf", "v"), "<2>");

    // Clearing a key keeps the key.
    ASSERT_EQ(RegDeleteTree(HKEY_CLASSES_ROOT, "T\\Sub"), ERROR_SUCCESS);
    HKEY t = nullptr;
    ASSERT_EQ(RegOpenKey(HKEY_CLASSES_ROOT, "T", &t), ERROR_SUCCESS);
    std::string data;
    EXPECT_EQ(RegQueryValue(t, "own", &data), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteTree(t, ""), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValue(t, "own", &data), ERROR_FILE_NOT_FOUND);
    RegCloseKey(t);
    EXPECT_EQ(RegOpenKey(HKEY_CLASSES_ROOT, "T", &t), ERROR_SUCCESS);
    RegCloseKey(t);

    // A handle to a deleted key fails cleanly, and so do closed and bogus ones.
    EXPECT_EQ(RegSetValue(leaf, "v", "x"), ERROR_KEY_DELETED);
    EXPECT_EQ(RegCloseKey(leaf), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(leaf), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegQueryValue(leaf, "v", &data), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegQueryValue(reinterpret_cast<HKEY>(&data), "v", &data), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegQueryValue(nullptr, "v", &data), ERROR_INVALID_HANDLE);
}

TEST_F(Registry, MalformedKeyNamesAreRejected) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKey(HKEY_CLASSES_ROOT, "a\\\\b", &key), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegCreateKey(HKEY_CLASSES_ROOT, "a\\", &key), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegCreateKey(HKEY_CLASSES_ROOT, "new\nline", &key), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegCreateKey(HKEY_CLASSES_ROOT, std::string(256, 'k'), &key),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegCreateKey(HKEY_CLASSES_ROOT, "ok", nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegDeleteKey(HKEY_CLASSES_ROOT, ""), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(key, nullptr);
    EXPECT_FALSE(fs::exists(file_));  // nothing was written
}

TEST_F(Registry, ChangesReplaceTheFileWhole) {
    ASSERT_EQ(RegSetKeyValue(HKEY_CLASSES_ROOT, "K", "v", "old"), ERROR_SUCCESS);
    const std::string before = ReadFile(file_);
    // A reader that opened the file before a change keeps reading the
    // complete old registry: the change went to a new file.
    std::ifstream reader(file_, std::ios::binary);
    ASSERT_EQ(RegSetKeyValue(HKEY_CLASSES_ROOT, "K", "v", "new value"), ERROR_SUCCESS);
    std::stringstream old;
    old << reader.rdbuf();
    EXPECT_EQ(old.str(), before);
    EXPECT_NE(ReadFile(file_).find("new value"), std::string::npos);

    // No temporary file is left behind.
    for (const auto& entry : fs::directory_iterator(dir_)) {
        std::string name = entry.path().filename();
        EXPECT_TRUE(name == "registry.reg" || name == "registry.reg.lock") << name;
    }
}

TEST_F(Registry, MalformedFilesAreDiagnosedReadAsEmptyAndKept) {
    const std::vector<std::string> bad = {
        "not a registry\n",
        "QuillRegistry 1\n\"v\"=\"value before any key\"\n",
        "QuillRegistry 1\n[HKEY_CLASSES_ROOT\\K]\n\"v\"=\"bad \\q escape\"\n",
        "QuillRegistry 1\n[HKEY_CLASSES_ROOT\\K]\n\"v\"=\"\\x4\"\n",
        std::string("QuillRegistry 1\n[HKEY_CLASSES_ROOT\\K]\n\"v\"=\"ok\"\n") + '\0' + "junk",
    };
    int n = 0;
    for (const auto& text : bad) {
        SCOPED_TRACE(text);
        fs::path path = dir_ / ("bad" + std::to_string(n++) + ".reg");
        WriteFile(path, text);
        useFile(path);
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(get("K", "v"), "<2>");
        std::string diagnosis = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(diagnosis.find(path.string()), std::string::npos) << diagnosis;
        EXPECT_NE(diagnosis.find("malformed"), std::string::npos) << diagnosis;
    }

    // The next change keeps the bad file aside and writes a sound one.
    fs::path path = dir_ / "bad0.reg";
    useFile(path);
    ::testing::internal::CaptureStderr();
    ASSERT_EQ(RegSetKeyValue(HKEY_CLASSES_ROOT, "K", "v", "fresh"), ERROR_SUCCESS);
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(ReadFile(dir_ / "bad0.reg.corrupt"), "not a registry\n");
    fs::path copy = dir_ / "copy.reg";
    fs::copy_file(path, copy);
    useFile(copy);
    EXPECT_EQ(get("K", "v"), "fresh");
}

TEST_F(Registry, TransactionsWriteAllOrNothing) {
    ASSERT_EQ(RegSetKeyValue(HKEY_CLASSES_ROOT, "Base", "v", "1"), ERROR_SUCCESS);
    {
        RegistryTransaction t;
        ASSERT_EQ(RegSetKeyValue(HKEY_CLASSES_ROOT, "A", "v", "a"), ERROR_SUCCESS);
        ASSERT_EQ(RegDeleteTree(HKEY_CLASSES_ROOT, "Base"), ERROR_SUCCESS);
        EXPECT_EQ(get("A", "v"), "a");  // visible inside the transaction
        EXPECT_EQ(ReadFile(file_).find("[HKEY_CLASSES_ROOT\\A]"), std::string::npos);
        // dropped: no Commit()
    }
    EXPECT_EQ(get("A", "v"), "<2>");
    EXPECT_EQ(get("Base", "v"), "1");

    {
        RegistryTransaction t;
        ASSERT_EQ(RegSetKeyValue(HKEY_CLASSES_ROOT, "A", "v", "a"), ERROR_SUCCESS);
        {
            RegistryTransaction inner;  // joins the outer one
            ASSERT_EQ(RegSetKeyValue(HKEY_CLASSES_ROOT, "B", "v", "b"), ERROR_SUCCESS);
            EXPECT_EQ(inner.Commit(), ERROR_SUCCESS);
        }
        EXPECT_EQ(ReadFile(file_).find("[HKEY_CLASSES_ROOT\\B]"), std::string::npos);
        EXPECT_EQ(t.Commit(), ERROR_SUCCESS);
    }
    EXPECT_EQ(get("A", "v"), "a");
    EXPECT_EQ(get("B", "v"), "b");

    // A commit that cannot write leaves the registry as it was.
    WriteFile(dir_ / "plain", "x");
    useFile(dir_ / "plain" / "registry.reg");
    ::testing::internal::CaptureStderr();
    {
        RegistryTransaction t;
        RegSetKeyValue(HKEY_CLASSES_ROOT, "C", "v", "c");
        EXPECT_EQ(t.Commit(), ERROR_WRITE_FAULT);
    }
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(get("C", "v"), "<2>");
}

}  // namespace

// A copy that cannot be made leaves the malformed file alone and fails the
// change, saying so. (That copies are numbered and never replaced is
// corpus.registry.malformed.)
TEST_F(Registry, NoCopyIsClaimedThatWasNotMade) {
    // The place of the copy is taken by something that cannot be replaced.
    fs::path other = dir_ / "other.reg";
    useFile(other);
    WriteFile(other, "third bad\n");
    for (int n = 0; n < 1000; ++n) {
        fs::path name = dir_ / ("other.reg.corrupt" + (n ? "." + std::to_string(n) : ""));
        fs::create_directory(name);
    }
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(RegSetKeyValue(HKEY_CLASSES_ROOT, "K", "v", "x"), ERROR_WRITE_FAULT);
    std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("cannot keep a copy"), std::string::npos) << said;
    EXPECT_EQ(said.find("kept the malformed"), std::string::npos) << said;
    EXPECT_EQ(ReadFile(other), "third bad\n");
}

// Anything but a regular file (a directory, a FIFO, a device) is neither
// read (no hang) nor replaced. (A link followed and kept is
// corpus.registry.symlink.)
TEST_F(Registry, OnlyRegularFilesAreReadOrReplaced) {
    fs::path fifo = dir_ / "fifo.reg";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    fs::path directory = dir_ / "dir.reg";
    fs::create_directory(directory);
    for (const fs::path& bad : {fifo, directory, fs::path("/dev/null")}) {
        SCOPED_TRACE(bad.string());
        useFile(bad);
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(get("K", "v"), "<2>");
        EXPECT_EQ(RegSetKeyValue(HKEY_CLASSES_ROOT, "K", "v", "x"), ERROR_WRITE_FAULT);
        std::string said = ::testing::internal::GetCapturedStderr();
        const char* why = bad == directory ? "is a directory" : "not a regular file";
        EXPECT_NE(said.find(why), std::string::npos) << said;
    }
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_TRUE(fs::is_directory(directory));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
}

// Keys nest at most 512 deep, in a file and through the functions: a deeper
// file is malformed (and nothing recursive runs out of stack on it).
TEST_F(Registry, KeyDepthIsBounded) {
    std::string deep;
    for (int i = 0; i < 512; ++i) deep += (i ? "\\k" : "k");
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKey(HKEY_CLASSES_ROOT, deep, &key), ERROR_SUCCESS);
    HKEY deeper = nullptr;
    EXPECT_EQ(RegCreateKey(key, "one more", &deeper), ERROR_INVALID_PARAMETER);
    RegCloseKey(key);

    std::string text = "QuillRegistry 1\n[HKEY_CLASSES_ROOT";
    for (int i = 0; i < 200000; ++i) text += "\\k";
    WriteFile(file_, text + "]\n");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(get("k", "v"), "<2>");
    std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("deeper than 512"), std::string::npos) << said;
}
