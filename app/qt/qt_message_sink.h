#pragma once
// The program's modal messages as Qt message boxes. Every box is announced
// through boxAboutToShow just before it runs, so the window can tell which
// messages a refresh showed, and tests (or the headless screenshot run) can
// read and close the boxes.
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QWidget>

#include "torvane/messages.h"



namespace app::qt {

class QtMessageSink final : public QObject, public torvane::MessageSink {
    Q_OBJECT
public:
    // Information and error boxes are modal to `owner` when it is given, and
    // hand activation back to it when they close.
    explicit QtMessageSink(QWidget* owner = nullptr);

    // A modal information box with OK, captioned with the application's name.
    void ShowInformation(const std::string& text) override;
    // A modal critical box with the caption and text, OK only.
    void ShowError(const std::string& caption, const std::string& text) override;
    // A task-modal critical box without an owner window.
    void ShowFatal(const std::string& caption, const std::string& text) override;

signals:
    void boxAboutToShow(QMessageBox* box);

private:
    void Run(QMessageBox& box);

    QPointer<QWidget> owner_;
};

}  // namespace app::qt
