#include "serial/src/messages.h"

#include <array>
#include <string>

#include "torvane/cp1250.h"

namespace winseria {
namespace {

// Indexed by Message; the order must follow the enumeration.
constexpr std::array<std::string_view, 33> kUtf8 = {
    "",
    "System nie potrafi znależć danego urządzenia.",
    "Zabroniony dostęp do urządzenia.",
    "Niepoprawny uchwyt do urządzenia, proces przerwany.",
    "Błędnie określone urządzenie.",
    "Błąd podczas aktualizacji bloku kontroli danych.",
    "Błędna inicjalizacja buforów Zapisu/Odczytu.",
    " Błąd odczytu aktualnych czasów.",
    "Błąd podczas aktualizacji czasów.",
    "Error CreateEvent. ",
    "Błąd podczas sygnalizacji zdarzenia.",
    "Błąd podczas anulacji zdarzenia.",
    "Błąd CreateEvent. ",
    "Błąd CreateEvent.",
    "Port nie jest otwarty, niemożliwa operacja.",
    "Błąd zamknięcia uchwytu.",
    "Niepoprawny zapis.",
    "Niepoprawny zapis do portu.",
    "Timeout zapisu.",
    "Zapis przerwany.",
    "Niepoprawny odczyt.",
    "Odczyt przerwany",
    "Timeout odczytu.",
    "Odczyt przerwany.",
    "Przerwany zapis ",
    "Błąd funkcji WaitForMultipleObjects.",
    "Ten port jest już zainicjowany",
    "Urządzenie wykryło stan BREAK (CE_BREAK).",
    "Urządzenie wykryło błąd ramki (CE_FRAME).",
    "Zgubiono znaki (CE_OVERRUN).",
    "Zapełniony bufor wejściowy (CE_RXOVER).",
    "Urządzenie wykryło błąd parzystości (CE_RXPARITY).",
    "Zapełniony bufor wyjściowy (CE_TXFULL).",
};
static_assert(kUtf8.size() == static_cast<std::size_t>(Message::LineTxFull) + 1);

struct Cp1250Table {
    std::array<std::string, kUtf8.size()> texts;
    Cp1250Table() {
        for (std::size_t i = 0; i < kUtf8.size(); ++i) texts[i] = torvane::Utf8ToCp1250(kUtf8[i]);
    }
};

const Cp1250Table& Table() {
    // Built on first use and never destroyed: a worker may record a failure
    // while the process is ending.
    static const Cp1250Table* table = new Cp1250Table;
    return *table;
}

}  // namespace

std::string_view Text(Message message) { return Table().texts[static_cast<std::size_t>(message)]; }

std::string_view Utf8Text(Message message) { return kUtf8[static_cast<std::size_t>(message)]; }

}  // namespace winseria
