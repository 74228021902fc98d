// The main window as built: caption, size, controls with their names,
// places, captions and visibility, the grid's properties, tab order, fonts
// and the handlers by name.
#include <QAbstractButton>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QScreen>
#include <QtTest>

#include "app/qt/Unit1.h"
#include "tests/app/app_test_support.h"

class WindowLayoutTest : public QObject {
    Q_OBJECT

private slots:
    // The layout is checked without the device list: activations refresh nothing.
    void init() {
        window_ = std::make_unique<TfUrzadzenia>();
        window_->SetRefreshProcedure([] {});
    }
    void cleanup() { window_.reset(); }

    void captionAndFixedClientSize() {
        QCOMPARE(window_->windowTitle(), QStringLiteral("TORVANE wer. 1.00"));
        QCOMPARE(window_->size(), QSize(473, 201));
        QCOMPARE(window_->minimumSize(), QSize(473, 201));
        QCOMPARE(window_->maximumSize(), QSize(473, 201));
    }

    void centredOnTheScreen() {
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        const QPoint offset = window_->geometry().center() - area.center();
        QVERIFY2(offset.manhattanLength() <= 2, qPrintable(QStringLiteral("off centre by %1,%2")
                                                              .arg(offset.x())
                                                              .arg(offset.y())));
    }

    void buttonFaceBackgroundAndFont() {
        QVERIFY(window_->autoFillBackground());
        QCOMPARE(window_->palette().color(QPalette::Window), window_->palette().color(QPalette::Button));
        QCOMPARE(window_->font().family(), QStringLiteral("MS Sans Serif"));
        QCOMPARE(window_->font().pixelSize(), 11);
        QCOMPARE(window_->Label1->font().family(), QStringLiteral("MS Sans Serif"));
        QCOMPARE(window_->Label1->font().pixelSize(), 13);
        QCOMPARE(window_->bRefresh->font().pixelSize(), 11);
    }

    void controls_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<bool>("hidden");
        QTest::newRow("sgWersja") << "sgWersja" << QRect(8, 8, 457, 113) << QString() << false;
        QTest::newRow("Bevel1") << "Bevel1" << QRect(0, 0, 473, 201) << QString() << false;
        QTest::newRow("Bevel2") << "Bevel2" << QRect(8, 128, 457, 33) << QString() << false;
        QTest::newRow("bCycle") << "bCycle" << QRect(8, 168, 107, 25) << "FT_RELOAD" << true;
        QTest::newRow("bRefresh") << "bRefresh" << QRect(160, 168, 75, 25) << "Odśwież" << false;
        QTest::newRow("bOdswiez") << "bOdswiez" << QRect(248, 168, 75, 25) << "Zamknij" << false;
        QTest::newRow("bOtworzPort") << "bOtworzPort" << QRect(360, 168, 89, 25) << "Otwórz port" << true;
        QTest::newRow("bZamknijPort") << "bZamknijPort" << QRect(360, 168, 89, 25) << "Zamknij port" << true;
    }

    void controls() {
        QFETCH(QString, name);
        QFETCH(QRect, geometry);
        QFETCH(QString, caption);
        QFETCH(bool, hidden);
        window_->show();
        auto* control = window_->findChild<QWidget*>(name);
        QVERIFY2(control != nullptr, qPrintable(name));
        QCOMPARE(control->geometry(), geometry);
        QCOMPARE(control->isHidden(), hidden);
        if (auto* button = qobject_cast<QAbstractButton*>(control)) QCOMPARE(button->text(), caption);
    }

    void fieldsAreTheNamedControls() {
        const std::pair<QWidget*, const char*> fields[] = {
            {window_->sgWersja, "sgWersja"}, {window_->Bevel1, "Bevel1"},   {window_->bOdswiez, "bOdswiez"},
            {window_->bRefresh, "bRefresh"}, {window_->Label1, "Label1"},   {window_->Bevel2, "Bevel2"},
            {window_->bCycle, "bCycle"},     {window_->bOtworzPort, "bOtworzPort"},
            {window_->bZamknijPort, "bZamknijPort"}};
        for (const auto& [widget, name] : fields) {
            QCOMPARE(widget->objectName(), QString::fromLatin1(name));
            QCOMPARE(widget->parentWidget(), window_.get());
        }
    }

    void labelEmptyAtStartAndFitsItsText() {
        QCOMPARE(window_->Label1->text(), QString());
        QCOMPARE(window_->Label1->pos(), QPoint(19, 136));
        QCOMPARE(window_->Label1->height(), 16);
        window_->StatusLabel().SetText("Wersja biblioteki FTD2XX.DLL: 3.01.15");
        QCOMPARE(window_->Label1->text(), QStringLiteral("Wersja biblioteki FTD2XX.DLL: 3.01.15"));
        QCOMPARE(window_->Label1->width(), window_->Label1->sizeHint().width());
        QVERIFY(window_->Label1->width() > 100);
        QCOMPARE(window_->Label1->height(), 16);
        QCOMPARE(window_->Label1->pos(), QPoint(19, 136));
    }

    void bevelsAreLoweredBoxesBeneathTheControls() {
        for (QFrame* bevel : {window_->Bevel1, window_->Bevel2}) {
            QCOMPARE(bevel->frameShape(), QFrame::Box);
            QCOMPARE(bevel->frameShadow(), QFrame::Sunken);
            QVERIFY(bevel->testAttribute(Qt::WA_TransparentForMouseEvents));
        }
        window_->show();
        // A click on a button inside the bevels reaches the button.
        QCOMPARE(window_->childAt(window_->bRefresh->geometry().center()), window_->bRefresh);
        window_->StatusLabel().SetText("Wersja");
        QCOMPARE(window_->childAt(window_->Label1->geometry().center()), window_->Label1);
    }

    void gridShapeAsStored() {
        QTableWidget* grid = window_->sgWersja;
        QCOMPARE(grid->columnCount(), 4);
        QCOMPARE(grid->rowCount(), 6);
        const int widths[] = {82, 163, 128, 68};
        for (int column = 0; column < 4; ++column) QCOMPARE(grid->columnWidth(column), widths[column]);
        for (int row = 0; row < grid->rowCount(); ++row) QCOMPARE(grid->rowHeight(row), 16);
        QVERIFY(grid->horizontalHeader()->isHidden());
        QVERIFY(grid->verticalHeader()->isHidden());
        QCOMPARE(grid->editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(grid->selectionMode(), QAbstractItemView::SingleSelection);
        QCOMPARE(grid->selectionBehavior(), QAbstractItemView::SelectItems);
        QCOMPARE(grid->textElideMode(), Qt::ElideNone);
        QCOMPARE(window_->Grid().FixedRows(), 1);
        QCOMPARE(window_->Grid().SelectedRow(), 1);
        // New rows get the same height.
        window_->Grid().SetRowCount(9);
        QCOMPARE(grid->rowHeight(8), 16);
    }

    void headerRowIsFixedAndCannotBeSelected() {
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        QTableWidget* grid = window_->sgWersja;
        for (int column = 0; column < 4; ++column) {
            const QTableWidgetItem* item = grid->item(0, column);
            QVERIFY(item != nullptr);
            QVERIFY(!(item->flags() & Qt::ItemIsSelectable));
            QVERIFY(!(item->flags() & Qt::ItemIsEditable));
            QCOMPARE(item->background().color(), grid->palette().color(QPalette::Button));
        }
        grid->setCurrentCell(2, 3);
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualItemRect(grid->item(0, 1)).center());
        QVERIFY(grid->currentRow() >= 1);
        QTest::keyClick(grid, Qt::Key_Up);
        QTest::keyClick(grid, Qt::Key_Up);
        QCOMPARE(grid->currentRow(), 1);
        QCOMPARE(window_->Grid().SelectedRow(), 1);
    }

    void cellsCannotBeEdited() {
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        QTableWidget* grid = window_->sgWersja;
        window_->Grid().SetCell(1, 1, "COM_B");
        grid->setCurrentCell(1, 1);
        const QPoint cell = grid->visualItemRect(grid->item(1, 1)).center();
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cell);
        QTest::keyClick(grid, Qt::Key_F2);
        QTest::keyClicks(grid, "x");
        for (const QLineEdit* editor : grid->findChildren<QLineEdit*>()) QVERIFY(!editor->isVisible());
        QCOMPARE(window_->Grid().Cell(1, 1), std::string("COM_B"));
    }

    void selectionFollowsRowCountChanges() {
        window_->sgWersja->setCurrentCell(5, 2);
        window_->Grid().SetRowCount(2);
        QCOMPARE(window_->Grid().SelectedRow(), 1);
        window_->Grid().SetRowCount(1);
        QCOMPARE(window_->Grid().SelectedRow(), -1);
        window_->Grid().SetRowCount(3);
        window_->sgWersja->setCurrentCell(2, 0);
        QCOMPARE(window_->Grid().SelectedRow(), 2);
    }

    void tabOrderFromGridOverTheButtons() {
        const QWidget* expected[] = {window_->sgWersja, window_->bOdswiez,    window_->bRefresh,
                                     window_->bCycle,   window_->bOtworzPort, window_->bZamknijPort};
        // The focus chain also runs through the grid's own inner widgets;
        // the controls must follow each other in this order.
        QList<const QWidget*> chain;
        for (QWidget* w = window_->sgWersja; chain.size() < 6; w = w->nextInFocusChain()) {
            if (std::find(std::begin(expected), std::end(expected), w) != std::end(expected)) chain.append(w);
            if (w->nextInFocusChain() == window_->sgWersja) break;
        }
        QCOMPARE(chain, QList<const QWidget*>(std::begin(expected), std::end(expected)));
        // Tab leaves the grid (its cell stays) for "Zamknij".
        window_->show();
        QVERIFY(QTest::qWaitForWindowActive(window_.get()));
        window_->sgWersja->setFocus();
        window_->sgWersja->setCurrentCell(1, 0);
        QTest::keyClick(window_->sgWersja, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), window_->bOdswiez);
        QCOMPARE(window_->sgWersja->currentColumn(), 0);
        for (QWidget* passive : {static_cast<QWidget*>(window_->Label1), static_cast<QWidget*>(window_->Bevel1),
                                 static_cast<QWidget*>(window_->Bevel2)})
            QCOMPARE(passive->focusPolicy(), Qt::NoFocus);
    }

    void handlersByName() {
        const char* handlers[] = {"FormShow()",    "bOdswiezClick()",    "bRefreshClick()",
                                  "bCycleClick()", "bOtworzPortClick()", "bZamknijPortClick()"};
        const QMetaObject* meta = window_->metaObject();
        QCOMPARE(meta->className(), "TfUrzadzenia");
        for (const char* handler : handlers)
            QVERIFY2(meta->indexOfSlot(QMetaObject::normalizedSignature(handler)) >= 0, handler);
    }

    void ftReloadDoesNothing() {
        window_->show();
        app_test::RecorderSink messages;
        int refreshes = 0;
        window_->SetRefreshProcedure([&] { ++refreshes; });
        window_->Grid().SetCell(0, 1, "COM3");
        window_->bCycle->click();
        QCOMPARE(refreshes, 0);
        QVERIFY(messages.messages.empty());
        QCOMPARE(window_->Grid().Cell(0, 1), std::string("COM3"));
        QVERIFY(window_->isVisible());
    }

private:
    std::unique_ptr<TfUrzadzenia> window_;
};

QTEST_MAIN(WindowLayoutTest)
#include "window_layout_test.moc"
