#include "torvane/messages.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class Recorder final : public torvane::MessageSink {
public:
    std::vector<std::string> seen;
    void ShowInformation(const std::string& text) override { seen.push_back("info:" + text); }
    void ShowError(const std::string& caption, const std::string& text) override {
        seen.push_back("error:" + caption + ":" + text);
    }
    void ShowFatal(const std::string& caption, const std::string& text) override {
        seen.push_back("fatal:" + caption + ":" + text);
    }
};

TEST(Messages, InstalledSinkReceivesEveryKindAndUninstallRestoresDefault) {
    Recorder recorder;
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

}  // namespace
