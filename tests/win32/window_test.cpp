// The Win32 window, run under Wine with a display (Xvfb): its layout,
// captions and tab order, the activation refresh and its guards, the error
// box, the port buttons, the grid control, hot-plug, and a real refresh
// against the simulated FTD2XX.DLL beside the test program.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "app/win32/Unit1.h"
#include "app/win32/win32_text.h"
#include "app/window_texts.h"
#include "d2xx/sim/sim_control.h"
#include "devlist/registry.h"
#include "serial/src/dispatcher.h"
#include "tests/win32/device_change_messages.h"

namespace {

using torvane_test::Change;
using torvane_test::SendDeviceChange;

using app::win32::Utf8;

struct Box {
    bool owned;
    std::string text;
    std::string caption;
    UINT flags;
};

std::string WindowText(HWND window) {
    wchar_t buffer[256] = {};
    GetWindowTextW(window, buffer, 256);
    return Utf8(buffer);
}

// A control's rectangle in the form's client coordinates.
RECT ClientBounds(HWND form, HWND control) {
    RECT bounds{};
    GetWindowRect(control, &bounds);
    MapWindowPoints(nullptr, form, reinterpret_cast<POINT*>(&bounds), 2);
    return bounds;
}

LONG FontHeight(HWND control) {
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font, &font);
    return font.lfHeight;
}

std::string TrimRight(std::string text) {
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

class Window : public ::testing::Test {
protected:
    void SetUp() override {
        TorvaneSim_UseBuiltInDemo();
        MakeForm();
    }
    void MakeForm() {
        form_ = new TfUrzadzenia(GetModuleHandleW(nullptr));
        fUrzadzenia = form_;
        form_->MessageBoxes().SetMessageBoxFunction(
            [this](HWND owner, const std::wstring& text, const std::wstring& caption, UINT flags) {
                boxes_.push_back({owner == form_->Handle, Utf8(text), Utf8(caption), flags});
                if (afterBox_) afterBox_();
                return IDOK;
            });
    }
    void TearDown() override {
        delete form_;
        fUrzadzenia = nullptr;
        Pump();
    }

    // Runs the messages waiting for this thread, posted ones included.
    void Pump() {
        for (int round = 0; round < 50; ++round) {
            if (!ServeWaitingMessages() && round > 2) return;
            Sleep(10);
        }
    }
    // The messages waiting now, without waiting for more; whether there were any.
    static bool ServeWaitingMessages() {
        MSG message;
        bool any = false;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            any = true;
            if (message.message == WM_QUIT) continue;
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        return any;
    }

    // What closing a modal box does: the owner becomes active again.
    void ActivateAgain() { SendMessageW(form_->Handle, WM_ACTIVATE, WA_ACTIVE, 0); }

    // Shows the form with a refresh that counts itself, then runs `during`.
    void ShowCountingRefreshes(std::function<void()> during = [] {}) {
        form_->SetRefreshProcedure([this, during] {
            ++refreshes_;
            during();
        });
        form_->Show();
        Pump();
    }

    TfUrzadzenia* form_ = nullptr;
    std::vector<Box> boxes_;
    std::function<void()> afterBox_;
    int refreshes_ = 0;
};

TEST_F(Window, LayoutCaptionsAndFontsAreThoseOfTheStoredForm) {
    form_->SetRefreshProcedure([] {});
    form_->Show();
    Pump();
    EXPECT_EQ(WindowText(form_->Handle), "TORVANE wer. 1.00");
    RECT client{};
    GetClientRect(form_->Handle, &client);
    EXPECT_EQ(client.right, 473);
    EXPECT_EQ(client.bottom, 201);

    const struct {
        HWND control;
        RECT bounds;
        const char* caption;
        bool visible;
    } kControls[] = {
        {form_->sgWersja, {8, 8, 465, 121}, "", true},
        {form_->bOdswiez, {248, 168, 323, 193}, "Zamknij", true},
        {form_->bRefresh, {160, 168, 235, 193}, "Odśwież", true},
        {form_->bCycle, {8, 168, 115, 193}, "FT_RELOAD", false},
        {form_->bOtworzPort, {360, 168, 449, 193}, "Otwórz port", false},
        {form_->bZamknijPort, {360, 168, 449, 193}, "Zamknij port", false},
    };
    for (const auto& c : kControls) {
        SCOPED_TRACE(c.caption);
        const RECT bounds = ClientBounds(form_->Handle, c.control);
        EXPECT_EQ(bounds.left, c.bounds.left);
        EXPECT_EQ(bounds.top, c.bounds.top);
        EXPECT_EQ(bounds.right, c.bounds.right);
        EXPECT_EQ(bounds.bottom, c.bounds.bottom);
        EXPECT_EQ(WindowText(c.control), c.caption);
        EXPECT_EQ(IsWindowVisible(c.control) != FALSE, c.visible);
        EXPECT_EQ(FontHeight(c.control), -11);
    }
    const RECT label = ClientBounds(form_->Handle, form_->Label1);
    EXPECT_EQ(label.left, 19);
    EXPECT_EQ(label.top, 136);
    EXPECT_EQ(label.bottom - label.top, 16);
    EXPECT_EQ(FontHeight(form_->Label1), -13);
    EXPECT_EQ(WindowText(form_->Label1), "");

    EXPECT_EQ(form_->Bevel1.left, 0);
    EXPECT_EQ(form_->Bevel1.right, 473);
    EXPECT_EQ(form_->Bevel1.bottom, 201);
    EXPECT_EQ(form_->Bevel2.top, 128);
    EXPECT_EQ(form_->Bevel2.bottom - form_->Bevel2.top, 33);

    app::win32::StringGrid& grid = form_->Grid();
    EXPECT_EQ(grid.ColumnCount(), 4);
    EXPECT_EQ(grid.RowCount(), 6);
    EXPECT_EQ(grid.FixedRows(), 1);
    EXPECT_EQ(grid.RowHeight(), 16);
    const int widths[] = {82, 163, 128, 68};
    for (int column = 0; column < 4; ++column) EXPECT_EQ(grid.ColumnWidth(column), widths[column]);
}

TEST_F(Window, TabOrderRunsOverTheGridAndTheButtonsInDeclaredOrder) {
    form_->SetRefreshProcedure([] {});
    // Creation order is the tab order: 0 grid, 1 "Zamknij", 2 "Odśwież",
    // 3 to 5 the hidden buttons.
    std::vector<HWND> order;
    for (HWND child = GetWindow(form_->Handle, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        if (GetWindowLongW(child, GWL_STYLE) & WS_TABSTOP) order.push_back(child);
    }
    const std::vector<HWND> expected = {form_->sgWersja, form_->bOdswiez, form_->bRefresh,
                                        form_->bCycle,   form_->bOtworzPort, form_->bZamknijPort};
    EXPECT_EQ(order, expected);
    form_->Show();
    Pump();
    // The hidden buttons are passed over.
    EXPECT_EQ(GetNextDlgTabItem(form_->Handle, form_->sgWersja, FALSE), form_->bOdswiez);
    EXPECT_EQ(GetNextDlgTabItem(form_->Handle, form_->bOdswiez, FALSE), form_->bRefresh);
    EXPECT_EQ(GetNextDlgTabItem(form_->Handle, form_->bRefresh, FALSE), form_->sgWersja);
}

TEST_F(Window, EveryActivationRefreshesTheList) {
    ShowCountingRefreshes();
    EXPECT_EQ(refreshes_, 1);
    SendMessageW(form_->Handle, WM_ACTIVATE, WA_INACTIVE, 0);
    Pump();
    EXPECT_EQ(refreshes_, 1) << "losing activation refreshes nothing";
    ActivateAgain();
    Pump();
    EXPECT_EQ(refreshes_, 2);
    // "Odśwież" refreshes too.
    SendMessageW(form_->Handle, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(form_->bRefresh), BN_CLICKED),
                 reinterpret_cast<LPARAM>(form_->bRefresh));
    EXPECT_EQ(refreshes_, 3);
}

TEST_F(Window, AMessageOfTheRefreshStartsNoNewRefreshWhenItCloses) {
    afterBox_ = [this] { ActivateAgain(); };
    ShowCountingRefreshes([] { torvane::Messages().ShowError("Error", "GetFTDeviceCount - Device not found..."); });
    EXPECT_EQ(refreshes_, 1);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_TRUE(boxes_[0].owned);
    EXPECT_EQ(boxes_[0].caption, "Error");
}

TEST_F(Window, AMessageOutsideARefreshRebuildsTheListWhenItCloses) {
    ShowCountingRefreshes();
    ASSERT_EQ(refreshes_, 1);
    afterBox_ = [this] { ActivateAgain(); };
    form_->bZamknijPortClick();
    Pump();
    EXPECT_EQ(refreshes_, 2);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, app::ClosePortMessage(true));
    EXPECT_EQ(boxes_[0].caption, "torvane1");
}

TEST_F(Window, AnErrorEscapingTheRefreshIsShownWithAFullStopAndTheProgramGoesOn) {
    ShowCountingRefreshes([this] {
        if (refreshes_ == 1) throw devlist::RegistryError("Invalid data type for 'COM5'");
    });
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, "Invalid data type for 'COM5'.");
    EXPECT_EQ(boxes_[0].caption, "torvane1");
    EXPECT_TRUE(boxes_[0].flags & MB_ICONERROR);
    form_->bRefreshClick();
    EXPECT_EQ(refreshes_, 2);
    EXPECT_EQ(boxes_.size(), 1u);
}

TEST_F(Window, RefreshAgainstTheSimulatedLibraryFillsTheGridAndTheLabel) {
    form_->Show();
    Pump();
    app::win32::StringGrid& grid = form_->Grid();
    const char* header[] = {"PORT", "NAZWA", "WERSJA STEROWNIKA", "S/N"};
    for (int column = 0; column < 4; ++column) EXPECT_EQ(grid.Cell(column, 0), header[column]);
    ASSERT_EQ(grid.RowCount(), 4);
    const struct {
        const char* port;
        const char* name;
        const char* serial;
    } kRows[] = {
        {"COM3", "USB Serial Converter", "FT4XK2A1"},
        {"COM7", "KALDORVENTIX   COM_B", "FT7Q0B19"},
        {"----", "FT232R USB UART", "A5003MQZ"},
    };
    for (int row = 1; row <= 3; ++row) {
        SCOPED_TRACE(row);
        EXPECT_EQ(grid.Cell(0, row), kRows[row - 1].port);
        EXPECT_EQ(TrimRight(grid.Cell(1, row)), kRows[row - 1].name);
        EXPECT_EQ(grid.Cell(3, row), kRows[row - 1].serial);
    }
    EXPECT_EQ(grid.Cell(2, 3), "2.0C.0A");
    EXPECT_EQ(form_->StatusLabel().Text(), "Wersja biblioteki FTD2XX.DLL: 3.01.15");
    EXPECT_EQ(WindowText(form_->Label1), "Wersja biblioteki FTD2XX.DLL: 3.01.15");
    const RECT label = ClientBounds(form_->Handle, form_->Label1);
    EXPECT_GT(label.right - label.left, 100) << "the label takes the width of its text";
    EXPECT_TRUE(boxes_.empty());
}

TEST_F(Window, OpenPortButtonReportsABadNumberAndAPortThatCannotBeOpened) {
    form_->SetRefreshProcedure([] {});
    app::win32::StringGrid& grid = form_->Grid();
    grid.SetRowCount(3);
    grid.SetCell(0, 1, "----");
    grid.SetCell(0, 2, "COM200");

    grid.Select(0, 1);
    form_->bOtworzPortClick();
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, app::BadPortNumberMessage(app::ReadPortRequest("----").numberText));

    grid.Select(2, 2);  // any cell of the row: the port is in column 0
    form_->bOtworzPortClick();
    ASSERT_EQ(boxes_.size(), 2u);
    EXPECT_EQ(boxes_[1].text, app::OpenPortMessage(false, "200"));
    EXPECT_EQ(boxes_[1].caption, "torvane1");
}

TEST_F(Window, TheGridSelectsDataCellsOnlyAndScrollsToTheSelection) {
    form_->SetRefreshProcedure([] {});
    app::win32::StringGrid& grid = form_->Grid();
    grid.SetRowCount(1);
    EXPECT_EQ(grid.SelectedRow(), -1) << "no data row";
    grid.SetRowCount(20);
    grid.Select(1, 0);  // a fixed row: ignored
    EXPECT_EQ(grid.SelectedRow(), 1);
    grid.Select(3, 19);
    EXPECT_EQ(grid.SelectedRow(), 19);
    EXPECT_EQ(grid.SelectedColumn(), 3);
    EXPECT_GT(grid.TopRow(), 1) << "the selected row is scrolled into view";
    SendMessageW(grid.Handle(), WM_KEYDOWN, VK_UP, 0);
    EXPECT_EQ(grid.SelectedRow(), 18);
    // A click on the header keeps the selection; a click on a data cell moves it.
    SendMessageW(grid.Handle(), WM_LBUTTONDOWN, 0, MAKELPARAM(10, 5));
    EXPECT_EQ(grid.SelectedRow(), 18);
    grid.Select(0, 1);
    SendMessageW(grid.Handle(), WM_LBUTTONDOWN, 0, MAKELPARAM(90, 17 + 17 + 5));
    EXPECT_EQ(grid.SelectedRow(), 2);
    EXPECT_EQ(grid.SelectedColumn(), 1);
    // Cells outside the grid are neither written nor read.
    grid.SetCell(4, 1, "x");
    grid.SetCell(0, 20, "x");
    EXPECT_EQ(grid.Cell(4, 1), "");
    EXPECT_EQ(grid.Cell(0, 20), "");
    // Shrinking the grid moves the selection onto its last row.
    grid.SetRowCount(3);
    EXPECT_EQ(grid.SelectedRow(), 2);
    // Columns wider than the control (the registry path's): the keys scroll sideways too,
    // until the selected cell is wholly in view.
    for (int column = 0; column < 3; ++column) grid.SetColumnWidth(column, 150);
    RECT client{};
    GetClientRect(grid.Handle(), &client);
    const int lefts[] = {0, 151, 302, 453};  // each column and its 1-pixel line
    const struct {
        WPARAM key;
        int column;
    } keys[] = {{VK_END, 3}, {VK_HOME, 0}, {VK_RIGHT, 1}, {VK_RIGHT, 2}, {VK_RIGHT, 3}, {VK_LEFT, 2}, {VK_LEFT, 1}};
    for (const auto& k : keys) {
        SendMessageW(grid.Handle(), WM_KEYDOWN, k.key, 0);
        ASSERT_EQ(grid.SelectedColumn(), k.column);
        EXPECT_LE(grid.ScrollX(), lefts[k.column]) << k.column;
        EXPECT_GE(grid.ScrollX() + client.right, lefts[k.column] + grid.ColumnWidth(k.column)) << k.column;
    }
    SendMessageW(grid.Handle(), WM_KEYDOWN, VK_HOME, 0);
    EXPECT_EQ(grid.ScrollX(), 0);
}

TEST_F(Window, PolishTextsReachTheMessageBoxesIntact) {
    form_->SetRefreshProcedure([] {});
    torvane::Messages().ShowInformation("Zażółć gęślą jaźń");
    torvane::Messages().ShowFatal("BŁĄD", "BRAK BIBLIOTEKI FTD2XX.DLL");
    ASSERT_EQ(boxes_.size(), 2u);
    EXPECT_EQ(boxes_[0].text, "Zażółć gęślą jaźń");
    EXPECT_TRUE(boxes_[0].owned);
    EXPECT_EQ(boxes_[1].caption, "BŁĄD");
    EXPECT_FALSE(boxes_[1].owned) << "the fatal box has no owner";
    EXPECT_EQ(boxes_[1].flags, static_cast<UINT>(MB_TASKMODAL | MB_ICONERROR | MB_OK));
}

// The serial watcher hands its calls to the GUI thread and waits: the
// window's wake hook posts a message, and the message loop serves the call.
TEST_F(Window, CallsHandedToTheMainThreadRunThereFromTheMessageLoop) {
    form_->SetRefreshProcedure([] {});
    winseria::dispatch::BecomeMainThread();
    const DWORD mainThread = GetCurrentThreadId();
    std::atomic<DWORD> ranOn{0};
    std::atomic<bool> served{false};
    std::atomic<bool> released{false};
    std::thread watcher([&] {
        served = winseria::dispatch::RunOnMainThread([&] { ranOn = GetCurrentThreadId(); }, released);
    });
    // Only the message loop runs here: nothing else serves the queue.
    for (int i = 0; i < 500 && ranOn == 0; ++i) {
        MSG message;
        if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&message);
        } else {
            Sleep(10);
        }
    }
    if (ranOn == 0) {
        released = true;  // let the watcher go before failing
        winseria::dispatch::Notify();
    }
    watcher.join();
    EXPECT_TRUE(served);
    EXPECT_EQ(ranOn, mainThread);
}

// Every refresh asks the simulated library for its version once.
int RefreshesInCallLog() {
    const std::string log = TorvaneSim_CallLog();
    int refreshes = 0;
    for (auto at = log.find("FT_GetLibraryVersion"); at != std::string::npos; at = log.find("FT_GetLibraryVersion", at + 1))
        ++refreshes;
    return refreshes;
}

// A converter plugged in or removed rebuilds the list once per burst, on
// the GUI thread, only while the window is shown; other devices rebuild
// nothing. The burst's changes come back to back, as Windows sends the
// port and the USB device of one converter. An endless stream of changes
// still rebuilds it, at most once a second.
TEST_F(Window, ConvertersPluggedInOrRemovedRebuildTheListOncePerBurst) {
    enum class Then { StaysShown, IsHidden, Closes };
    using std::chrono::milliseconds;
    const struct {
        const char* name;
        std::vector<Change> changes;
        Then window;
        int fewestRefreshes, mostRefreshes;
        milliseconds repeatedFor;  // the changes sent again every 2 ms for this long
    } kCases[] = {
        {"one port arrives", {Change::PortArrived}, Then::StaysShown, 1, 1, milliseconds(0)},
        {"a converter comes and goes",
         {Change::UsbDeviceArrived, Change::PortArrived, Change::PortRemoved, Change::UsbDeviceRemoved,
          Change::UsbDeviceArrived},
         Then::StaysShown,
         1, 1, milliseconds(0)},
        {"other devices", {Change::HidArrived, Change::VolumeArrived, Change::DevnodesChanged}, Then::StaysShown, 0,
         0, milliseconds(0)},
        {"window hidden", {Change::PortArrived, Change::UsbDeviceArrived}, Then::IsHidden, 0, 0, milliseconds(0)},
        {"window closing", {Change::PortArrived}, Then::Closes, 0, 0, milliseconds(0)},
        {"a stream 2 ms apart for 5 s", {Change::PortArrived}, Then::StaysShown, 3, 7, milliseconds(5000)},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        delete form_;
        MakeForm();
        form_->Show();
        Pump();
        TorvaneSim_ClearCallLog();
        if (c.window == Then::IsHidden) ShowWindow(form_->Handle, SW_HIDE);
        for (const Change change : c.changes) SendDeviceChange(form_->Handle, change);
        for (const auto streamEnd = std::chrono::steady_clock::now() + c.repeatedFor;
             std::chrono::steady_clock::now() < streamEnd;) {
            ServeWaitingMessages();
            Sleep(2);
            for (const Change change : c.changes) SendDeviceChange(form_->Handle, change);
        }
        if (c.window == Then::Closes) DestroyWindow(form_->Handle);
        // Long enough for the burst's refresh and for a second one, if the
        // window wrongly gave one, a second later.
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
        while (std::chrono::steady_clock::now() < end) Pump();
        const int refreshes = RefreshesInCallLog();
        EXPECT_GE(refreshes, c.fewestRefreshes);
        EXPECT_LE(refreshes, c.mostRefreshes);
    }
}

}  // namespace
