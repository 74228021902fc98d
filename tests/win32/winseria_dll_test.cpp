// winseria.dll as another program sees it: loaded at run time, its functions
// found by name and by ordinal, called with the __stdcall convention.
#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>

#include "torvane/cp1250.h"

namespace {

// The fixed export order: ordinal i + 1 is kExports[i].
constexpr std::array<const char*, 21> kExports = {
    "Opoznienie",   "CharSent",     "ChangeSpeed",       "ChangeParity", "pInitializePort", "UstawCTS",
    "ClearRTSLine", "SetRTSLine",   "ClearDTRLine",      "SetDTRLine",   "ModemStatus",     "UstawKanal",
    "SerialPortPresent", "DllVersion", "IsError",        "ReadByte",     "WriteByte",       "ClearPort",
    "UnInitializePort",  "InitializePort", "TimeOut",
};

// A port number that no test links to a device.
constexpr std::uint8_t kMissingPort = 200;

class WinseriaDll : public ::testing::Test {
protected:
    static void SetUpTestSuite() { library_ = LoadLibraryA("winseria.dll"); }
    static void TearDownTestSuite() {
        if (library_ != nullptr) FreeLibrary(library_);
        library_ = nullptr;
    }
    void SetUp() override { ASSERT_NE(library_, nullptr) << "LoadLibraryA failed, error " << GetLastError(); }

    template <typename Function>
    static Function Find(const char* name) {
        return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library_, name)));
    }

    // Fetches and clears the error slot; the text comes back as UTF-8.
    static bool FetchError(std::string& text, std::int32_t& code) {
        auto isError = Find<std::uint8_t(__stdcall*)(char**, std::int32_t*)>("IsError");
        char buffer[64] = {};
        char* address = buffer;
        code = 0x5A5A5A5A;
        const bool result = isError(&address, &code) != 0;
        text = torvane::Cp1250ToUtf8(buffer);
        return result;
    }

    static HMODULE library_;
};
HMODULE WinseriaDll::library_ = nullptr;

TEST_F(WinseriaDll, EveryFunctionIsFoundByNameAndByItsOrdinal) {
    for (std::size_t i = 0; i < kExports.size(); ++i) {
        SCOPED_TRACE(kExports[i]);
        const FARPROC byName = GetProcAddress(library_, kExports[i]);
        const FARPROC byOrdinal = GetProcAddress(library_, MAKEINTRESOURCEA(i + 1));
        EXPECT_NE(byName, nullptr);
        EXPECT_EQ(byName, byOrdinal);
    }
}

TEST_F(WinseriaDll, NothingElseIsExported) {
    EXPECT_EQ(GetProcAddress(library_, MAKEINTRESOURCEA(22)), nullptr);
    // No decorated duplicate of a __stdcall name.
    EXPECT_EQ(GetProcAddress(library_, "InitializePort@16"), nullptr);
    EXPECT_EQ(GetProcAddress(library_, "_InitializePort@16"), nullptr);
    // Names are case-sensitive.
    EXPECT_EQ(GetProcAddress(library_, "initializeport"), nullptr);
}

TEST_F(WinseriaDll, DllVersionGivesThreePointZeroZero) {
    auto dllVersion = Find<void(__stdcall*)(const char**)>("DllVersion");
    const char* version = nullptr;
    dllVersion(&version);
    ASSERT_NE(version, nullptr);
    EXPECT_STREQ(version, "3.00");
}

TEST_F(WinseriaDll, ErrorSlotStartsEmptyAndAFailedInitializationFillsItOnce) {
    std::string text;
    std::int32_t code = 0;
    EXPECT_FALSE(FetchError(text, code));
    EXPECT_EQ(text, "");
    EXPECT_EQ(code, 0);

    auto unInitialize = Find<std::int32_t(__stdcall*)()>("UnInitializePort");
    EXPECT_EQ(unInitialize(), 0);

    auto initialize = Find<std::int32_t(__stdcall*)(std::uint8_t, std::uint32_t, std::uint16_t, std::uint16_t)>(
        "InitializePort");
    EXPECT_EQ(initialize(kMissingPort, 9600, 2, 2), 2);
    EXPECT_TRUE(FetchError(text, code));
    EXPECT_EQ(text, "System nie potrafi znależć danego urządzenia.");
    EXPECT_EQ(code, 2);
    // Fetching cleared it.
    EXPECT_FALSE(FetchError(text, code));
    EXPECT_EQ(text, "");
    EXPECT_EQ(code, 0);
}

TEST_F(WinseriaDll, IsErrorWithoutABufferGivesMinusOneAndKeepsTheSlot) {
    auto initialize = Find<std::int32_t(__stdcall*)(std::uint8_t, std::uint32_t, std::uint16_t, std::uint16_t)>(
        "InitializePort");
    ASSERT_EQ(initialize(kMissingPort, 9600, 2, 2), 2);
    auto isError = Find<std::uint8_t(__stdcall*)(char**, std::int32_t*)>("IsError");
    char* noBuffer = nullptr;
    std::int32_t code = 0;
    EXPECT_EQ(isError(&noBuffer, &code), 0);
    EXPECT_EQ(code, -1);
    std::string text;
    EXPECT_TRUE(FetchError(text, code));
    EXPECT_EQ(code, 2);
}

// Arguments travel in 32-bit stack slots and the library looks only at
// their low bits: a caller may leave garbage in the upper ones.
TEST_F(WinseriaDll, NarrowArgumentsUseOnlyTheirLowBits) {
    auto ustawCts = Find<std::uint32_t(__stdcall*)(std::uint32_t)>("UstawCTS");
    EXPECT_EQ(ustawCts(0xABCDEF07u) & 0xFFu, 0x07u);
    EXPECT_EQ(ustawCts(0x00000101u) & 0xFFu, 0x01u);

    auto present = Find<std::uint32_t(__stdcall*)(std::uint32_t)>("SerialPortPresent");
    // 0x1C8 is port 200 (0xC8) with garbage above it: still the missing port.
    EXPECT_EQ(present(0x00000100u | kMissingPort) & 0xFFu, 0u);
}

TEST_F(WinseriaDll, LineFunctionsWithoutAPortFailQuietly) {
    for (const char* name : {"SetDTRLine", "ClearDTRLine", "SetRTSLine", "ClearRTSLine"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(Find<std::int32_t(__stdcall*)()>(name)(), 0);
    }
    EXPECT_EQ(Find<std::uint32_t(__stdcall*)()>("ModemStatus")() & ~0xF0u, 0u);
    EXPECT_EQ(Find<std::uint8_t(__stdcall*)(std::uint8_t)>("UstawKanal")(9), 0);
    EXPECT_EQ(Find<std::int32_t(__stdcall*)()>("ClearPort")(), 0);
    std::string text;
    std::int32_t code = 0;
    EXPECT_FALSE(FetchError(text, code)) << text;
}

// Calls `function` with `slots` zero-filled 32-bit argument slots and returns
// how many bytes of them were still on the stack when it returned: 0 for a
// __stdcall callee (which removes its arguments), 4 x slots for a __cdecl one.
std::uint32_t BytesLeftOnStack(FARPROC function, std::uint32_t slots) {
    std::uint32_t left = 0;
    std::uint32_t count = slots;
    asm volatile(
        "mov %%esp, %%esi\n\t"
        "and $-16, %%esp\n\t"
        "mov %%esp, %%edi\n\t"
        "1:\n\t"
        "test %%ecx, %%ecx\n\t"
        "jz 2f\n\t"
        "pushl $0\n\t"
        "dec %%ecx\n\t"
        "jmp 1b\n\t"
        "2:\n\t"
        "call *%[function]\n\t"
        "mov %%edi, %%eax\n\t"
        "sub %%esp, %%eax\n\t"
        "mov %%esi, %%esp\n\t"
        : "=a"(left), "+c"(count)
        : [function] "b"(function)
        : "edx", "esi", "edi", "memory", "cc");
    return left;
}

TEST_F(WinseriaDll, EveryFunctionWithArgumentsRemovesThemFromTheStack) {
    // All zero arguments are harmless here: pause 0 ms, probe and open port 0
    // (which does not exist), set speed 0 on no open port, store a CTS flag.
    const struct {
        const char* name;
        std::uint32_t slots;
    } kCases[] = {
        {"Opoznienie", 1}, {"SerialPortPresent", 1}, {"UstawCTS", 1},       {"ChangeSpeed", 1},
        {"UstawKanal", 1}, {"InitializePort", 4},    {"pInitializePort", 7},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        const FARPROC function = GetProcAddress(library_, c.name);
        ASSERT_NE(function, nullptr);
        EXPECT_EQ(BytesLeftOnStack(function, c.slots), 0u);
    }
    std::string text;
    std::int32_t code = 0;
    FetchError(text, code);
}

}  // namespace
