// torvane1: the program entry. Creates the main window, runs the event loop
// until the window closes, then ends.
#include <QApplication>
#include <QDir>
#include <QIcon>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <utility>

#include "app/demo_launch.h"
#include "app/standard_streams.h"
#include "app/window_options.h"
#include "app/qt/Unit1.h"
#include "app/qt/headless.h"
#if TORVANE_HAVE_HOTPLUG
#include "app/linux/udev_event_source.h"
#endif

namespace {

// Errors escaping any event handler end up here rather than in Qt's event
// machinery: they are shown and the program goes on.
class TorvaneApplication final : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (...) {
            app::qt::ShowCurrentException();
        }
        return false;
    }
};

// The program's icon at every size built in (app/qt/CMakeLists.txt), for
// the window manager (_NET_WM_ICON) and the task bar.
QIcon TorvaneIcon() {
    QIcon icon;
    const QDir icons(QStringLiteral(":/icons"));
    for (const QString& name : icons.entryList(QDir::Files)) icon.addFile(icons.filePath(name));
    return icon;
}

#if TORVANE_HAVE_HOTPLUG
// Converters plugged in or removed rebuild the list: one call per burst of
// udev events, once it has been quiet for 200 ms, and at most one a second.
// Without udev (no netlink, say) the window goes without.
void WatchConverters(TfUrzadzenia& window) {
    window.WatchHotplug([](hotplug::HotplugWatcher::Callback notify) {
        return hotplug::StartUdevWatcher(std::move(notify),
                                         hotplug::CoalescingPolicy{std::chrono::milliseconds(1000),
                                                                   std::chrono::milliseconds(200)});
    });
}
#endif

// Prints `text` on standard output: 0, or kWindowExitOutputError with a
// message (none when the reader went away).
int PrintText(const std::string& text) {
    const int error = app::WriteAndFlush(stdout, text);
    app::ReportWriteError(std::cerr, "torvane1", error);
    return error == 0 ? 0 : app::kWindowExitOutputError;
}

// The options that end the program before the toolkit starts (no display
// needed); nothing when the window is to run.
std::optional<int> EndedByCommandLine(const app::WindowCommandLine& line) {
    switch (line.request) {
        case app::WindowCommandLine::Request::Help: return PrintText(app::WindowUsage());
        case app::WindowCommandLine::Request::Version: return PrintText(app::WindowVersion());
        case app::WindowCommandLine::Request::Usage:
            std::cerr << "torvane1: unknown argument: " << app::EscapeCell(line.unknown) << "\n\n" << app::WindowUsage();
            return app::kWindowExitUsage;
        case app::WindowCommandLine::Request::Run: break;
    }
    return std::nullopt;
}

// Qt ends a program whose platform plugin cannot start (no display reached)
// with a fatal message, that is abort(): a core file and status 134. Without
// a platform asked for and without a display named there is none to try.
bool DisplayOrPlatformNamed() {
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return true;
    }
    return false;
}

constexpr char kNoDisplay[] = "torvane1: no display to show the window on";

QtMessageHandler qtHandler = nullptr;

// Installed while the application object is made: a display named but not
// reached (the platform plugin's fatal message) ends the program as no
// display does; everything else goes to Qt's own handler.
void EndWithoutDisplayOnFatal(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type != QtFatalMsg) {
        if (qtHandler != nullptr) qtHandler(type, context, message);
        return;
    }
    std::cerr << kNoDisplay << " (the platform plugin could not start)\n" << std::flush;
    std::_Exit(app::kWindowExitNoDisplay);
}

}  // namespace

int main(int argc, char** argv) {
    app::GuardStandardStreams();
    // Before the toolkit: the command line, then a demo run starts again over the simulated library.
    const app::WindowCommandLine line = app::ParseWindowCommandLine(argc, argv);
    if (const auto ended = EndedByCommandLine(line)) return *ended;
    if (!DisplayOrPlatformNamed()) {
        std::cerr << kNoDisplay << " (neither DISPLAY nor WAYLAND_DISPLAY is set)\n";
        return app::kWindowExitNoDisplay;
    }
    if (const auto ended = app::UseSimulatedLibraryIfAsked(line.demo, argv, "torvane1", std::cerr))
        return *ended;
    qtHandler = qInstallMessageHandler(EndWithoutDisplayOnFatal);
    TorvaneApplication application(argc, argv);
    qInstallMessageHandler(qtHandler);
    QApplication::setWindowIcon(TorvaneIcon());
    fUrzadzenia = new TfUrzadzenia;
    app::qt::HeadlessRun headless(*fUrzadzenia);
#if TORVANE_HAVE_HOTPLUG
    WatchConverters(*fUrzadzenia);
#endif
    fUrzadzenia->show();
    fUrzadzenia->activateWindow();
    const int exitCode = QApplication::exec();
    delete fUrzadzenia;  // stops the hot-plug watcher first
    fUrzadzenia = nullptr;
    return exitCode;
}
