#include "app/win32/Unit1.h"

#include <algorithm>
#include <utility>

#include "app/library_port_calls.h"
#include "app/win32/win32_text.h"
#include "devlist/unit2.h"
#include "serial/main_thread.h"
#include "torvane/messages.h"

TfUrzadzenia* fUrzadzenia = nullptr;

namespace {

using app::win32::Wide;

constexpr wchar_t kFormClass[] = L"TfUrzadzenia";
constexpr const char* kCaption = "TORVANE wer. 1.00";
constexpr int kClientWidth = 473;
constexpr int kClientHeight = 201;
constexpr int kStoredRows = 6;
constexpr int kRowHeight = 16;
constexpr int kLabelHeight = 16;
constexpr const wchar_t* kFontFace = L"MS Sans Serif";
constexpr int kFontPixels = 11;
constexpr int kLabelFontPixels = 13;
constexpr int kButtonTop = 168;
constexpr int kButtonHeight = 25;

enum ControlId : int { kGridId = 100, kCloseId, kRefreshId, kCycleId, kOpenPortId, kClosePortId, kLabelId };

HFONT MakeFont(int pixels) {
    return CreateFontW(-pixels, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, kFontFace);
}

void SetFont(HWND control, HFONT font) { SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE); }

// A lowered box frame: shadow on the top and left edges, highlight on the
// bottom and right ones.
void DrawLoweredBox(HDC dc, const RECT& box) {
    const RECT top{box.left, box.top, box.right - 1, box.top + 1};
    const RECT left{box.left, box.top, box.left + 1, box.bottom - 1};
    const RECT bottom{box.left, box.bottom - 1, box.right, box.bottom};
    const RECT right{box.right - 1, box.top, box.right, box.bottom};
    FillRect(dc, &top, GetSysColorBrush(COLOR_BTNSHADOW));
    FillRect(dc, &left, GetSysColorBrush(COLOR_BTNSHADOW));
    FillRect(dc, &bottom, GetSysColorBrush(COLOR_BTNHIGHLIGHT));
    FillRect(dc, &right, GetSysColorBrush(COLOR_BTNHIGHLIGHT));
}

void RegisterFormClass(HINSTANCE instance, WNDPROC procedure) {
    static const bool registered = [&] {
        WNDCLASSEXW cls{};
        cls.cbSize = sizeof cls;
        cls.lpfnWndProc = procedure;
        cls.hInstance = instance;
        cls.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        // The program's own icon (resource 1 of torvane1.exe); a program
        // without one, such as a test, gets the system's default.
        cls.hIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1));
        if (cls.hIcon == nullptr) cls.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
        cls.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
        cls.lpszClassName = kFormClass;
        return RegisterClassExW(&cls) != 0;
    }();
    (void)registered;
}

}  // namespace

namespace app::win32 {

void ShowCurrentException() { app::ShowCurrentException(kApplicationTitle); }

}  // namespace app::win32

class TfUrzadzenia::PresenterView final : public app::WindowView {
public:
    explicit PresenterView(TfUrzadzenia& form) : form_(form) {}

    bool IsActive() const override { return GetActiveWindow() == form_.Handle; }
    bool IsVisible() const override { return IsWindowVisible(form_.Handle) != FALSE; }
    void PostToEventLoop(std::function<void()> call) override { form_.PostCall(std::move(call)); }
    std::string SelectedPortCell() const override {
        const int row = form_.grid_->SelectedRow();
        return row < 0 ? std::string() : form_.grid_->Cell(0, row);
    }
    void CloseWindow() override { DestroyWindow(form_.Handle); }
    std::string ErrorCaption() const override { return app::win32::kApplicationTitle; }
    void RefreshFinished() override {}

private:
    TfUrzadzenia& form_;
};

TfUrzadzenia::TfUrzadzenia(HINSTANCE instance)
    : presenterView_(std::make_unique<PresenterView>(*this)),
      presenter_(std::make_unique<app::WindowPresenter>(*presenterView_, app::LibraryPortCalls(),
                                                        [] { devlist::RefreshDeviceList(); })) {
    RegisterFormClass(instance, &TfUrzadzenia::WindowProc);
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    // The window fits its controls: a client area of 473 x 201, centred on
    // the screen's work area.
    RECT frame{0, 0, kClientWidth, kClientHeight};
    AdjustWindowRectEx(&frame, style, FALSE, 0);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int left = work.left + ((work.right - work.left) - width) / 2;
    const int top = work.top + ((work.bottom - work.top) - height) / 2;
    Handle = CreateWindowExW(0, kFormClass, Wide(kCaption).c_str(), style, left, top, width, height, nullptr,
                             nullptr, instance, this);

    font_ = MakeFont(kFontPixels);
    labelFont_ = MakeFont(kLabelFontPixels);
    CreateControls();
    deviceNotifications_ = std::make_unique<app::win32::DeviceNotifications>(Handle);
    hotplugTimer_ = std::make_unique<app::win32::HotplugTimer>(Handle, kHotplugTimer);

    messageBoxes_ = std::make_unique<app::win32::MessageBoxSink>(Handle, app::win32::kApplicationTitle,
                                                                 [this] { presenter_->MessageShown(); });
    devlist::InstallDeviceListView({grid_.get(), label_.get()});
    torvane::InstallMessageSink(messageBoxes_.get());
    // The serial watcher hands its line events to this (the GUI) thread and
    // waits; the message loop is woken to serve them.
    HWND form = Handle;
    winseria::SetMainThreadWakeHook([form] { PostMessageW(form, kServeMainThreadCalls, 0, 0); });
}

TfUrzadzenia::~TfUrzadzenia() {
    winseria::SetMainThreadWakeHook({});
    if (&torvane::Messages() == messageBoxes_.get()) torvane::InstallMessageSink(nullptr);
    if (devlist::InstalledDeviceListView().grid == grid_.get()) devlist::InstallDeviceListView({});
    grid_.reset();
    deviceNotifications_.reset();
    if (Handle != nullptr && IsWindow(Handle)) {
        SetWindowLongPtrW(Handle, GWLP_USERDATA, 0);
        DestroyWindow(Handle);
    }
    DeleteObject(font_);
    DeleteObject(labelFont_);
}

// Creation order is the tab order: the grid (0), "Zamknij" (1), "Odśwież"
// (2), then the three hidden buttons (3 to 5).
void TfUrzadzenia::CreateControls() {
    SetFont(Handle, font_);
    grid_ = std::make_unique<app::win32::StringGrid>(Handle, kGridId, RECT{8, 8, 8 + 457, 8 + 113},
                                                     std::vector<int>{82, 163, 128, 68}, kStoredRows, kRowHeight);
    sgWersja = grid_->Handle();
    SetFont(sgWersja, font_);
    Bevel1 = RECT{0, 0, 473, 201};
    bOdswiez = MakeButton(kCloseId, "Zamknij", 248, 75, true);
    bRefresh = MakeButton(kRefreshId, "Odśwież", 160, 75, true);
    Bevel2 = RECT{8, 128, 8 + 457, 128 + 33};
    bCycle = MakeButton(kCycleId, "FT_RELOAD", 8, 107, false);
    bOtworzPort = MakeButton(kOpenPortId, "Otwórz port", 360, 89, false);
    bZamknijPort = MakeButton(kClosePortId, "Zamknij port", 360, 89, false);
    Label1 = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 19, 136, 0,
                             kLabelHeight, Handle, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kLabelId)),
                             GetModuleHandleW(nullptr), nullptr);
    SetFont(Label1, labelFont_);
    label_ = std::make_unique<app::win32::AutoSizeLabel>(Label1, kLabelHeight);
}

HWND TfUrzadzenia::MakeButton(int id, const char* caption, int left, int width, bool visible) {
    const DWORD style = WS_CHILD | WS_TABSTOP | BS_PUSHBUTTON | (visible ? WS_VISIBLE : 0);
    HWND button = CreateWindowExW(0, L"BUTTON", Wide(caption).c_str(), style, left, kButtonTop, width, kButtonHeight,
                                  Handle, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                  GetModuleHandleW(nullptr), nullptr);
    SetFont(button, font_);
    return button;
}

void TfUrzadzenia::Show() {
    ShowWindow(Handle, SW_SHOW);
    SetForegroundWindow(Handle);
    UpdateWindow(Handle);
    SetFocus(sgWersja);
}

void TfUrzadzenia::SetRefreshProcedure(std::function<void()> procedure) {
    presenter_->SetRefreshProcedure(std::move(procedure));
}

// The message carries no call: the calls wait in posted_, so that those still
// waiting when the window goes are dropped with it, not leaked.
void TfUrzadzenia::PostCall(std::function<void()> call) {
    std::lock_guard lock(postedMutex_);
    posted_.push_back(std::move(call));
    PostMessageW(Handle, kRunPostedCalls, 0, 0);
}

// One call per message: a call that runs a modal loop lets the others run
// from that loop, in order, as their own messages arrive.
void TfUrzadzenia::RunPostedCalls() {
    std::function<void()> call;
    {
        std::lock_guard lock(postedMutex_);
        if (posted_.empty()) return;
        call = std::move(posted_.front());
        posted_.pop_front();
    }
    call();
}

LRESULT CALLBACK TfUrzadzenia::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* form = reinterpret_cast<TfUrzadzenia*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (form == nullptr || form->Handle == nullptr) return DefWindowProcW(window, message, wParam, lParam);
    // Nothing may unwind through the system's frames.
    try {
        return form->OnMessage(message, wParam, lParam);
    } catch (...) {
        try {
            app::win32::ShowCurrentException();
        } catch (...) {
        }
        return 0;
    }
}

LRESULT TfUrzadzenia::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE) presenter_->Activated();
        return DefWindowProcW(Handle, message, wParam, lParam);
    case kRunPostedCalls:
        RunPostedCalls();
        return 0;
    case kServeMainThreadCalls:
        winseria::ServeMainThreadCalls();
        return 0;
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED) OnCommand(LOWORD(wParam));
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(Handle, &ps);
        PaintBevels(dc);
        EndPaint(Handle, &ps);
        return 0;
    }
    case WM_DEVICECHANGE:
        if (app::win32::IsConverterChange(wParam, lParam) && hotplugTimer_) hotplugTimer_->Changed();
        return TRUE;
    case WM_TIMER:
        if (wParam != kHotplugTimer) return DefWindowProcW(Handle, message, wParam, lParam);
        OnHotplugTimer();
        return 0;
    case WM_DESTROY:
        // Device changes still pending go with the window.
        hotplugTimer_.reset();
        deviceNotifications_.reset();
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(Handle, message, wParam, lParam);
    }
}

// The presenter drops the refresh while the window is hidden, and keeps it
// for after a refresh under way.
void TfUrzadzenia::OnHotplugTimer() {
    if (hotplugTimer_ && hotplugTimer_->Fired()) presenter_->RunHandler([this] { presenter_->HotplugChanged(); });
}

void TfUrzadzenia::PaintBevels(HDC dc) {
    DrawLoweredBox(dc, Bevel1);
    DrawLoweredBox(dc, Bevel2);
}

void TfUrzadzenia::OnCommand(int id) {
    switch (id) {
    case kCloseId: RunHandler(&TfUrzadzenia::bOdswiezClick); break;
    case kRefreshId: RunHandler(&TfUrzadzenia::bRefreshClick); break;
    case kCycleId: RunHandler(&TfUrzadzenia::bCycleClick); break;
    case kOpenPortId: RunHandler(&TfUrzadzenia::bOtworzPortClick); break;
    case kClosePortId: RunHandler(&TfUrzadzenia::bZamknijPortClick); break;
    default: break;
    }
}

void TfUrzadzenia::RunHandler(void (TfUrzadzenia::*handler)()) {
    presenter_->RunHandler([this, handler] { (this->*handler)(); });
}

void TfUrzadzenia::FormShow() { presenter_->FormShow(); }

void TfUrzadzenia::bOdswiezClick() { presenter_->CloseClicked(); }

void TfUrzadzenia::bRefreshClick() { presenter_->RefreshClicked(); }

void TfUrzadzenia::bCycleClick() { presenter_->CycleClicked(); }

void TfUrzadzenia::bOtworzPortClick() { presenter_->OpenPortClicked(); }

void TfUrzadzenia::bZamknijPortClick() { presenter_->ClosePortClicked(); }
