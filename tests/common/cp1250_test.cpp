#include "torvane/cp1250.h"

#include <gtest/gtest.h>

namespace {

struct Case {
    const char* cp1250;
    const char* utf8;
};

// Every Polish letter, the euro sign and plain ASCII, both ways.
const Case kRoundTrips[] = {
    {"", ""},
    {"PORT", "PORT"},
    {"\xA5\xC6\xCA\xA3\xD1\xD3\x8C\x8F\xAF", "ĄĆĘŁŃÓŚŹŻ"},
    {"\xB9\xE6\xEA\xB3\xF1\xF3\x9C\x9F\xBF", "ąćęłńóśźż"},
    {"Od\x9Cwie\xBF", "Odśwież"},
    {"B\xA3\xA5" "D", "BŁĄD"},
    {"\x80", "€"},
};

TEST(Cp1250, ConvertsBothWays) {
    for (const auto& c : kRoundTrips) {
        EXPECT_EQ(torvane::Cp1250ToUtf8(c.cp1250), c.utf8) << c.utf8;
        EXPECT_EQ(torvane::Utf8ToCp1250(c.utf8), c.cp1250) << c.utf8;
    }
}

TEST(Cp1250, UnassignedBytesBecomeReplacementCharacter) {
    EXPECT_EQ(torvane::Cp1250ToUtf8("\x81"), "\xEF\xBF\xBD");
    EXPECT_EQ(torvane::Cp1250ToUtf8("\x83\x90"), "\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(Cp1250, UnencodableAndMalformedUtf8BecomeQuestionMarks) {
    const Case cases[] = {
        {"??", "日本"},
        {"a?", "a\xC3"},                    // truncated sequence
        {"?b", "\xBF" "b"},                  // stray continuation byte
        {"?", "\xEF\xBF\xBD"},               // U+FFFD has no byte
        {"A?B", "A\xC0\x80" "B"},             // U+0000 overlong: never a hidden NUL
        {"?", "\xE0\x80\x8A"},               // a newline in three bytes
        {"?", "\xC1\xBF"},                   // '?' in two
        {"?", "\xF0\x80\x80\xA5"},           // U+0025 in four
        {"?", "\xED\xA0\x80"},               // a surrogate
        {"?", "\xF4\x90\x80\x80"},           // beyond U+10FFFF
        {"????", "\xF8\x88\x80\x80"},        // a five-byte lead, then stray continuation bytes
        {"\xA3", "\xC5\x81"},                // the shortest form still decodes: Ł
    };
    for (const auto& c : cases) EXPECT_EQ(torvane::Utf8ToCp1250(c.utf8), c.cp1250) << c.utf8;
    EXPECT_EQ(torvane::Utf8ToCp1250(std::string("A\0B", 3)), "A?B");  // a NUL byte as it is
}

TEST(Cp1250, EveryByteSurvivesARoundTripExceptUnassignedOnes) {
    for (int b = 1; b < 256; ++b) {
        const std::string one(1, static_cast<char>(b));
        const std::string back = torvane::Utf8ToCp1250(torvane::Cp1250ToUtf8(one));
        const bool unassigned = b == 0x81 || b == 0x83 || b == 0x88 || b == 0x90 || b == 0x98;
        EXPECT_EQ(back, unassigned ? std::string("?") : one) << b;
    }
}

}  // namespace
