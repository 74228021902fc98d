#include "devlist/texts.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "torvane/cp1250.h"

namespace devlist {
namespace {

struct HexCase {
    std::uint32_t value;
    int digits;
    const char* text;
};

TEST(Hex, UpperCaseZeroPaddedToAtLeastTheWidth) {
    const HexCase cases[] = {
        {0, 0, "0"},      {0, 1, "0"},         {0, 2, "00"},           {0xA, 2, "0A"},
        {0x3, 1, "3"},    {0x12, 1, "12"},     {0xABC, 2, "ABC"},      {0xff, 2, "FF"},
        {0x7, 8, "00000007"}, {0xFFFFFFFF, 1, "FFFFFFFF"}, {0xDEADBEEF, 10, "00DEADBEEF"},
    };
    for (const HexCase& c : cases) EXPECT_EQ(Hex(c.value, c.digits), c.text) << c.value << "/" << c.digits;
}

struct VersionCase {
    std::uint32_t value;
    const char* text;
};

TEST(VersionText, BytesTwoOneZeroMostSignificantFirst) {
    const VersionCase cases[] = {
        {0x00030115, "3.01.15"}, {0x00020C0A, "2.0C.0A"}, {0x00120000, "12.00.00"},
        {0x00FFFFFF, "FF.FF.FF"}, {0x00000001, "0.00.01"}, {0x00021204, "2.12.04"},
        // Byte 3 is ignored, also when it is the only non-zero byte.
        {0xFF030115, "3.01.15"},  {0x01000000, "0.00.00"},
        {0, "??.??.??"},
    };
    for (const VersionCase& c : cases) EXPECT_EQ(VersionText(c.value), c.text) << std::hex << c.value;
}

TEST(LibraryVersionLabel, PrefixOnlyWithAVersion) {
    EXPECT_EQ(LibraryVersionLabel(0x00030115), "Wersja biblioteki FTD2XX.DLL: 3.01.15");
    EXPECT_EQ(LibraryVersionLabel(0x00020C0A), "Wersja biblioteki FTD2XX.DLL: 2.0C.0A");
    EXPECT_EQ(LibraryVersionLabel(0), "??.??.??");
}

struct PortCase {
    std::uint32_t status;
    std::int32_t number;
    const char* text;
};

TEST(PortTextFor, FailedQueryNoPortAndDecimalNumbers) {
    const PortCase cases[] = {
        {0, 3, "COM3"},     {0, 12, "COM12"},   {0, 7, "COM7"},  {0, 0, "COM0"},
        {0, 255, "COM255"}, {0, 1000, "COM1000"},
        {0, std::numeric_limits<std::int32_t>::max(), "COM2147483647"},
        {0, -1, "----"},
        // Any failed query hides whatever number it left.
        {4, 3, "????"},     {1, -1, "????"},    {18, 0, "????"}, {0xFFFFFFFF, 12, "????"},
        // Only -1 means "no port"; other negatives are shown as given.
        {0, -7, "COM-7"},
    };
    for (const PortCase& c : cases) EXPECT_EQ(PortTextFor(c.status, c.number), c.text);
}

struct NameCase {
    std::string name;
    std::string decorated;
};

TEST(DecorateDeviceName, ChannelPrefixThenPaddingTo25) {
    const std::string prefix = "KALDORVENTIX   ";
    ASSERT_EQ(prefix.size(), 15u);
    const NameCase cases[] = {
        {"COM_A", prefix + "COM_A     "},
        {"COM_B", prefix + "COM_B     "},
        {"COM_C", prefix + "COM_C     "},
        {"COM_D", prefix + "COM_D     "},
        // Whole text, case-sensitive: anything else gets no prefix.
        {"com_a", "com_a                    "},
        {"Com_A", "Com_A                    "},
        {"COM_A1", "COM_A1                   "},
        {"COM_A ", "COM_A                    "},
        {" COM_A", " COM_A                   "},
        {"COM_E", "COM_E                    "},
        {"COM_", "COM_                     "},
        {"", std::string(25, ' ')},
        {"FT232R USB UART", "FT232R USB UART          "},
        {std::string(24, 'x'), std::string(24, 'x') + " "},
        {std::string(25, 'x'), std::string(25, 'x')},
        {std::string(30, 'y'), std::string(30, 'y')},
        {std::string(63, 'z'), std::string(63, 'z')},
    };
    for (const NameCase& c : cases) {
        EXPECT_EQ(DecorateDeviceName(c.name), c.decorated) << "'" << c.name << "'";
    }
}

TEST(DecorateDeviceName, FifteenCharactersGetTenSpacesAndLengthIsAtLeast25) {
    const std::string fifteen = "ABCDEFGHIJKLMNO";
    EXPECT_EQ(DecorateDeviceName(fifteen), fifteen + std::string(10, ' '));
    for (std::size_t length = 0; length <= 40; ++length) {
        const std::string name(length, 'n');
        const std::string decorated = DecorateDeviceName(name);
        EXPECT_EQ(decorated.size(), std::max<std::size_t>(length, 25));
        EXPECT_EQ(decorated.substr(0, length), name);
    }
}

TEST(DecorateDeviceName, PadsBytesOfEightBitTextSoEachPolishLetterCountsOnce) {
    // "Łódź" in Windows-1250 is four bytes; decoded it is four characters,
    // followed by the 21 spaces that make 25.
    const std::string lodz = "\xA3\xF3\x64\x9F";
    const std::string decorated = DecorateDeviceName(lodz);
    EXPECT_EQ(decorated.size(), 25u);
    EXPECT_EQ(torvane::Cp1250ToUtf8(decorated), "Łódź" + std::string(21, ' '));
}

}  // namespace
}  // namespace devlist
