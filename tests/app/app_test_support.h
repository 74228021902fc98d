#pragma once
// Helpers for the window tests: a recording message sink, a closer for real
// message boxes, and a pseudo-terminal linked as a COM port.
#include <QMessageBox>
#include <QObject>
#include <QString>
#include <string>
#include <vector>

#include "app/qt/qt_message_sink.h"
#include "torvane/messages.h"

namespace app_test {

// Records every message instead of showing it; installs itself for its lifetime.
class RecorderSink final : public torvane::MessageSink {
public:
    struct Message {
        std::string kind;  // "information", "error" or "fatal"
        std::string caption;
        std::string text;
    };

    RecorderSink() { torvane::InstallMessageSink(this); }
    ~RecorderSink() override { torvane::InstallMessageSink(nullptr); }
    RecorderSink(const RecorderSink&) = delete;
    RecorderSink& operator=(const RecorderSink&) = delete;

    void ShowInformation(const std::string& text) override { messages.push_back({"information", "", text}); }
    void ShowError(const std::string& caption, const std::string& text) override {
        messages.push_back({"error", caption, text});
    }
    void ShowFatal(const std::string& caption, const std::string& text) override {
        messages.push_back({"fatal", caption, text});
    }

    std::vector<Message> messages;
};

// What a real box looked like while it was up.
struct ShownBox {
    QString caption;
    QString text;
    QMessageBox::Icon icon;
    QMessageBox::StandardButtons buttons;
    QWidget* parent;
    Qt::WindowModality modality;
};

// Closes every box of a Qt sink as soon as its modal loop runs, recording it.
class BoxCloser final : public QObject {
public:
    explicit BoxCloser(app::qt::QtMessageSink& sink) {
        connect(&sink, &app::qt::QtMessageSink::boxAboutToShow, this, [this](QMessageBox* box) {
            shown.push_back({box->windowTitle(), box->text(), box->icon(), box->standardButtons(),
                             box->parentWidget(), box->windowModality()});
            QMetaObject::invokeMethod(box, &QMessageBox::accept, Qt::QueuedConnection);
        });
    }
    std::vector<ShownBox> shown;
};

// A pseudo-terminal whose slave side is port `number`: the link com<number>
// in `portsDir`, the directory TORVANE_PORTS_DIR names. The link goes with it.
class PtyPort {
public:
    PtyPort(const QString& portsDir, int number);
    ~PtyPort();
    PtyPort(const PtyPort&) = delete;
    PtyPort& operator=(const PtyPort&) = delete;

    bool Ready() const { return master_ >= 0; }

private:
    QString link_;
    int master_ = -1;
};

}  // namespace app_test
