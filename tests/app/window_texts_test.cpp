// The portable texts of the main window's actions: trimming and reading the
// port cell, the strict number conversion, and the messages.
#include "app/window_texts.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <ostream>
#include <string>
#include <utility>

namespace {

// Case names for the test list: the input, with bytes outside printable ASCII
// as \xNN so that every name is stable and readable.
std::string Printable(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F) {
            out += c;
        } else {
            static const char hex[] = "0123456789ABCDEF";
            out += {'\\', 'x', hex[byte >> 4], hex[byte & 0xF]};
        }
    }
    return out + "\"";
}

// A text and what the function under test makes of it.
template <typename Result>
struct TextCase {
    std::string input;
    Result expected;
};
template <typename Result>
void PrintTo(const TextCase<Result>& c, std::ostream* os) { *os << Printable(c.input); }

using TrimCase = TextCase<std::string>;
class TrimTest : public testing::TestWithParam<TrimCase> {};

TEST_P(TrimTest, RemovesBlanksAndControlsAtBothEnds) {
    EXPECT_EQ(app::TrimBlanksAndControls(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, TrimTest,
                         testing::Values(TrimCase{"", ""}, TrimCase{"   ", ""}, TrimCase{"COM3", "COM3"},
                                         TrimCase{"  COM3  ", "COM3"}, TrimCase{"\tCOM3\r\n", "COM3"},
                                         TrimCase{std::string("\x01\x1f COM3 \x7f"), "COM3 \x7f"},
                                         TrimCase{std::string("\0COM3\0", 6), "COM3"},
                                         TrimCase{"CO M3", "CO M3"}, TrimCase{"\xC5\x9B ", "\xC5\x9B"}));

// The number text, and the number when it is one.
using PortCase = TextCase<std::pair<std::string, std::optional<std::int32_t>>>;
class PortRequestTest : public testing::TestWithParam<PortCase> {};

TEST_P(PortRequestTest, NumberTextFromTheFourthCharacterOfTheTrimmedCell) {
    const app::PortRequest request = app::ReadPortRequest(GetParam().input);
    EXPECT_EQ(request.numberText, GetParam().expected.first);
    EXPECT_EQ(request.number, GetParam().expected.second);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PortRequestTest,
    testing::Values(PortCase{"COM12", {"12", 12}}, PortCase{"COM3", {"3", 3}}, PortCase{"----", {"-", std::nullopt}},
                    PortCase{"????", {"?", std::nullopt}}, PortCase{"", {"", std::nullopt}},
                    PortCase{"COM", {"", std::nullopt}}, PortCase{"CO", {"", std::nullopt}},
                    PortCase{"  COM12 \t", {"12", 12}}, PortCase{" \r\nCOM7\n", {"7", 7}},
                    PortCase{"COM 12", {" 12", std::nullopt}}, PortCase{"COM268", {"268", 268}},
                    PortCase{"XYZ-5", {"-5", -5}}, PortCase{"COM+5", {"+5", 5}},
                    PortCase{"COM2147483647", {"2147483647", 2147483647}},
                    PortCase{"COM2147483648", {"2147483648", std::nullopt}},
                    // Characters, not bytes: two Polish letters and a blank are three characters.
                    PortCase{"\xC5\x9B\xC5\xBC 42", {"42", 42}}));

using ParseCase = TextCase<std::optional<std::int32_t>>;
class ParseInt32Test : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseInt32Test, AcceptsOnlyASignAndDecimalDigitsInRange) {
    EXPECT_EQ(app::ParseInt32(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseInt32Test,
    testing::Values(ParseCase{"0", 0}, ParseCase{"12", 12}, ParseCase{"007", 7}, ParseCase{"-1", -1},
                    ParseCase{"+1", 1}, ParseCase{"-2147483648", std::numeric_limits<std::int32_t>::min()},
                    ParseCase{"2147483647", std::numeric_limits<std::int32_t>::max()},
                    ParseCase{"2147483648", std::nullopt}, ParseCase{"-2147483649", std::nullopt},
                    ParseCase{"99999999999999999999", std::nullopt}, ParseCase{"", std::nullopt},
                    ParseCase{"-", std::nullopt}, ParseCase{"+", std::nullopt}, ParseCase{"+-1", std::nullopt},
                    ParseCase{"--1", std::nullopt}, ParseCase{" 1", std::nullopt}, ParseCase{"1 ", std::nullopt},
                    ParseCase{"1a", std::nullopt}, ParseCase{"0x10", std::nullopt}, ParseCase{"$10", std::nullopt},
                    ParseCase{"1.0", std::nullopt}, ParseCase{"?", std::nullopt}));

TEST(PortByte, KeepsTheLowEightBits) {
    EXPECT_EQ(app::PortByte(12), 12);
    EXPECT_EQ(app::PortByte(255), 255);
    EXPECT_EQ(app::PortByte(256), 0);
    EXPECT_EQ(app::PortByte(268), 12);
    EXPECT_EQ(app::PortByte(-1), 255);
    EXPECT_EQ(app::PortByte(std::numeric_limits<std::int32_t>::min()), 0);
}

TEST(PortMessages, ExactTexts) {
    EXPECT_EQ(app::BadPortNumberMessage("-"), "Niewłasciwy numer portu (-)");
    EXPECT_EQ(app::BadPortNumberMessage(""), "Niewłasciwy numer portu ()");
    EXPECT_EQ(app::OpenPortMessage(true, "12"), "Otwarto port 12");
    EXPECT_EQ(app::OpenPortMessage(false, "12"), "Nie otwarto portu 12");
    EXPECT_EQ(app::ClosePortMessage(true), "Zamknieto port szeregowy");
    EXPECT_EQ(app::ClosePortMessage(false), "Nie zamknieto portu");
}

}  // namespace
