// The registry seam's Windows reader against Wine's real registry: keys are
// made below HKEY_LOCAL_MACHINE with the Win32 calls, then read back through
// the platform registry that the port survey uses.
// It runs under Wine only, so it may use RegDeleteTreeA (Vista) to clear its
// keys: the build's XP header level is raised for this file alone.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "devlist/registry.h"

namespace {

using devlist::KeyAccess;
using devlist::RegistryValue;

class RegistryReader : public ::testing::Test {
protected:
    void SetUp() override {
        base_ = "Software\\TorvaneReaderTest" + std::to_string(GetCurrentProcessId());
        devlist::InstallRegistry(nullptr);
    }
    void TearDown() override { RegDeleteTreeA(HKEY_LOCAL_MACHINE, base_.c_str()); }

    // Creates the key below the test's own; with a name, sets that value in it.
    void MakeKey(const std::string& path, const char* name = nullptr, DWORD type = 0, const void* data = nullptr,
                 DWORD size = 0) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, (base_ + path).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        if (name != nullptr) {
            ASSERT_EQ(RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
        }
        RegCloseKey(key);
    }
    std::unique_ptr<devlist::RegistryKey> Open(const std::string& path, KeyAccess access = KeyAccess::Read) {
        return devlist::InstalledRegistry().OpenLocalMachine()->OpenSubKey(base_ + path, access);
    }

    std::string base_;
};

TEST_F(RegistryReader, OpensPathsRelativeToTheOpenKeyWithEitherAccess) {
    MakeKey("\\Enum\\FTDIBUS\\A\\0000");
    for (const KeyAccess first : {KeyAccess::Full, KeyAccess::Read}) {
        const auto enumKey = Open("\\Enum", first);
        ASSERT_TRUE(enumKey);
        const auto ftdibus = enumKey->OpenSubKey("FTDIBUS", KeyAccess::Read);
        ASSERT_TRUE(ftdibus);
        EXPECT_TRUE(ftdibus->OpenSubKey("A\\0000", KeyAccess::Read));
        EXPECT_FALSE(ftdibus->OpenSubKey("B", KeyAccess::Read)) << "opening never creates";
    }
    EXPECT_FALSE(Open("\\Enum\\FTDIBUS\\B"));
}

TEST_F(RegistryReader, ListsSubkeysAndTellsWhetherThereAreAny) {
    const std::vector<std::string> names = {"VID_0403+PID_6001+A1", "VID_0403+PID_6001+B2",
                                            std::string(200, 'L')};
    for (const std::string& name : names) MakeKey("\\Bus\\" + name);
    const auto bus = Open("\\Bus");
    ASSERT_TRUE(bus);
    EXPECT_TRUE(bus->HasSubKeys());
    std::vector<std::string> listed = {"kept"};
    EXPECT_TRUE(bus->ListSubKeyNames(listed));
    ASSERT_EQ(listed.size(), 4u) << "appended after what was there";
    EXPECT_EQ(listed[0], "kept");
    std::vector<std::string> found(listed.begin() + 1, listed.end());
    std::sort(found.begin(), found.end());
    std::vector<std::string> expected = names;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(found, expected);

    const auto leaf = Open("\\Bus\\" + names[0]);
    ASSERT_TRUE(leaf);
    EXPECT_FALSE(leaf->HasSubKeys());
    std::vector<std::string> none;
    EXPECT_TRUE(leaf->ListSubKeyNames(none));
    EXPECT_TRUE(none.empty());
}

TEST_F(RegistryReader, ReadsStringValuesOfBothTypesAndReportsOthers) {
    const char port[] = "COM5";
    const char path[] = "%SystemRoot%\\x";
    const DWORD number = 5;
    MakeKey("\\Values", "PortName", REG_SZ, port, sizeof port);
    MakeKey("\\Values", "Expand", REG_EXPAND_SZ, path, sizeof path);
    MakeKey("\\Values", "Empty", REG_SZ, "", 1);
    MakeKey("\\Values", "Number", REG_DWORD, &number, sizeof number);
    const auto key = Open("\\Values");
    ASSERT_TRUE(key);

    EXPECT_EQ(devlist::ReadRegistryString(*key, "PortName"), "COM5");
    EXPECT_EQ(devlist::ReadRegistryString(*key, "Expand"), "%SystemRoot%\\x") << "read as stored, not expanded";
    EXPECT_EQ(devlist::ReadRegistryString(*key, "Empty"), "");
    EXPECT_EQ(devlist::ReadRegistryString(*key, "Missing"), "") << "a missing value reads as empty text";
    EXPECT_THROW(devlist::ReadRegistryString(*key, "Number"), devlist::RegistryError);
    try {
        devlist::ReadRegistryString(*key, "Number");
    } catch (const devlist::RegistryError& error) {
        EXPECT_STREQ(error.what(), "Invalid data type for 'Number'");
    }

    const RegistryValue missing = key->QueryValue("Missing");
    EXPECT_EQ(missing.state, RegistryValue::State::Missing);
    const RegistryValue dword = key->QueryValue("Number");
    EXPECT_EQ(dword.state, RegistryValue::State::Present);
    EXPECT_EQ(dword.type, devlist::kRegDword);
    EXPECT_EQ(dword.data.size(), sizeof number);
}

TEST_F(RegistryReader, PolishBytesComeBackUnchanged) {
    // Windows-1250 "Łódź": the ANSI calls hand the bytes through as stored
    // by the ANSI calls.
    const char name[] = "\xA3\xF3\x64\x9F";
    MakeKey("\\Values", "FriendlyName", REG_SZ, name, sizeof name);
    const auto key = Open("\\Values");
    ASSERT_TRUE(key);
    EXPECT_EQ(devlist::ReadRegistryString(*key, "FriendlyName"), std::string(name));
}

}  // namespace
