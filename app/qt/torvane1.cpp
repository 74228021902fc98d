// torvane1: the program entry. Creates the main window, runs the event loop
// until the window closes, then ends.
#include <QApplication>

#include "app/qt/Unit1.h"
#include "app/qt/headless.h"

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

}  // namespace

int main(int argc, char** argv) {
    TorvaneApplication application(argc, argv);
    fUrzadzenia = new TfUrzadzenia;
    app::qt::HeadlessRun headless(*fUrzadzenia);
    fUrzadzenia->show();
    fUrzadzenia->activateWindow();
    const int exitCode = QApplication::exec();
    delete fUrzadzenia;
    fUrzadzenia = nullptr;
    return exitCode;
}
