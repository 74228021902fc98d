#include "app/win32/win32_view.h"

#include <utility>

#include "app/win32/win32_text.h"

namespace app::win32 {

AutoSizeLabel::AutoSizeLabel(HWND label, int height) : label_(label), height_(height) {}

void AutoSizeLabel::SetText(const std::string& text) {
    text_ = text;
    const std::wstring wide = Wide(text);
    SetWindowTextW(label_, wide.c_str());
    // The width of the text in the label's own font.
    HDC dc = GetDC(label_);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(label_, WM_GETFONT, 0, 0)));
    SIZE extent{};
    GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &extent);
    SelectObject(dc, old);
    ReleaseDC(label_, dc);
    SetWindowPos(label_, nullptr, 0, 0, extent.cx, height_, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(label_, nullptr, TRUE);
}

MessageBoxSink::MessageBoxSink(HWND owner, std::string informationCaption, std::function<void()> aboutToShow)
    : owner_(owner),
      informationCaption_(std::move(informationCaption)),
      aboutToShow_(std::move(aboutToShow)),
      messageBox_([](HWND box, const std::wstring& text, const std::wstring& caption, UINT flags) {
          return MessageBoxW(box, text.c_str(), caption.c_str(), flags);
      }) {}

void MessageBoxSink::SetMessageBoxFunction(MessageBoxFunction function) { messageBox_ = std::move(function); }

void MessageBoxSink::ShowInformation(const std::string& text) {
    Show(owner_, text, informationCaption_, MB_OK | MB_ICONINFORMATION);
}

void MessageBoxSink::ShowError(const std::string& caption, const std::string& text) {
    Show(owner_, text, caption, MB_OK | MB_ICONERROR);
}

void MessageBoxSink::ShowFatal(const std::string& caption, const std::string& text) {
    Show(nullptr, text, caption, MB_TASKMODAL | MB_ICONERROR | MB_OK);
}

void MessageBoxSink::Show(HWND owner, const std::string& text, const std::string& caption, UINT flags) {
    if (aboutToShow_) aboutToShow_();
    messageBox_(owner != nullptr && IsWindow(owner) ? owner : nullptr, Wide(text), Wide(caption), flags);
}

}  // namespace app::win32
