#pragma once
// The texts of the main window's actions, shared by every view: reading a port
// number out of the grid's port cell, the messages of the port buttons, and
// the text of an error that escaped an event handler.
// Portable: no toolkit or OS header. Texts are UTF-8.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace app {

// Removes leading and trailing characters with codes up to and including the
// space (blanks and control characters).
std::string TrimBlanksAndControls(std::string_view text);

// The number part of a port cell: the trimmed text from its fourth character
// on ("COM12" gives "12"); empty when the trimmed text has three characters
// or fewer. Characters are UTF-8 code points, not bytes.
std::string PortNumberText(std::string_view portCell);

// Strict conversion to a signed 32-bit integer: an optional sign followed by
// decimal digits only, within the 32-bit range. Anything else, the empty text
// included, gives no value.
std::optional<std::int32_t> ParseInt32(std::string_view text);

// What the open-port button does with the selected row's port cell.
struct PortRequest {
    std::string numberText;             // shown in every message
    std::optional<std::int32_t> number;  // none: the text is not a valid number
};
PortRequest ReadPortRequest(std::string_view portCell);

// The messages of the two port buttons.
std::string BadPortNumberMessage(std::string_view numberText);
std::string OpenPortMessage(bool opened, std::string_view numberText);
std::string ClosePortMessage(bool closed);

// The serial library takes the port as one byte: it uses the low 8 bits of the
// converted number (268 opens port 12), with no range check.
std::uint8_t PortByte(std::int32_t number);

}  // namespace app
