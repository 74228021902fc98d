#pragma once
// A message sink that records every message as "info:<text>" or
// "<kind>:<caption>:<text>" instead of showing it; installed for its
// lifetime. An optional hook runs inside each error dialog, where a modal
// dialog would run its own event loop.
#include <functional>
#include <string>
#include <vector>

#include "torvane/messages.h"

namespace torvane_test {

class RecordingSink final : public torvane::MessageSink {
public:
    RecordingSink() { torvane::InstallMessageSink(this); }
    ~RecordingSink() override { torvane::InstallMessageSink(nullptr); }
    RecordingSink(const RecordingSink&) = delete;
    RecordingSink& operator=(const RecordingSink&) = delete;

    void ShowInformation(const std::string& text) override { seen.push_back("info:" + text); }
    void ShowError(const std::string& caption, const std::string& text) override {
        seen.push_back("error:" + caption + ":" + text);
        if (onError) onError();
    }
    void ShowFatal(const std::string& caption, const std::string& text) override {
        seen.push_back("fatal:" + caption + ":" + text);
    }

    std::vector<std::string> seen;
    std::function<void()> onError;
};

}  // namespace torvane_test
