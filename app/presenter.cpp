#include "app/presenter.h"

#include <exception>
#include <utility>

#include "app/window_texts.h"
#include "torvane/messages.h"

namespace app {

std::string CurrentExceptionText() {
    try {
        throw;
    } catch (const std::exception& error) {
        return torvane::WithFullStop(error.what());
    } catch (...) {
        return torvane::WithFullStop("Nieznany wyjątek");
    }
}

void ShowCurrentException(const std::string& caption) {
    torvane::Messages().ShowError(caption, CurrentExceptionText());
}

WindowPresenter::WindowPresenter(WindowView& view, PortCalls ports, std::function<void()> refresh)
    : view_(view), ports_(std::move(ports)), refresh_(std::move(refresh)) {}

// The refresh runs from the event loop rather than inside the activation's
// delivery, so the modal messages it may show never nest inside the
// toolkit's own activation handling. An activation that only hands the
// window back after a message of a refresh starts nothing: a device that
// always fails would otherwise bring its messages back for ever.
void WindowPresenter::Activated() {
    if (refreshing_) return;
    if (std::exchange(swallowNextActivation_, false)) return;
    view_.PostToEventLoop([this] { RunHandler([this] { FormShow(); }); });
}

void WindowPresenter::MessageShown() {
    if (refreshing_) messageDuringRefresh_ = true;
}

// Cleared as the posted call starts: a request arriving during its refresh is
// a new one (and becomes the refresh after it).
void WindowPresenter::PostHotplugChanged() {
    if (hotplugPosted_.exchange(true)) return;
    view_.PostToEventLoop([this] {
        hotplugPosted_ = false;
        RunHandler([this] { HotplugChanged(); });
    });
}

void WindowPresenter::RunHandler(const std::function<void()>& handler) {
    try {
        handler();
    } catch (...) {
        ShowCurrentException(view_.ErrorCaption());
    }
}

void WindowPresenter::SetRefreshProcedure(std::function<void()> procedure) { refresh_ = std::move(procedure); }

// A refresh never starts inside another one. An error escaping the refresh is
// shown while the refresh still counts as running, so that its box, too,
// gives no new refresh when it closes.
void WindowPresenter::RunRefresh() {
    if (refreshing_) return;
    refreshing_ = true;
    messageDuringRefresh_ = false;
    hotplugDuringRefresh_ = false;
    try {
        refresh_();
    } catch (...) {
        ShowCurrentException(view_.ErrorCaption());
    }
    refreshing_ = false;
    NoteActivationOwedAfterRefresh();
    // Converters that came or went while the list was being read may be
    // missing from it: one more refresh, from the event loop.
    if (std::exchange(hotplugDuringRefresh_, false)) PostHotplugChanged();
    view_.RefreshFinished();
}

// When the window is active again already, the activation that followed the
// last message has been delivered (and ignored) during the refresh.
// Otherwise one is still owed to the last message, of this refresh or of an
// earlier one (a hot-plug refresh can run before that activation comes).
void WindowPresenter::NoteActivationOwedAfterRefresh() {
    if (view_.IsActive())
        swallowNextActivation_ = false;
    else if (messageDuringRefresh_)
        swallowNextActivation_ = true;
}

void WindowPresenter::HotplugChanged() {
    if (!view_.IsVisible()) return;
    if (refreshing_) {
        hotplugDuringRefresh_ = true;
        return;
    }
    RunRefresh();
}

void WindowPresenter::FormShow() { RunRefresh(); }

void WindowPresenter::CloseClicked() { view_.CloseWindow(); }

void WindowPresenter::RefreshClicked() { RunRefresh(); }

void WindowPresenter::CycleClicked() {
    // Hidden and without an action.
}

void WindowPresenter::OpenPortClicked() {
    ports_.closeDeviceHandle();
    ports_.uninitializePort();
    const PortRequest request = ReadPortRequest(view_.SelectedPortCell());
    if (!request.number) {
        torvane::Messages().ShowInformation(BadPortNumberMessage(request.numberText));
        return;
    }
    const bool opened =
        ports_.initializePort(PortByte(*request.number), kPortBaud, kPortWriteTimeoutSec, kPortReadTimeoutSec) == 0;
    torvane::Messages().ShowInformation(OpenPortMessage(opened, request.numberText));
}

void WindowPresenter::ClosePortClicked() {
    torvane::Messages().ShowInformation(ClosePortMessage(ports_.uninitializePort() == 0));
}

}  // namespace app
