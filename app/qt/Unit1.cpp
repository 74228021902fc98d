#include "app/qt/Unit1.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>
#include <utility>

#include "app/library_port_calls.h"
#include "devlist/unit2.h"
#include "serial/main_thread.h"
#include "torvane/messages.h"

TfUrzadzenia* fUrzadzenia = nullptr;

namespace {

constexpr int kClientWidth = 473;
constexpr int kClientHeight = 201;
constexpr int kStoredRows = 6;
constexpr int kColumns = 4;
constexpr int kColumnWidths[kColumns] = {82, 163, 128, 68};
constexpr int kRowHeight = 16;
constexpr int kLabelHeight = 16;
constexpr const char* kFontFamily = "MS Sans Serif";
constexpr int kFontPixels = 11;
constexpr int kLabelFontPixels = 13;

QFont WindowFont(int pixels) {
    QFont font(QString::fromLatin1(kFontFamily));
    font.setPixelSize(pixels);
    return font;
}

template <typename Widget>
Widget* Place(Widget* widget, const char* name, int left, int top, int width, int height) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(left, top, width, height);
    return widget;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption, int left, int width) {
    auto* button = new QPushButton(QString::fromUtf8(caption), parent);
    return Place(button, name, left, 168, width, 25);
}

// A lowered box frame. It is drawn beneath the other controls and lets mouse
// clicks through to them, as a bevel does.
QFrame* MakeBevel(QWidget* parent, const char* name, int left, int top, int width, int height) {
    auto* bevel = new QFrame(parent);
    bevel->setFrameStyle(QFrame::Box | QFrame::Sunken);
    bevel->setLineWidth(1);
    bevel->setMidLineWidth(0);
    bevel->setAttribute(Qt::WA_TransparentForMouseEvents);
    return Place(bevel, name, left, top, width, height);
}

QTableWidget* MakeGrid(QWidget* parent) {
    auto* grid = new QTableWidget(kStoredRows, kColumns, parent);
    grid->horizontalHeader()->hide();
    grid->verticalHeader()->hide();
    grid->verticalHeader()->setMinimumSectionSize(1);
    grid->verticalHeader()->setDefaultSectionSize(kRowHeight);
    grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid->horizontalHeader()->setMinimumSectionSize(1);
    grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    for (int column = 0; column < kColumns; ++column) grid->setColumnWidth(column, kColumnWidths[column]);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setSelectionBehavior(QAbstractItemView::SelectItems);
    grid->setWordWrap(false);
    // Tab leaves the grid for the next control of the window's tab order;
    // the arrow keys move between cells.
    grid->setTabKeyNavigation(false);
    // A string grid clips what does not fit its cell; it adds no ellipsis.
    grid->setTextElideMode(Qt::ElideNone);
    return Place(grid, "sgWersja", 8, 8, 457, 113);
}

}  // namespace

namespace app::qt {

void ShowCurrentException() { app::ShowCurrentException(QCoreApplication::applicationName().toStdString()); }

}  // namespace app::qt

class TfUrzadzenia::PresenterView final : public app::WindowView {
public:
    explicit PresenterView(TfUrzadzenia& window) : window_(window) {}

    bool IsActive() const override { return window_.isActiveWindow(); }
    bool IsVisible() const override { return window_.isVisible(); }
    // Queued with the window as context: a call still queued when the window
    // goes is dropped.
    void PostToEventLoop(std::function<void()> call) override {
        QMetaObject::invokeMethod(&window_, std::move(call), Qt::QueuedConnection);
    }
    std::string SelectedPortCell() const override {
        const int row = window_.grid_->SelectedRow();
        return row < 0 ? std::string() : window_.grid_->Cell(0, row);
    }
    void CloseWindow() override { window_.close(); }
    std::string ErrorCaption() const override { return QCoreApplication::applicationName().toStdString(); }
    void RefreshFinished() override { emit window_.refreshFinished(); }

private:
    TfUrzadzenia& window_;
};

TfUrzadzenia::TfUrzadzenia(QWidget* parent)
    : QWidget(parent),
      messageBoxes_(this),
      presenterView_(std::make_unique<PresenterView>(*this)),
      presenter_(std::make_unique<app::WindowPresenter>(*presenterView_, app::LibraryPortCalls(),
                                                        [] { devlist::RefreshDeviceList(); })) {
    setObjectName(QStringLiteral("fUrzadzenia"));
    setWindowTitle(QStringLiteral("TORVANE wer. 1.00"));
    setFont(WindowFont(kFontPixels));
    QPalette face = palette();
    face.setColor(QPalette::Window, face.color(QPalette::Button));
    setPalette(face);
    setAutoFillBackground(true);
    setFixedSize(kClientWidth, kClientHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(kClientWidth / 2, kClientHeight / 2));

    CreateControls();
    SetTabOrder();
    grid_ = std::make_unique<app::qt::StringGrid>(*sgWersja);
    label_ = std::make_unique<app::qt::AutoSizeLabel>(*Label1, kLabelHeight);
    devlist::InstallDeviceListView({grid_.get(), label_.get()});
    torvane::InstallMessageSink(&messageBoxes_);
    connect(&messageBoxes_, &app::qt::QtMessageSink::boxAboutToShow, this, [this] { presenter_->MessageShown(); });
    WireHandlers();
    // The serial watcher hands its line events to this (the GUI) thread and
    // waits; the event loop is woken to serve them.
    winseria::SetMainThreadWakeHook([this] {
        QMetaObject::invokeMethod(this, [] { winseria::ServeMainThreadCalls(); }, Qt::QueuedConnection);
    });
}

TfUrzadzenia::~TfUrzadzenia() {
#if TORVANE_HAVE_HOTPLUG
    // Joins the watcher thread: no notification is posted to a window that goes.
    hotplugWatcher_.reset();
#endif
    winseria::SetMainThreadWakeHook({});
    if (&torvane::Messages() == &messageBoxes_) torvane::InstallMessageSink(nullptr);
    if (devlist::InstalledDeviceListView().grid == grid_.get()) devlist::InstallDeviceListView({});
}

void TfUrzadzenia::CreateControls() {
    sgWersja = MakeGrid(this);
    Bevel1 = MakeBevel(this, "Bevel1", 0, 0, 473, 201);
    bOdswiez = MakeButton(this, "bOdswiez", "Zamknij", 248, 75);
    bRefresh = MakeButton(this, "bRefresh", "Odśwież", 160, 75);
    Label1 = Place(new QLabel(this), "Label1", 19, 136, 0, kLabelHeight);
    Label1->setFont(WindowFont(kLabelFontPixels));
    Bevel2 = MakeBevel(this, "Bevel2", 8, 128, 457, 33);
    bCycle = MakeButton(this, "bCycle", "FT_RELOAD", 8, 107);
    bOtworzPort = MakeButton(this, "bOtworzPort", "Otwórz port", 360, 89);
    bZamknijPort = MakeButton(this, "bZamknijPort", "Zamknij port", 360, 89);
    // Three buttons exist but are never shown.
    bCycle->hide();
    bOtworzPort->hide();
    bZamknijPort->hide();
    Bevel2->lower();
    Bevel1->lower();
}

void TfUrzadzenia::SetTabOrder() {
    QWidget::setTabOrder(sgWersja, bOdswiez);
    QWidget::setTabOrder(bOdswiez, bRefresh);
    QWidget::setTabOrder(bRefresh, bCycle);
    QWidget::setTabOrder(bCycle, bOtworzPort);
    QWidget::setTabOrder(bOtworzPort, bZamknijPort);
}

void TfUrzadzenia::WireHandlers() {
    const auto wire = [this](QPushButton* button, void (TfUrzadzenia::*handler)()) {
        connect(button, &QPushButton::clicked, this, [this, handler] { RunHandler(handler); });
    };
    wire(bOdswiez, &TfUrzadzenia::bOdswiezClick);
    wire(bRefresh, &TfUrzadzenia::bRefreshClick);
    wire(bCycle, &TfUrzadzenia::bCycleClick);
    wire(bOtworzPort, &TfUrzadzenia::bOtworzPortClick);
    wire(bZamknijPort, &TfUrzadzenia::bZamknijPortClick);
}

void TfUrzadzenia::SetRefreshProcedure(std::function<void()> procedure) {
    presenter_->SetRefreshProcedure(std::move(procedure));
}

// The activation event drives FormShow (through the presenter, which decides
// whether this activation rebuilds the list); the show event does not.
bool TfUrzadzenia::event(QEvent* event) {
    const bool handled = QWidget::event(event);
    if (event->type() == QEvent::WindowActivate) presenter_->Activated();
    return handled;
}

void TfUrzadzenia::RunHandler(void (TfUrzadzenia::*handler)()) {
    presenter_->RunHandler([this, handler] { (this->*handler)(); });
}

void TfUrzadzenia::PostHotplugChanged() { presenter_->PostHotplugChanged(); }

#if TORVANE_HAVE_HOTPLUG
void TfUrzadzenia::WatchHotplug(const HotplugWatcherFactory& start) {
    hotplugWatcher_.reset();
    hotplugWatcher_ = start([this] { PostHotplugChanged(); });
}
#endif

void TfUrzadzenia::HotplugChanged() { presenter_->HotplugChanged(); }

void TfUrzadzenia::FormShow() { presenter_->FormShow(); }

void TfUrzadzenia::bOdswiezClick() { presenter_->CloseClicked(); }

void TfUrzadzenia::bRefreshClick() { presenter_->RefreshClicked(); }

void TfUrzadzenia::bCycleClick() { presenter_->CycleClicked(); }

void TfUrzadzenia::bOtworzPortClick() { presenter_->OpenPortClicked(); }

void TfUrzadzenia::bZamknijPortClick() { presenter_->ClosePortClicked(); }
