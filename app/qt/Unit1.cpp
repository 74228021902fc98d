#include "app/qt/Unit1.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>
#include <exception>
#include <utility>

#include "app/window_texts.h"
#include "d2xx/D2XXUnit.h"
#include "devlist/unit2.h"
#include "serial/include/winseria.h"
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

// The serial library's settings for the open-port button.
constexpr std::uint32_t kPortBaud = 9600;
constexpr std::uint16_t kPortWriteTimeoutSec = 2;
constexpr std::uint16_t kPortReadTimeoutSec = 2;

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
    // A string grid clips what does not fit its cell; it adds no ellipsis.
    grid->setTextElideMode(Qt::ElideNone);
    return Place(grid, "sgWersja", 8, 8, 457, 113);
}

}  // namespace

namespace app::qt {

void ShowCurrentException() {
    std::string message;
    try {
        throw;
    } catch (const std::exception& error) {
        message = error.what();
    } catch (...) {
        message = "Nieznany wyjątek";
    }
    torvane::Messages().ShowError(QCoreApplication::applicationName().toStdString(), app::EscapedErrorText(message));
}

}  // namespace app::qt

TfUrzadzenia::TfUrzadzenia(QWidget* parent)
    : QWidget(parent), messageBoxes_(this), refreshProcedure_([] { devlist::RefreshDeviceList(); }) {
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
    connect(&messageBoxes_, &app::qt::QtMessageSink::boxAboutToShow, this, [this] {
        if (refreshing_) messageDuringRefresh_ = true;
    });
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

void TfUrzadzenia::SetRefreshProcedure(std::function<void()> procedure) { refreshProcedure_ = std::move(procedure); }

// The activation event drives FormShow. The handler runs from the event loop
// rather than inside the activation's delivery, so the modal messages a
// refresh may show never nest inside Qt's own activation bookkeeping. An
// activation that only hands the window back after a message of the running
// refresh closed starts nothing: a device that always fails would otherwise
// bring its messages back for ever.
bool TfUrzadzenia::event(QEvent* event) {
    const bool handled = QWidget::event(event);
    if (event->type() == QEvent::WindowActivate && !refreshing_ && !TakeSwallowedActivation())
        QMetaObject::invokeMethod(this, [this] { RunHandler(&TfUrzadzenia::FormShow); }, Qt::QueuedConnection);
    return handled;
}

bool TfUrzadzenia::TakeSwallowedActivation() { return std::exchange(swallowNextActivation_, false); }

void TfUrzadzenia::RunHandler(void (TfUrzadzenia::*handler)()) {
    try {
        (this->*handler)();
    } catch (...) {
        app::qt::ShowCurrentException();
    }
}

// A refresh never starts inside another one. An error escaping the refresh is
// shown while the refresh still counts as running, so that its box, too,
// gives no new refresh when it closes.
void TfUrzadzenia::RunRefresh() {
    if (refreshing_) return;
    refreshing_ = true;
    messageDuringRefresh_ = false;
    hotplugDuringRefresh_ = false;
    try {
        refreshProcedure_();
    } catch (...) {
        app::qt::ShowCurrentException();
    }
    refreshing_ = false;
    // When the window is active again already, the activation that followed
    // the last message has been delivered (and ignored) during the refresh.
    // Otherwise one is still owed to the last message, of this refresh or of
    // an earlier one (a hot-plug refresh can run before that activation comes).
    if (isActiveWindow())
        swallowNextActivation_ = false;
    else if (messageDuringRefresh_)
        swallowNextActivation_ = true;
    // Converters that came or went while the list was being read may be
    // missing from it: one more refresh, from the event loop.
    if (std::exchange(hotplugDuringRefresh_, false)) PostHotplugChanged();
    emit refreshFinished();
}

// Cleared as the posted call starts: a request arriving during its refresh is
// a new one (and becomes the refresh after it).
void TfUrzadzenia::PostHotplugChanged() {
    if (hotplugPosted_.exchange(true)) return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            hotplugPosted_ = false;
            RunHandler(&TfUrzadzenia::HotplugChanged);
        },
        Qt::QueuedConnection);
}

#if TORVANE_HAVE_HOTPLUG
void TfUrzadzenia::WatchHotplug(const HotplugWatcherFactory& start) {
    hotplugWatcher_.reset();
    hotplugWatcher_ = start([this] { PostHotplugChanged(); });
}
#endif

void TfUrzadzenia::HotplugChanged() {
    if (!isVisible()) return;
    if (refreshing_) {
        hotplugDuringRefresh_ = true;
        return;
    }
    RunRefresh();
}

std::string TfUrzadzenia::SelectedPortCell() const {
    const int row = grid_->SelectedRow();
    return row < 0 ? std::string() : grid_->Cell(0, row);
}

void TfUrzadzenia::FormShow() { RunRefresh(); }

void TfUrzadzenia::bOdswiezClick() { close(); }

void TfUrzadzenia::bRefreshClick() { RunRefresh(); }

void TfUrzadzenia::bCycleClick() {
    // Hidden and without an action.
}

void TfUrzadzenia::bOtworzPortClick() {
    d2xx::Close_USB_Device_Handle();
    UnInitializePort();
    const app::PortRequest request = app::ReadPortRequest(SelectedPortCell());
    if (!request.number) {
        torvane::Messages().ShowInformation(app::BadPortNumberMessage(request.numberText));
        return;
    }
    const bool opened =
        InitializePort(app::PortByte(*request.number), kPortBaud, kPortWriteTimeoutSec, kPortReadTimeoutSec) == 0;
    torvane::Messages().ShowInformation(app::OpenPortMessage(opened, request.numberText));
}

void TfUrzadzenia::bZamknijPortClick() {
    torvane::Messages().ShowInformation(app::ClosePortMessage(UnInitializePort() == 0));
}
