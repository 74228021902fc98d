#pragma once
// The message seam: every modal message the program shows goes through one
// installed sink. The window installs the toolkit's implementation at start-up,
// the console lister one that prints to stderr, tests a recorder.
// All texts are UTF-8.
#include <string>

namespace torvane {

class MessageSink {
public:
    virtual ~MessageSink() = default;
    // A modal information message with a single OK button; returns when dismissed.
    virtual void ShowInformation(const std::string& text) = 0;
    // A modal error message with the error icon, the given caption and an OK
    // button; returns when dismissed. Used for the device layer's status dialog
    // (caption "Error") and for errors that escape an event handler.
    virtual void ShowError(const std::string& caption, const std::string& text) = 0;
    // A task-modal error box with no owner window, shown when the vendor library
    // cannot be loaded; the caller ends the program after it returns.
    virtual void ShowFatal(const std::string& caption, const std::string& text) = 0;
};

// The sink in force. Before any is installed, a sink that writes to stderr.
MessageSink& Messages();
// Installs a sink (not owned; it must outlive its use). nullptr restores the default.
void InstallMessageSink(MessageSink* sink);

// The text of an error box for an error that escaped an event handler: the
// message with a full stop added unless it already ends in one (or is empty).
std::string WithFullStop(std::string message);

}  // namespace torvane
