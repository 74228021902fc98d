#include "app/qt/headless.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QPixmap>
#include <QTimer>
#include <cstdio>

#include "app/qt/Unit1.h"
#include "app/window_options.h"

namespace app::qt {

HeadlessRun::HeadlessRun(TfUrzadzenia& window) : window_(window) {
    path_ = qEnvironmentVariable("TORVANE_SCREENSHOT");
    if (path_.isEmpty()) return;
    exitAfter_ = qEnvironmentVariable("TORVANE_EXIT_AFTER_SCREENSHOT") == QLatin1String("1");
    connect(&window_, &TfUrzadzenia::refreshFinished, this, [this] {
        // Once the refresh's rows have been painted.
        if (!taken_) QTimer::singleShot(0, this, &HeadlessRun::TakeScreenshot);
        taken_ = true;
    });
    if (!exitAfter_) return;
    connect(&window_.MessageBoxes(), &QtMessageSink::boxAboutToShow, this, [](QMessageBox* box) {
        std::fprintf(stderr, "[%s] %s\n", app::EscapeCell(box->windowTitle().toStdString()).c_str(),
                     app::EscapeCell(box->text().toStdString()).c_str());
        QMetaObject::invokeMethod(box, &QMessageBox::accept, Qt::QueuedConnection);
    });
}

void HeadlessRun::TakeScreenshot() {
    QDir().mkpath(QFileInfo(path_).absolutePath());
    const bool saved = window_.grab().save(path_, "PNG");
    if (saved) {
        std::printf("Screenshot: %s\n", qPrintable(QFileInfo(path_).absoluteFilePath()));
        PrintWindowText();
    } else {
        std::fprintf(stderr, "torvane1: cannot save the screenshot to %s\n", qPrintable(path_));
    }
    std::fflush(stdout);
    if (!exitAfter_) return;
    if (saved)
        window_.close();
    else
        QCoreApplication::exit(1);
}

// The grid's rows as tab-separated lines, then the status line; a device's
// text is escaped as torvane-list escapes it, so that no string from a
// converter's EEPROM reaches the terminal as a control sequence.
void HeadlessRun::PrintWindowText() const {
    const devlist::Grid& grid = window_.Grid();
    for (int row = 0; row < grid.RowCount(); ++row) {
        std::string line;
        for (int column = 0; column < 4; ++column)
            line += (column ? "\t" : "") + app::EscapeCell(grid.Cell(column, row));
        std::printf("%s\n", line.c_str());
    }
    std::printf("%s\n", app::EscapeCell(window_.StatusLabel().Text()).c_str());
}

}  // namespace app::qt
