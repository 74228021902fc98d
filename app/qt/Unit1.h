#pragma once
// Unit1: the main window TfUrzadzenia and the program-wide fUrzadzenia.
// The window holds the device grid and status label that the device list
// refresh fills, the close and refresh buttons, and three hidden buttons: one
// that does nothing and two that open and close a serial port.
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QWidget>
#include <functional>
#include <memory>

#include "app/presenter.h"
#include "app/qt/qt_message_sink.h"
#include "app/qt/qt_view.h"
#if TORVANE_HAVE_HOTPLUG
#include "app/linux/hotplug.h"
#endif

class TfUrzadzenia : public QWidget {
    Q_OBJECT
public:
    explicit TfUrzadzenia(QWidget* parent = nullptr);
    ~TfUrzadzenia() override;

    // Controls, in declaration order.
    QTableWidget* sgWersja;
    QFrame* Bevel1;
    QPushButton* bOdswiez;
    QPushButton* bRefresh;
    QLabel* Label1;
    QFrame* Bevel2;
    QPushButton* bCycle;
    QPushButton* bOtworzPort;
    QPushButton* bZamknijPort;

    // The grid and label as the refresh sees them.
    app::qt::StringGrid& Grid() { return *grid_; }
    app::qt::AutoSizeLabel& StatusLabel() { return *label_; }
    // The message sink this window installed; its boxes are modal to the window.
    app::qt::QtMessageSink& MessageBoxes() { return messageBoxes_; }

    // What a refresh runs; RefreshDeviceList unless a test replaces it.
    void SetRefreshProcedure(std::function<void()> procedure);
    bool RefreshRunning() const { return presenter_->Refreshing(); }

    // Converters came or went: asks the GUI thread, through the event loop, to
    // run HotplugChanged. Any thread; this is what a hot-plug watcher calls.
    // Requests made before the posted one has run join it.
    void PostHotplugChanged();
#if TORVANE_HAVE_HOTPLUG
    // Hot-plug watching: `start` makes a watcher that calls the given callback
    // (on its own thread) when converters came or went, or nullptr when it
    // cannot watch. The window keeps the watcher and stops it, joining its
    // thread, before anything else of the window goes. A second call replaces
    // (and first stops) the earlier watcher.
    using HotplugWatcherFactory =
        std::function<std::unique_ptr<hotplug::HotplugWatcher>(hotplug::HotplugWatcher::Callback notify)>;
    void WatchHotplug(const HotplugWatcherFactory& start);
    bool HotplugWatching() const { return hotplugWatcher_ != nullptr; }
#endif

public slots:
    // Event handlers, in declaration order.
    void FormShow();
    void bOdswiezClick();
    void bRefreshClick();
    void bCycleClick();
    void bOtworzPortClick();
    void bZamknijPortClick();
    // Converters came or went: the list is rebuilt once, as by "Odśwież". During
    // a refresh the request is kept and one more refresh runs after it; while
    // the window is hidden it is dropped (showing the window rebuilds the list).
    void HotplugChanged();

signals:
    // After every refresh, whether it ran to its end or not.
    void refreshFinished();

protected:
    bool event(QEvent* event) override;

private:
    // The window as the presenter sees it (defined in Unit1.cpp).
    class PresenterView;

    void CreateControls();
    void SetTabOrder();
    void WireHandlers();
    // Runs an event handler; an error escaping it is shown and the program goes on.
    void RunHandler(void (TfUrzadzenia::*handler)());

    std::unique_ptr<app::qt::StringGrid> grid_;
    std::unique_ptr<app::qt::AutoSizeLabel> label_;
    app::qt::QtMessageSink messageBoxes_;
    // The window's rules: when the list is rebuilt, what the handlers do.
    std::unique_ptr<PresenterView> presenterView_;
    std::unique_ptr<app::WindowPresenter> presenter_;
#if TORVANE_HAVE_HOTPLUG
    // Stopped first in the destructor: the window's parts outlive its thread.
    std::unique_ptr<hotplug::HotplugWatcher> hotplugWatcher_;
#endif
};

// The program's one main window, created at start-up.
extern TfUrzadzenia* fUrzadzenia;

namespace app::qt {
// Shows the exception being handled (call it only inside a catch block) in a
// modal error box captioned with the application's name, with a full stop
// added when its message lacks one.
void ShowCurrentException();
}  // namespace app::qt
