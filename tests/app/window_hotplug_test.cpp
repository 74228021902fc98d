// Converters coming and going rebuild the window's list: once per
// notification (or per burst of them), never inside another refresh, and a
// notification that arrives during a refresh gives one refresh after it. The
// device list comes from the simulated vendor library; the watcher is driven
// by injected events.
#include <QtTest>
#include <atomic>
#include <memory>
#include <thread>
#include <utility>

#include "app/qt/Unit1.h"
#include "d2xx/sim/sim_control.h"
#include "devlist/unit2.h"
#include "tests/app/app_test_support.h"
#include "tests/app/manual_event_source.h"
#include "tests/app/window_fixture.h"

namespace {

const char* const kThreeDevices = R"json({
  "devices": [
    {"serial": "FTAA0001", "description": "USB Serial Converter", "com_port": 3},
    {"serial": "FTAA0002", "description": "COM_C", "com_port": 7},
    {"serial": "FTAA0003", "description": "FT232R USB UART", "com_port": -1}
  ]
})json";

using app_test::Cell;
using app_test::kFailingDevice;
using app_test::kOneDevice;
using app_test::LoadScenario;

#if TORVANE_HAVE_HOTPLUG
// An injected event source that tells when the watcher owning it has gone.
class TrackedSource final : public hotplug::DeviceEventSource {
public:
    explicit TrackedSource(std::atomic<bool>& gone) : gone_(gone) {}
    ~TrackedSource() override { gone_ = true; }
    int Wait(std::optional<hotplug::Milliseconds> timeout) override { return events_.Wait(timeout); }
    void Interrupt() override { events_.Interrupt(); }
    void Inject(int events) { events_.Inject(events); }

private:
    hotplug::ManualEventSource events_;
    std::atomic<bool>& gone_;
};
#endif

}  // namespace

class WindowHotplugTest : public app_test::WindowFixture {
    Q_OBJECT

private slots:
    void init() {
#if TORVANE_HAVE_HOTPLUG
        for (std::atomic<bool>& gone : sourceGone_) gone = false;
#endif
        OpenWindow(kThreeDevices);
    }
    void cleanup() { CloseWindows(); }

    void notificationRebuildsTheListOnce_data() {
        QTest::addColumn<int>("how");
        QTest::newRow("slot") << kSlot;
        QTest::newRow("posted on the GUI thread") << kPostedHere;
        QTest::newRow("posted from another thread") << kPostedFromThread;
    }

    void notificationRebuildsTheListOnce() {
        QFETCH(int, how);
        ShowAndWaitForFirstRefresh();
        QCOMPARE(window_->sgWersja->rowCount(), 4);
        LoadScenario(kOneDevice);  // two converters unplugged, one other plugged in
        Notify(how);
        QTRY_COMPARE_WITH_TIMEOUT(refreshes_, 2, 2000);
        QTest::qWait(200);
        QCOMPARE(refreshes_, 2);
        QCOMPARE(window_->sgWersja->rowCount(), 2);
        QCOMPARE(Cell(*window_, 0, 1), QStringLiteral("COM12"));
        QCOMPARE(Cell(*window_, 3, 1), QStringLiteral("FTBB0001"));
        QCOMPARE(deepest_, 1);
    }

    void postedNotificationsJoinUntilServed() {
        ShowAndWaitForFirstRefresh();
        LoadScenario(kOneDevice);
        std::thread watcher([this] {
            for (int i = 0; i < 5; ++i) window_->PostHotplugChanged();
        });
        watcher.join();
        window_->PostHotplugChanged();
        QTRY_COMPARE_WITH_TIMEOUT(refreshes_, 2, 2000);
        QTest::qWait(200);
        QCOMPARE(refreshes_, 2);
        QCOMPARE(Cell(*window_, 0, 1), QStringLiteral("COM12"));
        // Served: the next one is a new request.
        LoadScenario(kThreeDevices);
        window_->PostHotplugChanged();
        QTRY_COMPARE_WITH_TIMEOUT(refreshes_, 3, 2000);
        QCOMPARE(window_->sgWersja->rowCount(), 4);
    }

    // The converter is removed after the running refresh has read the list; the
    // notification arrives inside it (as in a message box's loop).
    void notificationDuringARefreshRunsOneRefreshAfterIt_data() {
        QTest::addColumn<int>("how");
        QTest::addColumn<int>("notifications");
        QTest::newRow("slot") << kSlot << 1;
        QTest::newRow("posted") << kPostedHere << 1;
        QTest::newRow("three, posted and slot") << kMixed << 3;
    }

    void notificationDuringARefreshRunsOneRefreshAfterIt() {
        QFETCH(int, how);
        QFETCH(int, notifications);
        ShowAndWaitForFirstRefresh();
        refreshes_ = 0;
        int rowsAfterFirst = -1;
        CountRefreshes([&] {
            devlist::RefreshDeviceList();
            if (refreshes_ != 1) return;
            rowsAfterFirst = window_->sgWersja->rowCount();
            LoadScenario(kOneDevice);
            for (int i = 0; i < notifications; ++i) Notify(how == kMixed ? i % 2 : how);
            QCoreApplication::processEvents();
            QVERIFY(window_->RefreshRunning());
        });
        window_->bRefresh->click();
        QCOMPARE(rowsAfterFirst, 4);  // the first refresh missed the change
        QTRY_COMPARE_WITH_TIMEOUT(refreshes_, 2, 2000);
        QTest::qWait(200);
        QCOMPARE(refreshes_, 2);
        QCOMPARE(deepest_, 1);
        QVERIFY(!window_->RefreshRunning());
        QCOMPARE(window_->sgWersja->rowCount(), 2);
        QCOMPARE(Cell(*window_, 0, 1), QStringLiteral("COM12"));
    }

    // A device that always fails shows a message on every refresh; the
    // notification delivered while the message is up gives exactly one more
    // round, not a loop of refreshes and messages.
    void notificationDuringAMessageGivesOneMoreRound() {
        LoadScenario(kFailingDevice);
        app_test::BoxCloser boxes(window_->MessageBoxes());
        bool notified = false;
        connect(&window_->MessageBoxes(), &app::qt::QtMessageSink::boxAboutToShow, this, [&] {
            if (!std::exchange(notified, true)) window_->PostHotplugChanged();
        });
        ShowAndWaitForFirstRefresh();
        QTRY_COMPARE_WITH_TIMEOUT(refreshes_, 2, 2000);
        QTRY_VERIFY_WITH_TIMEOUT(window_->isActiveWindow(), 2000);
        QTest::qWait(300);  // room for the loop this guards against
        QCOMPARE(refreshes_, 2);
        QCOMPARE(boxes.shown.size(), std::size_t{2});
        QCOMPARE(deepest_, 1);
    }

    // A message's closing hands activation back to the window, but the
    // activation arrives through the window system, after the refresh that a
    // notification during the message queued. It is still swallowed (no extra
    // refresh); the next activation from outside refreshes again.
    void refreshAfterNotificationKeepsTheOwedActivationSwallowed() {
        app_test::BoxCloser boxes(window_->MessageBoxes());
        ShowAndWaitForFirstRefresh();
        QTRY_VERIFY_WITH_TIMEOUT(window_->isActiveWindow(), 2000);
        QTest::qWait(100);
        refreshes_ = 0;
        CountRefreshes([this] {
            devlist::RefreshDeviceList();
            if (refreshes_ != 1) return;
            window_->MessageBoxes().ShowInformation("Otwarto port 12");
            window_->PostHotplugChanged();
        });
        window_->bRefresh->click();
        QTRY_COMPARE_WITH_TIMEOUT(refreshes_, 2, 2000);
        QCOMPARE(boxes.shown.size(), std::size_t{1});
        QTRY_VERIFY_WITH_TIMEOUT(window_->isActiveWindow(), 2000);  // the late activation
        QTest::qWait(200);
        QCOMPARE(refreshes_, 2);
        ActivateAnotherWindow();
        window_->activateWindow();
        QTRY_COMPARE_WITH_TIMEOUT(refreshes_, 3, 2000);
        QCOMPARE(deepest_, 1);
    }

    void notificationWhileHiddenIsDropped() {
        window_->HotplugChanged();
        window_->PostHotplugChanged();
        QTest::qWait(100);
        QCOMPARE(refreshes_, 0);
        // Showing the window rebuilds the list anyway.
        ShowAndWaitForFirstRefresh();
        QTest::qWait(200);
        QCOMPARE(refreshes_, 1);
        window_->hide();
        window_->HotplugChanged();
        QTest::qWait(100);
        QCOMPARE(refreshes_, 1);
    }

#if TORVANE_HAVE_HOTPLUG
    void watcherBurstRebuildsTheListOnce() {
        ShowAndWaitForFirstRefresh();
        TrackedSource* source = StartInjectedWatcher(sourceGone_[0]);
        QVERIFY(source != nullptr);
        QVERIFY(window_->HotplugWatching());
        // One converter plugged in: the device, its interface, its tty node...
        LoadScenario(kOneDevice);
        source->Inject(1);
        source->Inject(2);
        source->Inject(1);
        QTRY_COMPARE_WITH_TIMEOUT(refreshes_, 2, 2000);
        QTest::qWait(kMinInterval + 2 * kSettle);
        QCOMPARE(refreshes_, 2);
        QCOMPARE(Cell(*window_, 0, 1), QStringLiteral("COM12"));
        // ...and removed again later: one more.
        LoadScenario(kThreeDevices);
        source->Inject(3);
        QTRY_COMPARE_WITH_TIMEOUT(refreshes_, 3, 2000);
        QTest::qWait(kMinInterval + 2 * kSettle);
        QCOMPARE(refreshes_, 3);
        QCOMPARE(window_->sgWersja->rowCount(), 4);
        QCOMPARE(deepest_, 1);
    }

    void windowStopsItsWatcher() {
        ShowAndWaitForFirstRefresh();
        std::atomic<bool>& firstGone = sourceGone_[0];
        std::atomic<bool>& secondGone = sourceGone_[1];
        QVERIFY(StartInjectedWatcher(firstGone) != nullptr);
        QVERIFY(!firstGone);
        // A second watcher replaces the first, which is stopped.
        TrackedSource* second = StartInjectedWatcher(secondGone);
        QVERIFY(second != nullptr);
        QVERIFY(firstGone);
        QVERIFY(!secondGone);
        QVERIFY(window_->HotplugWatching());
        // Events pending when the window goes are dropped with the watcher,
        // and nothing is posted to the window that went.
        second->Inject(1);
        window_.reset();
        QVERIFY(secondGone);
        QTest::qWait(kMinInterval);
    }

    void windowWithoutWatcherStillRefreshes() {
        window_->WatchHotplug([](hotplug::HotplugWatcher::Callback) { return nullptr; });
        QVERIFY(!window_->HotplugWatching());
        ShowAndWaitForFirstRefresh();
        window_->bRefresh->click();
        QCOMPARE(refreshes_, 2);
    }
#endif

private:
    // How a notification reaches the window (a test data column).
    static constexpr int kSlot = 0;
    static constexpr int kPostedHere = 1;
    static constexpr int kPostedFromThread = 2;
    static constexpr int kMixed = 3;  // alternately the slot and a post
    static constexpr int kMinInterval = 300;
    static constexpr int kSettle = 100;

    void Notify(int how) {
        switch (how) {
        case kSlot:
            window_->HotplugChanged();
            break;
        case kPostedHere:
            window_->PostHotplugChanged();
            break;
        default:
            std::thread([this] { window_->PostHotplugChanged(); }).join();
        }
    }

#if TORVANE_HAVE_HOTPLUG
    // Gives the window a watcher over injected events with a short interval;
    // `gone` is set when the watcher (with its source) goes.
    TrackedSource* StartInjectedWatcher(std::atomic<bool>& gone) {
        TrackedSource* source = nullptr;
        window_->WatchHotplug([&](hotplug::HotplugWatcher::Callback notify) {
            auto events = std::make_unique<TrackedSource>(gone);
            source = events.get();
            return std::make_unique<hotplug::HotplugWatcher>(
                std::move(events), std::move(notify),
                hotplug::CoalescingPolicy{hotplug::Milliseconds(kMinInterval), hotplug::Milliseconds(kSettle)});
        });
        return source;
    }
    // Members, not locals: a failed check leaves the watcher to cleanup().
    std::atomic<bool> sourceGone_[2] = {false, false};
#endif
};

QTEST_MAIN(WindowHotplugTest)
#include "window_hotplug_test.moc"
