#include "serial/src/messages.h"

#include <array>
#include <string>

#include "torvane/cp1250.h"

namespace winseria {
namespace {

struct Entry {
    Message message;
    std::string_view utf8;
};

// One entry per message, in the order of the enumeration (checked below).
constexpr Entry kEntries[] = {
    {Message::Empty, ""},
    {Message::DeviceNotFound, "System nie potrafi znależć danego urządzenia."},
    {Message::AccessDenied, "Zabroniony dostęp do urządzenia."},
    {Message::InvalidHandle, "Niepoprawny uchwyt do urządzenia, proces przerwany."},
    {Message::WrongDevice, "Błędnie określone urządzenie."},
    {Message::DcbUpdate, "Błąd podczas aktualizacji bloku kontroli danych."},
    {Message::BufferSetup, "Błędna inicjalizacja buforów Zapisu/Odczytu."},
    {Message::TimeoutsRead, " Błąd odczytu aktualnych czasów."},
    {Message::TimeoutsWrite, "Błąd podczas aktualizacji czasów."},
    {Message::PortClosedCreate, "Error CreateEvent. "},
    {Message::EventSignal, "Błąd podczas sygnalizacji zdarzenia."},
    {Message::EventCancel, "Błąd podczas anulacji zdarzenia."},
    {Message::WorkerCreateEvent, "Błąd CreateEvent. "},
    {Message::ReadCreateEvent, "Błąd CreateEvent."},
    {Message::NoPortObject, "Port nie jest otwarty, niemożliwa operacja."},
    {Message::HandleClose, "Błąd zamknięcia uchwytu."},
    {Message::WriteInvalid, "Niepoprawny zapis."},
    {Message::WritePortInvalid, "Niepoprawny zapis do portu."},
    {Message::WriteTimeout, "Timeout zapisu."},
    {Message::WriteAborted, "Zapis przerwany."},
    {Message::ReadInvalid, "Niepoprawny odczyt."},
    {Message::ReadAbortedByDriver, "Odczyt przerwany"},
    {Message::ReadTimeout, "Timeout odczytu."},
    {Message::ReadAbortedByClose, "Odczyt przerwany."},
    {Message::ReadRefused, "Przerwany zapis "},
    {Message::WaitFailed, "Błąd funkcji WaitForMultipleObjects."},
    {Message::AlreadyInitialized, "Ten port jest już zainicjowany"},
    {Message::LineBreak, "Urządzenie wykryło stan BREAK (CE_BREAK)."},
    {Message::LineFrame, "Urządzenie wykryło błąd ramki (CE_FRAME)."},
    {Message::LineOverrun, "Zgubiono znaki (CE_OVERRUN)."},
    {Message::LineRxOver, "Zapełniony bufor wejściowy (CE_RXOVER)."},
    {Message::LineParity, "Urządzenie wykryło błąd parzystości (CE_RXPARITY)."},
    {Message::LineTxFull, "Zapełniony bufor wyjściowy (CE_TXFULL)."},
};
constexpr std::size_t kCount = std::size(kEntries);

constexpr bool InEnumerationOrder() {
    for (std::size_t i = 0; i < kCount; ++i) {
        if (static_cast<std::size_t>(kEntries[i].message) != i) return false;
    }
    return kCount == static_cast<std::size_t>(Message::LineTxFull) + 1;
}
static_assert(InEnumerationOrder(), "one entry per message, in the order of the enumeration");

struct Cp1250Table {
    std::array<std::string, kCount> texts;
    Cp1250Table() {
        for (std::size_t i = 0; i < kCount; ++i) texts[i] = torvane::Utf8ToCp1250(kEntries[i].utf8);
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

}  // namespace winseria
