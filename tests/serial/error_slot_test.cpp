// The error slot, the message table and IsError's handling of its pointers.
#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "serial/include/winseria.h"
#include "serial/src/library_state.h"
#include "serial/src/messages.h"
#include "tests/serial/support/error_fetch.h"
#include "tests/serial/support/event_failures.h"
#include "torvane/cp1250.h"

namespace winseria {
namespace {

using test::Failure;
using test::FetchError;

class ErrorSlot : public ::testing::Test {
protected:
    void SetUp() override { TakeError(); }
    void TearDown() override { TakeError(); }
};

// What IsError gives for what was recorded; fetching empties the slot.
struct Recorded {
    const char* name;
    void (*record)();
    const char* text;  // UTF-8
    std::int32_t code;
};

const Recorded kRecorded[] = {
    {"second_of_two_failures",
     [] {
         SetError(Message::DeviceNotFound, 2);
         SetError(Message::AccessDenied, 5);
     },
     "Zabroniony dostęp do urządzenia.", 5},
    {"empty_text_with_a_code", [] { SetError("", 87); }, "", 87},
    {"code_zero_gives_result_false", [] { SetError(Message::ReadTimeout, 0); }, "Timeout odczytu.", 0},
    {"write_timeout", [] { SetError(Message::WriteTimeout, 0); }, "Timeout zapisu.", 0},
    {"code_alone_keeps_the_text",
     [] {
         SetError(Message::BufferSetup, 31);
         SetErrorCode(1314);
     },
     "Błędna inicjalizacja buforów Zapisu/Odczytu.", 1314},
    {"record_failure_takes_the_last_error",
     [] {
         winapi::SetLastError(1167);
         EXPECT_EQ(RecordFailure(Message::WriteInvalid), 1167);
     },
     "Niepoprawny zapis.", 1167},
    {"negative_code_unchanged", [] { SetError(Message::NoPortObject, -1); },
     "Port nie jest otwarty, niemożliwa operacja.", -1},
};

class Fetching : public ErrorSlot, public ::testing::WithParamInterface<Recorded> {};

TEST_P(Fetching, GivesWhatWasRecordedOnceThenNothing) {
    GetParam().record();
    EXPECT_EQ(FetchError(), Failure(GetParam().text, GetParam().code));
    EXPECT_EQ(FetchError(), (test::Fetched{0, "", 0}));
}

INSTANTIATE_TEST_SUITE_P(ErrorSlot, Fetching, ::testing::ValuesIn(kRecorded),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ErrorSlot, NullBufferVariableGivesMinusOneAndKeepsTheSlot) {
    SetError(Message::AccessDenied, 5);
    std::int32_t code = 0;
    EXPECT_EQ(IsError(nullptr, &code), 0);
    EXPECT_EQ(code, -1);
    char* noBuffer = nullptr;
    code = 0;
    EXPECT_EQ(IsError(&noBuffer, &code), 0);
    EXPECT_EQ(code, -1);
    EXPECT_EQ(FetchError(), Failure("Zabroniony dostęp do urządzenia.", 5));
}

TEST_F(ErrorSlot, NullCodePointerTouchesNothing) {
    SetError(Message::AccessDenied, 5);
    std::array<char, 8> buffer;
    buffer.fill('#');
    char* text = buffer.data();
    EXPECT_EQ(IsError(&text, nullptr), 0);
    EXPECT_EQ(buffer, (std::array<char, 8>{'#', '#', '#', '#', '#', '#', '#', '#'}));
    EXPECT_EQ(FetchError(), Failure("Zabroniony dostęp do urządzenia.", 5));
}

TEST_F(ErrorSlot, LongestMessageFitsTheCallersFiftyTwoBytes) {
    SetError(Message::InvalidHandle, 6);
    const test::Fetched fetched = FetchError();  // checks the terminator and the guard bytes
    EXPECT_EQ(fetched.text.size(), 51u);
    EXPECT_EQ(fetched, Failure("Niepoprawny uchwyt do urządzenia, proces przerwany.", 6));
}


TEST(Messages, TextsAreWindows1250Bytes) {
    // Polish letters by their code-page byte: ż 0xBF, ć 0xE6, ą 0xB9, ł 0xB3, ę 0xEA.
    EXPECT_EQ(Text(Message::DeviceNotFound), "System nie potrafi znale\xBF\xE6 danego urz\xB9" "dzenia.");
    EXPECT_EQ(Text(Message::WaitFailed), "B\xB3\xB9" "d funkcji WaitForMultipleObjects.");
    EXPECT_EQ(Text(Message::AlreadyInitialized), "Ten port jest ju\xBF zainicjowany");
    EXPECT_EQ(Text(Message::TimeoutsRead), " B\xB3\xB9" "d odczytu aktualnych czas\xF3w.");
}

TEST(Messages, BlanksAndFullStopsAreKeptExactly) {
    const auto utf8 = [](Message message) { return torvane::Cp1250ToUtf8(Text(message)); };
    EXPECT_EQ(utf8(Message::PortClosedCreate), "Error CreateEvent. ");
    EXPECT_EQ(utf8(Message::WorkerCreateEvent), "Błąd CreateEvent. ");
    EXPECT_EQ(utf8(Message::ReadCreateEvent), "Błąd CreateEvent.");
    EXPECT_EQ(utf8(Message::ReadRefused), "Przerwany zapis ");
    EXPECT_EQ(utf8(Message::ReadAbortedByDriver), "Odczyt przerwany");
    EXPECT_EQ(utf8(Message::ReadAbortedByClose), "Odczyt przerwany.");
    EXPECT_EQ(utf8(Message::Empty), "");
}

TEST(Messages, EveryTextFitsFiftyTwoBytesAndIsPlainCodePageText) {
    // Nothing that the code page cannot hold ('?' stands for such a letter).
    for (int m = 0; m <= static_cast<int>(Message::LineTxFull); ++m) {
        const std::string_view text = Text(static_cast<Message>(m));
        EXPECT_LE(text.size(), 51u) << m;  // with its terminator
        EXPECT_EQ(text.find('?'), std::string_view::npos) << m;
    }
}

TEST(EventCreation, InjectedFailureHitsExactlyTheChosenCreation) {
    testing::FailEventCreationAfter(1);
    winapi::HANDLE first = CreateManualEvent(false);
    winapi::SetLastError(0);
    winapi::HANDLE second = CreateManualEvent(true);
    const winapi::DWORD error = winapi::GetLastError();
    winapi::HANDLE third = CreateManualEvent(true);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(second, nullptr);
    EXPECT_EQ(error, winapi::ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_NE(third, nullptr);
    EXPECT_EQ(winapi::WaitForSingleObject(third, 0), winapi::WAIT_OBJECT_0);  // created signalled
    EXPECT_EQ(winapi::WaitForSingleObject(first, 0), winapi::WAIT_TIMEOUT);
    winapi::CloseHandle(first);
    winapi::CloseHandle(third);
}

bool IsClosed(winapi::HANDLE event) {
    return winapi::SetEvent(event) == winapi::FALSE && winapi::GetLastError() == winapi::ERROR_INVALID_HANDLE;
}

TEST(OwnedHandles, EveryWayOfLettingGoClosesTheHandleOnce) {
    winapi::HANDLE first = CreateManualEvent(false);
    winapi::HANDLE second = CreateManualEvent(false);
    {
        UniqueHandle owner(first);
        owner = UniqueHandle(second);  // replacing closes the one held
        EXPECT_TRUE(IsClosed(first));
        EXPECT_FALSE(IsClosed(second));
    }  // and so does going away
    EXPECT_TRUE(IsClosed(second));

    UniqueHandle checked(CreateManualEvent(false));
    const winapi::HANDLE held = checked.get();
    EXPECT_EQ(checked.Close(), winapi::TRUE);
    EXPECT_TRUE(IsClosed(held));
    EXPECT_FALSE(checked);
    // A failed close is reported: there is nothing left to close.
    winapi::SetLastError(0);
    EXPECT_EQ(checked.Close(), winapi::FALSE);
    EXPECT_EQ(winapi::GetLastError(), winapi::ERROR_INVALID_HANDLE);

    UniqueHandle released(CreateManualEvent(false));
    winapi::HANDLE kept = released.release();
    released.reset();
    EXPECT_FALSE(IsClosed(kept));
    winapi::CloseHandle(kept);
}

TEST(OwnedHandles, ADeviceHandleIsNoneWhenInvalid) {
    EXPECT_FALSE(UniqueFileHandle());
    EXPECT_EQ(UniqueFileHandle().get(), winapi::INVALID_HANDLE_VALUE);
    EXPECT_FALSE(UniqueFileHandle(winapi::INVALID_HANDLE_VALUE));
    EXPECT_FALSE(UniqueHandle());
    EXPECT_EQ(UniqueHandle().get(), nullptr);
}

}  // namespace
}  // namespace winseria
