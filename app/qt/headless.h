#pragma once
// Unattended runs (no display, CI, the README's screenshot), driven by the
// environment:
//   TORVANE_SCREENSHOT=path           after the first refresh, save the window
//                                     as a PNG at path, print the path, the grid
//                                     (one row a line, cells tab-separated) and
//                                     the label text on stdout;
//   TORVANE_EXIT_AFTER_SCREENSHOT=1   then close the window, ending the program;
//                                     message boxes are printed on stderr and
//                                     closed at once, since nobody is there to
//                                     close them.
#include <QObject>
#include <QString>

class TfUrzadzenia;

namespace app::qt {

class HeadlessRun final : public QObject {
    Q_OBJECT
public:
    // Does nothing unless TORVANE_SCREENSHOT is set.
    explicit HeadlessRun(TfUrzadzenia& window);

private:
    void TakeScreenshot();
    void PrintWindowText() const;

    TfUrzadzenia& window_;
    QString path_;
    bool exitAfter_ = false;
    bool taken_ = false;
};

}  // namespace app::qt
