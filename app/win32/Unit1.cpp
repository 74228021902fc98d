#include "app/win32/Unit1.h"

#include <exception>
#include <utility>

#include "app/win32/win32_text.h"
#include "app/window_texts.h"
#include "d2xx/D2XXUnit.h"
#include "devlist/unit2.h"
#include "serial/include/winseria.h"
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

// The serial library's settings for the open-port button.
constexpr std::uint32_t kPortBaud = 9600;
constexpr std::uint16_t kPortWriteTimeoutSec = 2;
constexpr std::uint16_t kPortReadTimeoutSec = 2;

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
        cls.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
        cls.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
        cls.lpszClassName = kFormClass;
        return RegisterClassExW(&cls) != 0;
    }();
    (void)registered;
}

}  // namespace

namespace app::win32 {

void ShowCurrentException() {
    std::string message;
    try {
        throw;
    } catch (const std::exception& error) {
        message = error.what();
    } catch (...) {
        message = "Nieznany wyjątek";
    }
    torvane::Messages().ShowError(kApplicationTitle, app::EscapedErrorText(message));
}

}  // namespace app::win32

TfUrzadzenia::TfUrzadzenia(HINSTANCE instance) : refreshProcedure_([] { devlist::RefreshDeviceList(); }) {
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

    messageBoxes_ = std::make_unique<app::win32::MessageBoxSink>(Handle, app::win32::kApplicationTitle, [this] {
        if (refreshing_) messageDuringRefresh_ = true;
    });
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

void TfUrzadzenia::SetRefreshProcedure(std::function<void()> procedure) { refreshProcedure_ = std::move(procedure); }

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
        OnActivate(LOWORD(wParam) != WA_INACTIVE);
        return DefWindowProcW(Handle, message, wParam, lParam);
    case kRunFormShow:
        RunHandler(&TfUrzadzenia::FormShow);
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
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(Handle, message, wParam, lParam);
    }
}

void TfUrzadzenia::PaintBevels(HDC dc) {
    DrawLoweredBox(dc, Bevel1);
    DrawLoweredBox(dc, Bevel2);
}

// The activation runs FormShow from the message loop rather than inside the
// activation's delivery, so the modal messages a refresh may show never nest
// inside the system's activation handling. While a refresh runs, activations
// start nothing: closing a message of that refresh activates the window
// again, and a device that always fails would otherwise bring its messages
// back for ever.
void TfUrzadzenia::OnActivate(bool active) {
    if (!active || refreshing_) return;
    if (std::exchange(swallowNextActivation_, false)) return;
    PostMessageW(Handle, kRunFormShow, 0, 0);
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
    try {
        (this->*handler)();
    } catch (...) {
        app::win32::ShowCurrentException();
    }
}

// A refresh never starts inside another one. An error escaping the refresh is
// shown while the refresh still counts as running, so that its box, too,
// gives no new refresh when it closes.
void TfUrzadzenia::RunRefresh() {
    if (refreshing_) return;
    refreshing_ = true;
    messageDuringRefresh_ = false;
    try {
        refreshProcedure_();
    } catch (...) {
        app::win32::ShowCurrentException();
    }
    refreshing_ = false;
    // When the window is not active yet, the activation that follows the
    // last message is still to come: it belongs to this refresh.
    swallowNextActivation_ = messageDuringRefresh_ && GetActiveWindow() != Handle;
}

std::string TfUrzadzenia::SelectedPortCell() const {
    const int row = grid_->SelectedRow();
    return row < 0 ? std::string() : grid_->Cell(0, row);
}

void TfUrzadzenia::FormShow() { RunRefresh(); }

void TfUrzadzenia::bOdswiezClick() { DestroyWindow(Handle); }

void TfUrzadzenia::bRefreshClick() { RunRefresh(); }

void TfUrzadzenia::bCycleClick() {
    // Hidden and without an action.
}

void TfUrzadzenia::bOtworzPortClick() {
    d2xx::Close_USB_Device_Handle();
    UnInitializePort();
    const app::PortRequest request = app::ReadPortRequest(SelectedPortCell());
    if (!request.number) {
        torvane::Messages().ShowInformation(app::BadPortNumberMessage(request.numberText));
        return;
    }
    const bool opened =
        InitializePort(app::PortByte(*request.number), kPortBaud, kPortWriteTimeoutSec, kPortReadTimeoutSec) == 0;
    torvane::Messages().ShowInformation(app::OpenPortMessage(opened, request.numberText));
}

void TfUrzadzenia::bZamknijPortClick() {
    torvane::Messages().ShowInformation(app::ClosePortMessage(UnInitializePort() == 0));
}
