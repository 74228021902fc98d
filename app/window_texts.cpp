#include "app/window_texts.h"

#include <charconv>
#include <limits>

namespace app {
namespace {

bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= 0x20; }

bool IsUtf8Continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Byte offset just past the first `count` code points of `text`.
std::size_t SkipCodePoints(std::string_view text, std::size_t count) {
    std::size_t pos = 0;
    for (std::size_t skipped = 0; skipped < count && pos < text.size(); ++skipped) {
        ++pos;
        while (pos < text.size() && IsUtf8Continuation(text[pos])) ++pos;
    }
    return pos;
}

constexpr std::size_t kPortPrefixLength = 3;  // "COM"

}  // namespace

std::string TrimBlanksAndControls(std::string_view text) {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && IsBlankOrControl(text[first])) ++first;
    while (last > first && IsBlankOrControl(text[last - 1])) --last;
    return std::string(text.substr(first, last - first));
}

std::string PortNumberText(std::string_view portCell) {
    const std::string trimmed = TrimBlanksAndControls(portCell);
    return trimmed.substr(SkipCodePoints(trimmed, kPortPrefixLength));
}

std::optional<std::int32_t> ParseInt32(std::string_view text) {
    // from_chars takes a '-' but no '+', and no blanks: exactly the strictness
    // wanted once a leading '+' is allowed for.
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') return std::nullopt;
    }
    if (text.empty()) return std::nullopt;
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
    if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return value;
}

PortRequest ReadPortRequest(std::string_view portCell) {
    PortRequest request;
    request.numberText = PortNumberText(portCell);
    request.number = ParseInt32(request.numberText);
    return request;
}

std::string BadPortNumberMessage(std::string_view numberText) {
    return "Niewłasciwy numer portu (" + std::string(numberText) + ")";
}

std::string OpenPortMessage(bool opened, std::string_view numberText) {
    return (opened ? "Otwarto port " : "Nie otwarto portu ") + std::string(numberText);
}

std::string ClosePortMessage(bool closed) { return closed ? "Zamknieto port szeregowy" : "Nie zamknieto portu"; }

std::uint8_t PortByte(std::int32_t number) { return static_cast<std::uint8_t>(number); }

}  // namespace app
