// When the window rebuilds its list: on activation and on "Odśwież", never
// inside another refresh, and without an endless series of messages when a
// device always fails. Also "Zamknij", errors escaping a handler, and the
// message boxes themselves. The device list comes from the simulated vendor
// library.
#include <QSignalSpy>
#include <QtTest>
#include <stdexcept>

#include "app/qt/Unit1.h"
#include "d2xx/sim/sim_control.h"
#include "devlist/unit2.h"
#include "tests/app/app_test_support.h"
#include "tests/app/window_fixture.h"

namespace {

const char* const kThreeDevices = R"json({
  "library_version": "0x00030115",
  "devices": [
    {"serial": "FTAA0001", "description": "USB Serial Converter", "com_port": 3, "driver_version": "0x00021204"},
    {"serial": "FTAA0002", "description": "COM_C", "com_port": 7, "driver_version": "0x00020C0A"},
    {"serial": "FTAA0003", "description": "FT232R USB UART", "com_port": -1, "driver_version": "0x00021204"}
  ]
})json";

using app_test::Cell;
using app_test::kFailingDevice;
using app_test::kOneDevice;
using app_test::LoadScenario;

}  // namespace

class WindowRefreshTest : public app_test::WindowFixture {
    Q_OBJECT

private slots:
    void init() { OpenWindow(kThreeDevices); }
    void cleanup() { CloseWindows(); }

    void firstActivationFillsTheGrid() {
        ShowAndWaitForFirstRefresh();
        QCOMPARE(window_->sgWersja->rowCount(), 4);
        const QStringList header = {"PORT", "NAZWA", "WERSJA STEROWNIKA", "S/N"};
        for (int column = 0; column < 4; ++column) QCOMPARE(Cell(*window_, column, 0), header[column]);
        QCOMPARE(Cell(*window_, 0, 1), QStringLiteral("COM3"));
        QCOMPARE(Cell(*window_, 1, 1), QStringLiteral("USB Serial Converter     "));
        QCOMPARE(Cell(*window_, 2, 1), QStringLiteral("2.12.04"));
        QCOMPARE(Cell(*window_, 3, 1), QStringLiteral("FTAA0001"));
        QCOMPARE(Cell(*window_, 1, 2), QStringLiteral("KALDORVENTIX   COM_C     "));
        QCOMPARE(Cell(*window_, 0, 3), QStringLiteral("----"));
        QCOMPARE(window_->Label1->text(), QStringLiteral("Wersja biblioteki FTD2XX.DLL: 3.01.15"));
        // The rows the refresh wrote are not the header: they can be selected.
        QVERIFY(window_->sgWersja->item(1, 0)->flags() & Qt::ItemIsSelectable);
    }

    void odswiezRebuildsTheList() {
        ShowAndWaitForFirstRefresh();
        LoadScenario(kOneDevice);
        window_->bRefresh->click();
        QCOMPARE(refreshes_, 2);
        QCOMPARE(window_->sgWersja->rowCount(), 2);
        QCOMPARE(Cell(*window_, 0, 1), QStringLiteral("COM12"));
        QCOMPARE(Cell(*window_, 3, 1), QStringLiteral("FTBB0001"));
        QCOMPARE(window_->Grid().SelectedRow(), 1);
    }

    void everyActivationFromOutsideRebuildsTheList() {
        ShowAndWaitForFirstRefresh();
        for (int round = 2; round <= 3; ++round) {
            ActivateAnotherWindow();
            LoadScenario(round == 2 ? kOneDevice : kThreeDevices);
            window_->activateWindow();
            QTRY_COMPARE_WITH_TIMEOUT(refreshes_, round, 2000);
        }
        QCOMPARE(window_->sgWersja->rowCount(), 4);
        QCOMPARE(Cell(*window_, 3, 3), QStringLiteral("FTAA0003"));
    }

    void noRefreshStartsInsideAnother() {
        window_->SetRefreshProcedure([this] {
            deepest_ = std::max(deepest_, ++depth_);
            ++refreshes_;
            // Everything that normally starts a refresh, from inside one.
            QEvent activate(QEvent::WindowActivate);
            QCoreApplication::sendEvent(window_.get(), &activate);
            window_->bRefresh->click();
            window_->FormShow();
            window_->bRefreshClick();
            QCoreApplication::processEvents();
            devlist::RefreshDeviceList();
            --depth_;
        });
        window_->bRefresh->click();
        QTest::qWait(100);
        QCOMPARE(refreshes_, 1);
        QCOMPARE(deepest_, 1);
        QVERIFY(!window_->RefreshRunning());
        // The real refresh ran once, to its end.
        QCOMPARE(window_->sgWersja->rowCount(), 4);
    }

    void failingDeviceGivesOneRoundOfMessages() {
        LoadScenario(kFailingDevice);
        app_test::BoxCloser boxes(window_->MessageBoxes());
        ShowAndWaitForFirstRefresh();
        QTRY_COMPARE_WITH_TIMEOUT(boxes.shown.size(), std::size_t{1}, 2000);
        QCOMPARE(boxes.shown[0].text, QStringLiteral("Open_USB_Device_By_Serial_Number - Device not found..."));
        QTest::qWait(300);  // room for the loop this guards against
        QCOMPARE(boxes.shown.size(), std::size_t{1});
        QTRY_VERIFY_WITH_TIMEOUT(window_->isActiveWindow(), 2000);  // the activation came back...
        QTest::qWait(100);
        QCOMPARE(refreshes_, 1);  // ...and started nothing

        // "Odśwież" still refreshes: one more round, and again only one.
        window_->bRefresh->click();
        QTRY_VERIFY_WITH_TIMEOUT(window_->isActiveWindow(), 2000);
        QTest::qWait(300);
        QCOMPARE(refreshes_, 2);
        QCOMPARE(boxes.shown.size(), std::size_t{2});

        // And so does an activation from outside.
        ActivateAnotherWindow();
        window_->activateWindow();
        QTRY_COMPARE_WITH_TIMEOUT(refreshes_, 3, 2000);
        QTest::qWait(300);
        QCOMPARE(refreshes_, 3);
        QCOMPARE(boxes.shown.size(), std::size_t{3});
    }

    void messageShownOutsideARefreshRefreshesWhenClosed() {
        app_test::BoxCloser boxes(window_->MessageBoxes());
        ShowAndWaitForFirstRefresh();
        QCOMPARE(boxes.shown.size(), std::size_t{0});
        window_->bZamknijPort->click();
        QCOMPARE(boxes.shown.size(), std::size_t{1});
        QCOMPARE(boxes.shown[0].text, QStringLiteral("Zamknieto port szeregowy"));
        QTRY_COMPARE_WITH_TIMEOUT(refreshes_, 2, 2000);
        QTest::qWait(200);
        QCOMPARE(refreshes_, 2);
    }

    void zamknijClosesTheWindowAndEndsTheProgram() {
        ShowAndWaitForFirstRefresh();
        // The program's event loop ends when "Zamknij" closes the window; a
        // loop still running after 5 s ends with 1 instead.
        QTimer::singleShot(0, window_->bOdswiez, &QPushButton::click);
        QTimer hang;
        hang.setSingleShot(true);
        connect(&hang, &QTimer::timeout, qApp, [] { QCoreApplication::exit(1); });
        hang.start(5000);
        QSignalSpy lastWindowClosed(qApp, &QGuiApplication::lastWindowClosed);
        QCOMPARE(QApplication::exec(), 0);
        QVERIFY(!window_->isVisible());
        QCOMPARE(lastWindowClosed.count(), 1);
    }

    // An empty message: something other than an exception is thrown.
    void errorEscapingAHandlerIsShownWithAFullStop_data() {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::newRow("no full stop") << "Zły typ wartości" << "Zły typ wartości.";
        QTest::newRow("full stop") << "Registry value of the wrong type." << "Registry value of the wrong type.";
        QTest::newRow("unknown kind") << QString() << "Nieznany wyjątek.";
    }

    void errorEscapingAHandlerIsShownWithAFullStop() {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        app_test::RecorderSink sink;
        window_->SetRefreshProcedure([message] {
            if (message.isEmpty()) throw 42;
            throw std::runtime_error(message.toStdString());
        });
        window_->bRefresh->click();
        QCOMPARE(sink.messages.size(), std::size_t{1});
        QCOMPARE(sink.messages[0].kind, std::string("error"));
        QCOMPARE(QString::fromStdString(sink.messages[0].caption), QCoreApplication::applicationName());
        QCOMPARE(QString::fromStdString(sink.messages[0].text), shown);
        // The program goes on: the next refresh runs normally.
        QVERIFY(!window_->RefreshRunning());
        CountRefreshes([] { devlist::RefreshDeviceList(); });
        window_->bRefresh->click();
        QCOMPARE(refreshes_, 1);
        QCOMPARE(Cell(*window_, 0, 1), QStringLiteral("COM3"));
    }

    void throwingRefreshShowsItsErrorOnce() {
        app_test::BoxCloser boxes(window_->MessageBoxes());
        CountRefreshes([] { throw std::runtime_error("Zły typ wartości"); });
        ShowAndWaitForFirstRefresh();
        QTRY_COMPARE_WITH_TIMEOUT(boxes.shown.size(), std::size_t{1}, 2000);
        QTest::qWait(300);
        QCOMPARE(boxes.shown.size(), std::size_t{1});
        QCOMPARE(refreshes_, 1);
        QCOMPARE(boxes.shown[0].icon, QMessageBox::Critical);
        QCOMPARE(boxes.shown[0].text, QStringLiteral("Zły typ wartości."));
    }

    void messageBoxesOfTheQtSink() {
        app_test::BoxCloser boxes(window_->MessageBoxes());
        window_->show();
        QVERIFY(QTest::qWaitForWindowActive(window_.get()));
        window_->MessageBoxes().ShowInformation("Otwarto port 12");
        window_->MessageBoxes().ShowError("Error", "FT_EE_Read  - EEPROM read failed...");
        window_->MessageBoxes().ShowFatal("BŁĄD", "BRAK BIBLIOTEKI FTD2XX.DLL");
        QCOMPARE(boxes.shown.size(), std::size_t{3});

        const app_test::ShownBox& information = boxes.shown[0];
        QCOMPARE(information.icon, QMessageBox::Information);
        QCOMPARE(information.text, QStringLiteral("Otwarto port 12"));
        QCOMPARE(information.caption, QCoreApplication::applicationName());
        QCOMPARE(information.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(information.parent, window_.get());

        const app_test::ShownBox& error = boxes.shown[1];
        QCOMPARE(error.icon, QMessageBox::Critical);
        QCOMPARE(error.caption, QStringLiteral("Error"));
        QCOMPARE(error.text, QStringLiteral("FT_EE_Read  - EEPROM read failed..."));
        QCOMPARE(error.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(error.parent, window_.get());

        const app_test::ShownBox& fatal = boxes.shown[2];
        QCOMPARE(fatal.icon, QMessageBox::Critical);
        QCOMPARE(fatal.caption, QStringLiteral("BŁĄD"));
        QCOMPARE(fatal.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(fatal.parent, static_cast<QWidget*>(nullptr));
        QCOMPARE(fatal.modality, Qt::ApplicationModal);
    }

    void windowInstallsAndRemovesItsSinkAndView() {
        QCOMPARE(&torvane::Messages(), static_cast<torvane::MessageSink*>(&window_->MessageBoxes()));
        QCOMPARE(devlist::InstalledDeviceListView().grid, static_cast<devlist::Grid*>(&window_->Grid()));
        window_.reset();
        QVERIFY(devlist::InstalledDeviceListView().grid == nullptr);
        QVERIFY(dynamic_cast<app::qt::QtMessageSink*>(&torvane::Messages()) == nullptr);
    }
};

QTEST_MAIN(WindowRefreshTest)
#include "window_refresh_test.moc"
