#include "devlist/registry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devlist/memory_registry.h"
#include "fixtures.h"

namespace devlist {
namespace {

struct ReadCase {
    std::uint32_t type;
    std::string data;
    std::string expected;
};

TEST(ReadRegistryString, StringTypesReadUpToTheirFirstZero) {
    const ReadCase cases[] = {
        {kRegSz, "COM5", "COM5"},
        {kRegSz, std::string("COM5\0", 5), "COM5"},
        {kRegSz, std::string("AB\0CD", 5), "AB"},
        {kRegSz, "", ""},
        {kRegExpandSz, "%SystemRoot%\\x", "%SystemRoot%\\x"},
        {kRegSz, "\xA3\xF3\x64\x9F", "\xA3\xF3\x64\x9F"},
    };
    for (const ReadCase& c : cases) {
        FaultRegistry registry;
        registry.SetValue("K", "V", c.type, c.data);
        const auto key = registry.OpenLocalMachine()->OpenSubKey("K", KeyAccess::Read);
        ASSERT_TRUE(key);
        EXPECT_EQ(ReadRegistryString(*key, "V"), c.expected);
    }
}

TEST(ReadRegistryString, MissingValueReadsAsEmpty) {
    FaultRegistry registry;
    registry.AddKey("K");
    const auto key = registry.OpenLocalMachine()->OpenSubKey("K", KeyAccess::Read);
    ASSERT_TRUE(key);
    EXPECT_EQ(ReadRegistryString(*key, "Nothing"), "");
}

TEST(ReadRegistryString, OtherTypesThrowWithTheValueName) {
    for (std::uint32_t type : {kRegNone, kRegBinary, kRegDword, kRegMultiSz, 11u}) {
        FaultRegistry registry;
        registry.SetValue("K", "COM3", type, std::string("\x05\0\0\0", 4));
        const auto key = registry.OpenLocalMachine()->OpenSubKey("K", KeyAccess::Read);
        try {
            ReadRegistryString(*key, "COM3");
            ADD_FAILURE() << "type " << type << " was read as a string";
        } catch (const RegistryError& e) {
            EXPECT_STREQ(e.what(), "Invalid data type for 'COM3'");
        }
    }
}

TEST(ReadRegistryString, UnfetchableDataThrows) {
    FaultRegistry registry;
    registry.SetUnreadable("K", "PortName");
    const auto key = registry.OpenLocalMachine()->OpenSubKey("K", KeyAccess::Read);
    try {
        ReadRegistryString(*key, "PortName");
        ADD_FAILURE() << "an unreadable value was read";
    } catch (const std::runtime_error& e) {  // RegistryError is a runtime_error
        EXPECT_STREQ(e.what(), "Failed to get data for 'PortName'");
    }
}

TEST(MemoryRegistry, NamesIgnoreLetterCaseAndPathsNestWithBackslashes) {
    FaultRegistry registry;
    registry.SetString("HARDWARE\\DEVICEMAP\\SERIALCOMM", "COM1", "COM1");
    const auto root = registry.OpenLocalMachine();
    const auto map = root->OpenSubKey("hardware\\DeviceMap", KeyAccess::Full);
    ASSERT_TRUE(map);
    const auto comm = map->OpenSubKey("SerialComm", KeyAccess::Read);
    ASSERT_TRUE(comm);
    EXPECT_EQ(ReadRegistryString(*comm, "com1"), "COM1");
    EXPECT_FALSE(root->OpenSubKey("HARDWARE\\DEVICEMAP\\NOPE", KeyAccess::Read));
    EXPECT_FALSE(map->OpenSubKey("HARDWARE", KeyAccess::Read)) << "paths are relative to the open key";
}

TEST(MemoryRegistry, RefusedFullAccessStillOpensReadOnly) {
    FaultRegistry registry;
    registry.AddKey("ENUM\\FTDIBUS");
    registry.DenyFullAccess("ENUM");
    const auto root = registry.OpenLocalMachine();
    EXPECT_FALSE(root->OpenSubKey("ENUM", KeyAccess::Full));
    EXPECT_TRUE(root->OpenSubKey("ENUM", KeyAccess::Read));
    EXPECT_TRUE(root->OpenSubKey("ENUM\\FTDIBUS", KeyAccess::Full));
}

TEST(MemoryRegistry, SubKeysEnumerateInOrderAndListingCanFailPartWay) {
    FaultRegistry registry;
    for (const char* name : {"B", "A", "C"}) registry.AddKey(std::string("P\\") + name);
    registry.AddKey("Empty");
    const auto root = registry.OpenLocalMachine();
    const auto parent = root->OpenSubKey("P", KeyAccess::Read);
    EXPECT_TRUE(parent->HasSubKeys());
    EXPECT_FALSE(root->OpenSubKey("Empty", KeyAccess::Read)->HasSubKeys());
    std::vector<std::string> names;
    EXPECT_TRUE(parent->ListSubKeyNames(names));
    EXPECT_EQ(names, (std::vector<std::string>{"B", "A", "C"}));

    registry.FailListingAfter("P", 2);
    names.assign({"kept"});
    EXPECT_FALSE(parent->ListSubKeyNames(names));
    EXPECT_EQ(names, (std::vector<std::string>{"kept", "B", "A"}));
}

TEST(MemoryRegistry, RemovingKeysAndValues) {
    FaultRegistry registry;
    AddFtdiPort(registry, "A", "COM5", "Port A");
    registry.RemoveValue("ENUM\\FTDIBUS\\A\\0000", "portname");
    const auto root = registry.OpenLocalMachine();
    EXPECT_EQ(root->OpenSubKey("ENUM\\FTDIBUS\\A\\0000", KeyAccess::Read)->QueryValue("PortName").state,
              RegistryValue::State::Missing);
    registry.RemoveKey("enum\\ftdibus\\a");
    EXPECT_FALSE(root->OpenSubKey("ENUM\\FTDIBUS\\A", KeyAccess::Read));
    EXPECT_TRUE(root->OpenSubKey("ENUM\\FTDIBUS", KeyAccess::Read));
}

TEST(OpenKeyChain, EachStepRelativeToThePreviousFromTheRoot) {
    FaultRegistry registry;
    registry.AddKey("Enum\\FTDIBUS\\X\\0000");
    EXPECT_TRUE(OpenKeyChain(registry, {{"Enum", KeyAccess::Read},
                                        {"FTDIBUS", KeyAccess::Read},
                                        {"X", KeyAccess::Read},
                                        {"0000", KeyAccess::Read}}));
    const std::size_t before = registry.OpenCount();
    EXPECT_FALSE(OpenKeyChain(registry, {{"Enum", KeyAccess::Read},
                                         {"Missing", KeyAccess::Read},
                                         {"X", KeyAccess::Read}}));
    // The root and "Enum" opened; the chain stopped at the missing key.
    EXPECT_EQ(registry.OpenCount() - before, 2u);
}

#if defined(_WIN32)
// On Windows the platform's registry is the system's own.
TEST(PlatformRegistry, IsTheSystemsOwn) {
    InstallRegistry(nullptr);
    const auto root = InstalledRegistry().OpenLocalMachine();
    ASSERT_TRUE(root);
    EXPECT_TRUE(root->HasSubKeys());
    EXPECT_TRUE(root->OpenSubKey("Software", KeyAccess::Read));
    EXPECT_FALSE(root->OpenSubKey("No Such Key Anywhere", KeyAccess::Read));
}
#else
TEST(PlatformRegistry, IsEmptyHere) {
    InstallRegistry(nullptr);
    const auto root = InstalledRegistry().OpenLocalMachine();
    ASSERT_TRUE(root);
    EXPECT_FALSE(root->HasSubKeys());
}
#endif

}  // namespace
}  // namespace devlist
