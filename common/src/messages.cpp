#include "torvane/messages.h"

#include <cstdio>

namespace torvane {
namespace {

class StderrSink final : public MessageSink {
public:
    void ShowInformation(const std::string& text) override { Print(text); }
    void ShowError(const std::string&, const std::string& text) override { Print(text); }
    void ShowFatal(const std::string&, const std::string& text) override { Print(text); }

private:
    static void Print(const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); }
};

StderrSink defaultSink;
MessageSink* installed = nullptr;

}  // namespace

MessageSink& Messages() { return installed ? *installed : defaultSink; }

void InstallMessageSink(MessageSink* sink) { installed = sink; }

std::string WithFullStop(std::string message) {
    if (!message.empty() && message.back() != '.') message += '.';
    return message;
}

}  // namespace torvane
