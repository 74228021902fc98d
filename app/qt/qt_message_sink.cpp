#include "app/qt/qt_message_sink.h"

#include <QCoreApplication>
#include <QMessageBox>

namespace app::qt {
namespace {

QString Utf8(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

QtMessageSink::QtMessageSink(QWidget* owner) : owner_(owner) {}

void QtMessageSink::ShowInformation(const std::string& text) {
    QMessageBox box(QMessageBox::Information, QCoreApplication::applicationName(), Utf8(text), QMessageBox::Ok,
                    owner_);
    Run(box);
}

void QtMessageSink::ShowError(const std::string& caption, const std::string& text) {
    QMessageBox box(QMessageBox::Critical, Utf8(caption), Utf8(text), QMessageBox::Ok, owner_);
    Run(box);
}

void QtMessageSink::ShowFatal(const std::string& caption, const std::string& text) {
    QMessageBox box(QMessageBox::Critical, Utf8(caption), Utf8(text), QMessageBox::Ok, nullptr);
    box.setWindowModality(Qt::ApplicationModal);
    Run(box);
}

// Closing a message hands activation back to its owner window, whatever the
// window manager (or its absence) would do: the window relies on that
// activation to rebuild its list after every message.
void QtMessageSink::Run(QMessageBox& box) {
    emit boxAboutToShow(&box);
    box.exec();
    QWidget* owner = box.parentWidget();
    if (owner != nullptr && owner->isVisible()) owner->activateWindow();
}

}  // namespace app::qt
