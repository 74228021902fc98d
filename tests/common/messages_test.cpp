#include "torvane/messages.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/common/recording_sink.h"

namespace {

TEST(Messages, InstalledSinkReceivesEveryKindAndUninstallRestoresDefault) {
    torvane_test::RecordingSink recorder;
    torvane::InstallMessageSink(&recorder);
    torvane::Messages().ShowInformation("a");
    torvane::Messages().ShowError("Error", "b");
    torvane::Messages().ShowFatal("BŁĄD", "c");
    torvane::InstallMessageSink(nullptr);
    testing::internal::CaptureStderr();
    torvane::Messages().ShowInformation("d");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "d\n");
    EXPECT_EQ(recorder.seen, (std::vector<std::string>{"info:a", "error:Error:b", "fatal:BŁĄD:c"}));
}

TEST(WithFullStop, AddsOneUnlessPresentOrEmpty) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"Invalid data type for 'COM3'", "Invalid data type for 'COM3'."},
        {"Zły typ wartości", "Zły typ wartości."},
        {"Question?", "Question?."},
        {"x ", "x ."},
        {"Already ends.", "Already ends."},
        {"Three dots...", "Three dots..."},
        {"", ""},
    };
    for (const auto& [message, shown] : cases) EXPECT_EQ(torvane::WithFullStop(message), shown) << message;
}

}  // namespace
