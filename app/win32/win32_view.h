#pragma once
// The label and the message boxes of the Win32 window.
#include <windows.h>

#include <functional>
#include <string>

#include "devlist/view.h"
#include "torvane/messages.h"

namespace app::win32 {

// A static text control that takes the width of its text, at a fixed height.
class AutoSizeLabel final : public devlist::Label {
public:
    AutoSizeLabel(HWND label, int height);
    void SetText(const std::string& text) override;
    std::string Text() const override { return text_; }

private:
    HWND label_;
    int height_;
    std::string text_;
};

// Shows a message box; MessageBoxW unless a test puts a recorder in its place.
using MessageBoxFunction = std::function<int(HWND owner, const std::wstring& text, const std::wstring& caption,
                                             UINT flags)>;

// The message seam on Win32 message boxes, with the Unicode API: the texts
// arrive as UTF-8 and show as the Polish they are. Information and error
// boxes are modal to the owner window; the fatal box has no owner and is
// task-modal (MB_TASKMODAL | MB_ICONERROR | MB_OK).
class MessageBoxSink final : public torvane::MessageSink {
public:
    // `aboutToShow` runs before every box (the window notes boxes shown
    // during a refresh).
    MessageBoxSink(HWND owner, std::string informationCaption, std::function<void()> aboutToShow);

    void ShowInformation(const std::string& text) override;
    void ShowError(const std::string& caption, const std::string& text) override;
    void ShowFatal(const std::string& caption, const std::string& text) override;

    void SetMessageBoxFunction(MessageBoxFunction function);

private:
    void Show(HWND owner, const std::string& text, const std::string& caption, UINT flags);

    HWND owner_;
    std::string informationCaption_;
    std::function<void()> aboutToShow_;
    MessageBoxFunction messageBox_;
};

}  // namespace app::win32
