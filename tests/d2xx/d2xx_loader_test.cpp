// The by-name lookups of the D2XX layer: the platform loader, a fresh load
// and release on every call, a missing function, and a missing library, which
// shows the fatal box and ends the program.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "unit_fixture.h"

namespace {

using namespace d2xx;
using d2xx_test::D2XXUnitTest;
using d2xx_test::LogLines;

// Forwards to the platform loader and notes every request. It can make the
// load fail for real (by asking the OS for a file that does not exist) and
// hide chosen functions.
class NotingLoader final : public LibraryLoader {
public:
    std::vector<std::string> events;
    bool libraryAbsent = false;
    std::set<std::string> hidden;

    Library Load(const char* fileName) override {
        events.push_back(std::string("load ") + fileName);
        return PlatformLibraryLoader().Load(libraryAbsent ? "libtorvane-absent-library.so" : fileName);
    }
    Symbol Find(Library library, const char* name) override {
        events.push_back(std::string("find ") + name);
        return hidden.count(name) ? nullptr : PlatformLibraryLoader().Find(library, name);
    }
    void Release(Library library) override {
        events.push_back("release");
        PlatformLibraryLoader().Release(library);
    }
};

// Prints the fatal box to stderr, where a death test can see it.
class FatalPrinter final : public torvane::MessageSink {
public:
    void ShowInformation(const std::string&) override {}
    void ShowError(const std::string&, const std::string&) override {}
    void ShowFatal(const std::string& caption, const std::string& text) override {
        std::fprintf(stderr, "FATAL [%s] %s\n", caption.c_str(), text.c_str());
    }
};

struct ByName {
    const char* operation;
    const char* function;
    bool needsOpenDevice;
    std::function<FT_STATUS()> run;
};

void PrintTo(const ByName& value, std::ostream* out) { *out << value.operation; }

const ByName kByName[] = {
    {"GetFTDriverVersion", "FT_GetDriverVersion", true,
     [] {
         std::uint32_t version = 0x5555;
         const FT_STATUS status = GetFTDriverVersion(version);
         return status == FT_OK || version == 0x5555 ? status : FT_STATUS{0xBAD};
     }},
    {"GetFTLibraryVersion", "FT_GetLibraryVersion", false,
     [] {
         std::uint32_t version = 0x5555;
         const FT_STATUS status = GetFTLibraryVersion(version);
         return status == FT_OK || version == 0x5555 ? status : FT_STATUS{0xBAD};
     }},
    {"GetFTComPortNumber", "FT_GetComPortNumber", true,
     [] {
         std::int32_t port = 0x5555;
         const FT_STATUS status = GetFTComPortNumber(port);
         return status == FT_OK || port == 0x5555 ? status : FT_STATUS{0xBAD};
     }},
};

class LookupByName : public D2XXUnitTest, public testing::WithParamInterface<ByName> {
protected:
    void SetUp() override {
        D2XXUnitTest::SetUp();
        if (GetParam().needsOpenDevice) {
            ASSERT_EQ(Open_USB_Device_By_Serial_Number("D0"), FT_OK);
        }
        TorvaneSim_ClearCallLog();
        InstallLibraryLoader(&loader_);
    }
    NotingLoader loader_;
};

TEST_P(LookupByName, LoadsFindsAndReleasesOnEveryCall) {
    const ByName& op = GetParam();
    EXPECT_EQ(op.run(), FT_OK);
    EXPECT_EQ(op.run(), FT_OK);
    const std::vector<std::string> once{std::string("load ") + VendorLibraryFileName(),
                                        std::string("find ") + op.function, "release"};
    std::vector<std::string> twice = once;
    twice.insert(twice.end(), once.begin(), once.end());
    EXPECT_EQ(loader_.events, twice);
    EXPECT_EQ(LogLines().size(), 2u) << "both calls reached the library";
}

TEST_P(LookupByName, MissingFunctionGivesNotSupportedWithoutDialog) {
    const ByName& op = GetParam();
    loader_.hidden.insert(op.function);
    EXPECT_EQ(op.run(), kMissingLibraryFunction);
    EXPECT_EQ(kMissingLibraryFunction, FT_NOT_SUPPORTED);
    EXPECT_EQ(loader_.events.back(), "release") << "the library is released on this path too";
    EXPECT_TRUE(LogLines().empty());
    EXPECT_TRUE(Dialogs().empty());
}

TEST_P(LookupByName, OtherMissingFunctionsDoNotMatter) {
    const ByName& op = GetParam();
    for (const ByName& other : kByName)
        if (std::string(other.function) != op.function) loader_.hidden.insert(other.function);
    EXPECT_EQ(op.run(), FT_OK);
}

using LookupByNameDeathTest = LookupByName;

TEST_P(LookupByNameDeathTest, MissingLibraryShowsTheBoxAndEndsTheProgramNormally) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const ByName& op = GetParam();
    EXPECT_EXIT(
        {
            FatalPrinter printer;
            torvane::InstallMessageSink(&printer);
            loader_.libraryAbsent = true;
            std::atexit([] { std::fputs("normal shutdown\n", stderr); });
            op.run();
            std::fputs("the operation returned\n", stderr);
            std::_Exit(3);
        },
        testing::ExitedWithCode(0), "^FATAL \\[BŁĄD\\] BRAK BIBLIOTEKI FTD2XX\\.DLL\nnormal shutdown\n$");
}

std::string ByNameName(const testing::TestParamInfo<ByName>& info) { return info.param.operation; }

INSTANTIATE_TEST_SUITE_P(Operations, LookupByName, testing::ValuesIn(kByName), ByNameName);
INSTANTIATE_TEST_SUITE_P(Operations, LookupByNameDeathTest, testing::ValuesIn(kByName), ByNameName);

TEST(PlatformLoader, FindsTheLinkedVendorLibraryByItsName) {
    LibraryLoader& loader = PlatformLibraryLoader();
#if defined(_WIN32)
    EXPECT_STREQ(VendorLibraryFileName(), "FTD2XX.DLL");
#else
    EXPECT_STREQ(VendorLibraryFileName(), "libftd2xx.so");
#endif
    LibraryLoader::Library library = loader.Load(VendorLibraryFileName());
    ASSERT_NE(library, nullptr);
    const auto query = reinterpret_cast<FT_GetLibraryVersion_t>(loader.Find(library, "FT_GetLibraryVersion"));
    ASSERT_NE(query, nullptr);
    // The copy the program links, not a second one: both see the same scenario.
    d2xx_test::LoadScenario(R"({"library_version": 4660})");
    std::uint32_t version = 0;
    EXPECT_EQ(query(&version), FT_OK);
    EXPECT_EQ(version, 4660u);
    EXPECT_EQ(d2xx_test::LogLines().size(), 1u);
    EXPECT_EQ(loader.Find(library, "FT_NoSuchFunction"), nullptr);
    loader.Release(library);
}

TEST(PlatformLoader, AbsentLibraryIsNull) {
    EXPECT_EQ(PlatformLibraryLoader().Load("libtorvane-absent-library.so"), nullptr);
}

TEST(PlatformLoader, ActiveLoaderIsThePlatformsUnlessOneIsInstalled) {
    NotingLoader noting;
    EXPECT_EQ(&ActiveLibraryLoader(), &PlatformLibraryLoader());
    InstallLibraryLoader(&noting);
    EXPECT_EQ(&ActiveLibraryLoader(), &noting);
    InstallLibraryLoader(nullptr);
    EXPECT_EQ(&ActiveLibraryLoader(), &PlatformLibraryLoader());
}

}  // namespace
