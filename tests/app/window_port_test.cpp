// The hidden port buttons: the selected row's port cell is read, trimmed and
// converted, the FTDI device is released, the serial port opened at 9600 and
// closed again, and each outcome reported. Ports are pseudo-terminals linked
// in a temporary TORVANE_PORTS_DIR.
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>
#include <atomic>
#include <thread>

#include "app/qt/Unit1.h"
#include "d2xx/sim/sim_control.h"
#include "devlist/unit2.h"
#include "serial/include/winseria.h"
#include "serial/src/dispatcher.h"
#include "tests/app/app_test_support.h"

namespace {

const char* const kOneDevice = R"json({
  "devices": [{"serial": "FTDD0001", "description": "Port test", "com_port": 12}]
})json";

}  // namespace

class WindowPortTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(portsDir_.isValid());
        qputenv("TORVANE_PORTS_DIR", portsDir_.path().toLocal8Bit());
        pty_ = std::make_unique<app_test::PtyPort>(portsDir_.path(), 12);
        QVERIFY(pty_->Ready());
    }
    void cleanupTestCase() {
        UnInitializePort();
        pty_.reset();
    }

    void init() {
        QCOMPARE(TorvaneSim_LoadScenarioText(kOneDevice), 0);
        window_ = std::make_unique<TfUrzadzenia>();
        sink_ = std::make_unique<app_test::RecorderSink>();
        window_->SetRefreshProcedure([] {});
        window_->Grid().SetRowCount(3);
    }
    void cleanup() {
        UnInitializePort();
        sink_.reset();
        window_.reset();
    }

    void openPortOfTheSelectedRow_data() {
        QTest::addColumn<QString>("cell");
        QTest::addColumn<QString>("message");
        QTest::newRow("COM12") << "COM12" << "Otwarto port 12";
        QTest::newRow("blanks around") << "  COM12\t " << "Otwarto port 12";
        QTest::newRow("low 8 bits") << "COM268" << "Otwarto port 268";
        QTest::newRow("no such port") << "COM99" << "Nie otwarto portu 99";
        QTest::newRow("port 0") << "COM0" << "Nie otwarto portu 0";
        QTest::newRow("no COM port") << "----" << "Niewłasciwy numer portu (-)";
        QTest::newRow("port query failed") << "????" << "Niewłasciwy numer portu (?)";
        QTest::newRow("empty row") << "" << "Niewłasciwy numer portu ()";
        QTest::newRow("blank row") << "   " << "Niewłasciwy numer portu ()";
        QTest::newRow("not a number") << "COMx1" << "Niewłasciwy numer portu (x1)";
        QTest::newRow("out of range") << "COM4294967308" << "Niewłasciwy numer portu (4294967308)";
    }

    void openPortOfTheSelectedRow() {
        QFETCH(QString, cell);
        QFETCH(QString, message);
        window_->Grid().SetCell(0, 1, "COM3");
        window_->Grid().SetCell(0, 2, cell.toStdString());
        window_->sgWersja->setCurrentCell(2, 3);
        window_->bOtworzPort->click();
        QCOMPARE(sink_->messages.size(), std::size_t{1});
        QCOMPARE(sink_->messages[0].kind, std::string("information"));
        QCOMPARE(QString::fromStdString(sink_->messages[0].text), message);
        // Whether the serial library now holds a port: a second open is refused.
        const bool opened = message.startsWith(QStringLiteral("Otwarto"));
        QCOMPARE(InitializePort(12, 9600, 2, 2) == 5, opened);
    }

    void openReleasesTheFtdiDeviceFirst() {
        // A refresh leaves its last device open.
        window_->SetRefreshProcedure([] { devlist::RefreshDeviceList(); });
        window_->bRefresh->click();
        QCOMPARE(window_->Grid().Cell(0, 1), std::string("COM12"));
        QCOMPARE(TorvaneSim_OpenHandleCount(), 1);
        window_->bOtworzPort->click();
        QCOMPARE(TorvaneSim_OpenHandleCount(), 0);
        QCOMPARE(sink_->messages.back().text, std::string("Otwarto port 12"));
    }

    void openClosesThePortOpenedBefore() {
        window_->Grid().SetCell(0, 1, "COM12");
        window_->bOtworzPort->click();
        window_->bOtworzPort->click();
        QCOMPARE(sink_->messages.size(), std::size_t{2});
        QCOMPARE(sink_->messages[1].text, std::string("Otwarto port 12"));
    }

    void closePort() {
        window_->bZamknijPort->click();
        QCOMPARE(sink_->messages.back().text, std::string("Zamknieto port szeregowy"));
        window_->Grid().SetCell(0, 1, "COM12");
        window_->bOtworzPort->click();
        QCOMPARE(sink_->messages.back().text, std::string("Otwarto port 12"));
        window_->bZamknijPort->click();
        QCOMPARE(sink_->messages.size(), std::size_t{3});
        QCOMPARE(sink_->messages.back().text, std::string("Zamknieto port szeregowy"));
        // Closed for real: the port can be opened again.
        QCOMPARE(InitializePort(12, 9600, 2, 2), 0);
    }

    void openPortWithoutADataRow() {
        window_->Grid().SetRowCount(1);
        window_->bOtworzPort->click();
        QCOMPARE(sink_->messages.back().text, std::string("Niewłasciwy numer portu ()"));
    }

    // The serial watcher hands calls to the thread that opened the port and
    // waits; the window's event loop must run them without being asked.
    void serialHandOversAreServedByTheEventLoop() {
        window_->Grid().SetCell(0, 1, "COM12");
        window_->bOtworzPort->click();
        QCOMPARE(sink_->messages.back().text, std::string("Otwarto port 12"));

        std::atomic<bool> ranOnThisThread{false};
        std::atomic<bool> returned{false};
        std::atomic<bool> released{false};
        bool served = false;
        QThread* const guiThread = QThread::currentThread();
        std::thread watcher([&] {
            served = winseria::dispatch::RunOnMainThread(
                [&] { ranOnThisThread = QThread::currentThread() == guiThread; }, released);
            returned = true;
        });
        const bool handedOver = QTest::qWaitFor([&] { return returned.load(); }, 2000);
        released = true;  // frees the thread when the hand-over was never served
        winseria::dispatch::Notify();
        watcher.join();
        QVERIFY(handedOver);
        QVERIFY(served);
        QVERIFY(ranOnThisThread);
    }

private:
    QTemporaryDir portsDir_;
    std::unique_ptr<app_test::PtyPort> pty_;
    std::unique_ptr<TfUrzadzenia> window_;
    std::unique_ptr<app_test::RecorderSink> sink_;
};

QTEST_MAIN(WindowPortTest)
#include "window_port_test.moc"
