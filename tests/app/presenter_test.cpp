// The main window's rules, shared by the Qt and Win32 views, against a fake
// view: when activations, "Odśwież" and hot-plug notifications rebuild the
// list, the swallowed activation after a refresh's message, the port buttons'
// calls and messages, and errors escaping a handler.
#include "app/presenter.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "app/window_texts.h"
#include "torvane/messages.h"

namespace {

// The window: its active and visible state, and an event loop that runs the
// posted calls only when the test says so.
class FakeView final : public app::WindowView {
public:
    bool IsActive() const override { return active; }
    bool IsVisible() const override { return visible; }
    void PostToEventLoop(std::function<void()> call) override { posted.push_back(std::move(call)); }
    std::string SelectedPortCell() const override { return portCell; }
    void CloseWindow() override { ++closes; }
    std::string ErrorCaption() const override { return "torvane1"; }
    void RefreshFinished() override { ++refreshesFinished; }

    // Runs posted calls, those posted meanwhile included, until none is left.
    void RunEventLoop() {
        while (!posted.empty()) {
            std::function<void()> call = std::move(posted.front());
            posted.pop_front();
            call();
        }
    }

    bool active = true;
    bool visible = true;
    std::string portCell;
    std::deque<std::function<void()>> posted;
    int closes = 0;
    int refreshesFinished = 0;
};

// When the window gets activation back after a modal box closes.
enum class HandBack {
    kAtOnce,  // as the box closes, while the code that showed it still runs
    kLater,   // only after the code that showed the box has returned
};

struct Message {
    std::string caption;  // empty for information boxes
    std::string text;
};

// The message boxes: each takes activation from the window while it is up and
// hands it back as it closes, as the views' boxes do.
class FakeBoxes final : public torvane::MessageSink {
public:
    FakeBoxes(FakeView& view, app::WindowPresenter& presenter) : view_(view), presenter_(presenter) {}

    void ShowInformation(const std::string& text) override { Show({"", text}); }
    void ShowError(const std::string& caption, const std::string& text) override { Show({caption, text}); }
    void ShowFatal(const std::string& caption, const std::string& text) override { Show({caption, text}); }

    HandBack handBack = HandBack::kAtOnce;
    std::vector<Message> shown;

private:
    void Show(Message message) {
        presenter_.MessageShown();
        shown.push_back(std::move(message));
        view_.active = false;
        if (handBack == HandBack::kAtOnce) {
            view_.active = true;
            presenter_.Activated();
        }
    }

    FakeView& view_;
    app::WindowPresenter& presenter_;
};

struct PortCall {
    std::string what;
    std::uint8_t port = 0;
    std::uint32_t baud = 0;
    std::uint16_t writeTimeoutSec = 0;
    std::uint16_t readTimeoutSec = 0;
    bool operator==(const PortCall&) const = default;
};
void PrintTo(const PortCall& call, std::ostream* os) {
    *os << call.what;
    if (call.what == "InitializePort")
        *os << "(" << int(call.port) << ", " << call.baud << ", " << call.writeTimeoutSec << ", "
            << call.readTimeoutSec << ")";
}

class Presenter : public testing::Test {
protected:
    Presenter() { torvane::InstallMessageSink(&boxes_); }
    ~Presenter() override { torvane::InstallMessageSink(nullptr); }

    app::PortCalls RecordingPortCalls() {
        app::PortCalls calls;
        calls.closeDeviceHandle = [this] { portCalls_.push_back({"Close_USB_Device_Handle"}); };
        calls.uninitializePort = [this] {
            portCalls_.push_back({"UnInitializePort"});
            return uninitializeResult_;
        };
        calls.initializePort = [this](std::uint8_t port, std::uint32_t baud, std::uint16_t write,
                                      std::uint16_t read) {
            portCalls_.push_back({"InitializePort", port, baud, write, read});
            return initializeResult_;
        };
        return calls;
    }

    // The user activates the window from outside; the event loop then runs.
    void ActivateFromOutside() {
        view_.active = true;
        presenter_.Activated();
        view_.RunEventLoop();
    }
    void Deactivate() { view_.active = false; }
    // The activation owed to a box that closed after its refresh had ended.
    void DeliverLateActivation() { ActivateFromOutside(); }

    FakeView view_;
    std::vector<PortCall> portCalls_;
    std::int32_t uninitializeResult_ = 0;
    std::int32_t initializeResult_ = 0;
    int refreshes_ = 0;
    app::WindowPresenter presenter_{view_, RecordingPortCalls(), [this] { ++refreshes_; }};
    FakeBoxes boxes_{view_, presenter_};
};

// --- Activation and refresh -------------------------------------------------

TEST_F(Presenter, ActivationRefreshesFromTheEventLoopNotInsideItsDelivery) {
    view_.active = true;
    presenter_.Activated();
    EXPECT_EQ(refreshes_, 0);
    ASSERT_EQ(view_.posted.size(), 1u);
    view_.RunEventLoop();
    EXPECT_EQ(refreshes_, 1);
    EXPECT_EQ(view_.refreshesFinished, 1);
    EXPECT_FALSE(presenter_.Refreshing());
}

TEST_F(Presenter, EveryActivationAndEveryRefreshPressRebuildsTheList) {
    ActivateFromOutside();
    Deactivate();
    ActivateFromOutside();
    presenter_.RunHandler([this] { presenter_.RefreshClicked(); });
    presenter_.FormShow();
    EXPECT_EQ(refreshes_, 4);
    EXPECT_EQ(view_.refreshesFinished, 4);
    EXPECT_TRUE(boxes_.shown.empty());
}

// What a refresh does when it runs: the same sequence of user actions is
// played against each, and the number of refreshes and boxes compared.
struct SequenceCase {
    const char* name;
    HandBack handBack;
    // What the refresh does on its n-th run (1-based).
    std::function<void(app::WindowPresenter&, FakeView&, int run)> refresh;
    // The user's actions, one letter each: 'A' activation from outside (with
    // the event loop run after it), 'D' deactivation, 'R' "Odśwież", 'H' a
    // hot-plug notification (and the event loop), 'h' hide, 's' show.
    const char* actions;
    int refreshes;
    int boxes;
};
void PrintTo(const SequenceCase& c, std::ostream* os) { *os << c.name; }

void FailingDevice(app::WindowPresenter&, FakeView&, int) {
    torvane::Messages().ShowError("Error", "GetFTDeviceCount - Device not found...");
}

const SequenceCase kSequences[] = {
    {"QuietRefreshEveryActivation", HandBack::kAtOnce, [](auto&, auto&, int) {}, "ADADA", 3, 0},
    // The activation the closing box gives back arrives during the refresh
    // and is ignored: one round of messages per activation from outside.
    {"FailingDeviceBoxHandsBackAtOnce", HandBack::kAtOnce, FailingDevice, "A", 1, 1},
    {"FailingDeviceOneRoundPerOutsideActivation", HandBack::kAtOnce, FailingDevice, "ADADA", 3, 3},
    // The activation arrives after the refresh: it is swallowed, the next one
    // from outside is not.
    {"FailingDeviceLateActivationSwallowed", HandBack::kLater, FailingDevice, "AA", 1, 1},
    {"FailingDeviceNextOutsideActivationRefreshes", HandBack::kLater, FailingDevice, "AADA", 2, 2},
    {"RefreshPressAlwaysRefreshes", HandBack::kLater, FailingDevice, "ARR", 3, 3},
    {"ErrorEscapingTheRefreshShownOnce", HandBack::kLater,
     [](auto&, auto&, int) { throw std::runtime_error("Zły typ wartości"); }, "AA", 1, 1},
    {"MessageOnlyOnFirstRunSwallowsOnce", HandBack::kLater,
     [](auto& p, auto& v, int run) {
         if (run == 1) FailingDevice(p, v, run);
     },
     "AAA", 2, 1},
    // Nothing nests: handlers and activations inside a refresh start nothing;
    // only the hot-plug request is kept, for one refresh after it.
    {"NoRefreshInsideARefresh", HandBack::kAtOnce,
     [](app::WindowPresenter& p, FakeView& v, int run) {
         if (run != 1) return;
         p.RefreshClicked();
         p.FormShow();
         p.HotplugChanged();
         v.active = true;
         p.Activated();
         v.RunEventLoop();
     },
     "A", 2, 0},
    // Hot-plug.
    {"HotplugRefreshesOnce", HandBack::kAtOnce, [](auto&, auto&, int) {}, "AHH", 3, 0},
    {"HotplugWhileHiddenDoesNothing", HandBack::kAtOnce, [](auto&, auto&, int) {}, "AhHHs", 1, 0},
    {"HotplugDuringRefreshGivesOneFollowUp", HandBack::kAtOnce,
     [](app::WindowPresenter& p, FakeView&, int run) {
         if (run != 1) return;
         for (int i = 0; i < 3; ++i) p.PostHotplugChanged();
         p.HotplugChanged();
     },
     "A", 2, 0},
    // A notification during a failing device's message gives one more round,
    // and the late activation is still swallowed after it.
    {"HotplugDuringFailingMessageOneMoreRound", HandBack::kLater,
     [](app::WindowPresenter& p, FakeView& v, int run) {
         if (run == 1) p.PostHotplugChanged();
         FailingDevice(p, v, run);
     },
     "AA", 2, 2},
    // A hot-plug refresh that ends inactive without a message keeps the
    // activation owed to the earlier message swallowed.
    {"QuietHotplugRefreshKeepsTheOwedActivation", HandBack::kLater,
     [](app::WindowPresenter& p, FakeView& v, int run) {
         if (run == 1) FailingDevice(p, v, run);
     },
     "AHA", 2, 1},
};

class Sequence : public Presenter, public testing::WithParamInterface<SequenceCase> {};

TEST_P(Sequence, GivesTheExpectedRefreshesAndBoxes) {
    const SequenceCase& c = GetParam();
    boxes_.handBack = c.handBack;
    int runs = 0;
    presenter_.SetRefreshProcedure([&] {
        ++refreshes_;
        EXPECT_TRUE(presenter_.Refreshing());
        c.refresh(presenter_, view_, ++runs);
    });
    for (const char* action = c.actions; *action != '\0'; ++action) {
        switch (*action) {
        case 'A': ActivateFromOutside(); break;
        case 'D': Deactivate(); break;
        case 'R': presenter_.RunHandler([this] { presenter_.RefreshClicked(); }); break;
        case 'H':
            presenter_.PostHotplugChanged();
            view_.RunEventLoop();
            break;
        case 'h': view_.visible = false; break;
        case 's': view_.visible = true; break;
        default: FAIL() << "unknown action " << *action;
        }
    }
    EXPECT_EQ(refreshes_, c.refreshes);
    EXPECT_EQ(view_.refreshesFinished, c.refreshes);
    EXPECT_EQ(static_cast<int>(boxes_.shown.size()), c.boxes);
    EXPECT_FALSE(presenter_.Refreshing());
    EXPECT_TRUE(view_.posted.empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, Sequence, testing::ValuesIn(kSequences),
                         [](const testing::TestParamInfo<SequenceCase>& info) { return info.param.name; });

TEST_F(Presenter, ActivationAlreadyBackAtTheEndOfARefreshSwallowsNothing) {
    boxes_.handBack = HandBack::kLater;
    presenter_.SetRefreshProcedure([this] {
        ++refreshes_;
        FailingDevice(presenter_, view_, refreshes_);
        view_.active = true;  // the box's activation came back before the refresh ended
    });
    ActivateFromOutside();
    Deactivate();
    ActivateFromOutside();
    EXPECT_EQ(refreshes_, 2);
}

TEST_F(Presenter, ActiveWindowAtTheEndOfAHotplugRefreshClearsTheOwedActivation) {
    boxes_.handBack = HandBack::kLater;
    presenter_.SetRefreshProcedure([this] {
        if (++refreshes_ == 1) FailingDevice(presenter_, view_, refreshes_);
    });
    ActivateFromOutside();  // refresh 1, its box's activation is owed
    view_.active = true;    // ... and came back (say, before a hot-plug refresh)
    presenter_.PostHotplugChanged();
    view_.RunEventLoop();   // refresh 2 ends with the window active
    Deactivate();
    ActivateFromOutside();  // refresh 3: nothing was left to swallow
    EXPECT_EQ(refreshes_, 3);
}

TEST_F(Presenter, HotplugPostsFromAnotherThreadJoinUntilServed) {
    std::thread([this] {
        for (int i = 0; i < 5; ++i) presenter_.PostHotplugChanged();
    }).join();
    EXPECT_EQ(view_.posted.size(), 1u);
    view_.RunEventLoop();
    EXPECT_EQ(refreshes_, 1);
    presenter_.PostHotplugChanged();
    EXPECT_EQ(view_.posted.size(), 1u) << "a served request no longer joins later ones";
}

TEST_F(Presenter, MessageOutsideARefreshRebuildsTheListWhenItCloses) {
    presenter_.RunHandler([this] { presenter_.ClosePortClicked(); });
    view_.RunEventLoop();
    EXPECT_EQ(refreshes_, 1);
    ASSERT_EQ(boxes_.shown.size(), 1u);
}

// --- Errors escaping a handler -----------------------------------------------

struct EscapeCase {
    const char* name;
    std::function<void()> thrower;
    std::string shown;
};
void PrintTo(const EscapeCase& c, std::ostream* os) { *os << c.name; }

const EscapeCase kEscapes[] = {
    {"FullStopAdded", [] { throw std::runtime_error("Zły typ wartości"); }, "Zły typ wartości."},
    {"FullStopKept", [] { throw std::runtime_error("Invalid data type for 'COM3'."); },
     "Invalid data type for 'COM3'."},
    {"EllipsisKept", [] { throw std::logic_error("Trwa odczyt..."); }, "Trwa odczyt..."},
    {"EmptyStaysEmpty", [] { throw std::runtime_error(""); }, ""},
    {"NotAStdException", [] { throw 42; }, "Nieznany wyjątek."},
};

class Escape : public Presenter, public testing::WithParamInterface<EscapeCase> {};

TEST_P(Escape, FromAHandlerIsShownAndTheProgramGoesOn) {
    presenter_.RunHandler(GetParam().thrower);
    ASSERT_EQ(boxes_.shown.size(), 1u);
    EXPECT_EQ(boxes_.shown[0].caption, "torvane1");
    EXPECT_EQ(boxes_.shown[0].text, GetParam().shown);
}

TEST_P(Escape, FromTheRefreshIsShownWhileTheRefreshStillRuns) {
    boxes_.handBack = HandBack::kLater;
    presenter_.SetRefreshProcedure(GetParam().thrower);
    ActivateFromOutside();
    ASSERT_EQ(boxes_.shown.size(), 1u);
    EXPECT_EQ(boxes_.shown[0].text, GetParam().shown);
    EXPECT_FALSE(presenter_.Refreshing());
    DeliverLateActivation();
    EXPECT_EQ(boxes_.shown.size(), 1u) << "the error box's activation is swallowed";
}

INSTANTIATE_TEST_SUITE_P(Cases, Escape, testing::ValuesIn(kEscapes),
                         [](const testing::TestParamInfo<EscapeCase>& info) { return info.param.name; });

// --- Buttons -------------------------------------------------------------------

struct OpenPortCase {
    const char* name;
    std::string cell;
    std::int32_t initializeResult;
    std::string message;
    bool initializes;
    std::uint8_t port;  // when initializes
};
void PrintTo(const OpenPortCase& c, std::ostream* os) { *os << c.name; }

const OpenPortCase kOpenPortCases[] = {
    {"Opened", "COM12", 0, "Otwarto port 12", true, 12},
    {"NotOpened", "COM12", 2, "Nie otwarto portu 12", true, 12},
    {"TrimmedCell", " \tCOM5 \r\n", 0, "Otwarto port 5", true, 5},
    {"LowEightBitsOfThePort", "COM268", 0, "Otwarto port 268", true, 12},
    {"SignedNumber", "COM+7", 0, "Otwarto port +7", true, 7},
    {"NegativeNumber", "COM-1", 6, "Nie otwarto portu -1", true, 255},
    {"NoPort", "----", 0, "Niewłasciwy numer portu (-)", false, 0},
    {"Unknown", "????", 0, "Niewłasciwy numer portu (?)", false, 0},
    {"NoRowSelected", "", 0, "Niewłasciwy numer portu ()", false, 0},
    {"Hexadecimal", "COM0x10", 0, "Niewłasciwy numer portu (0x10)", false, 0},
    {"Blank", "COM 1 2", 0, "Niewłasciwy numer portu ( 1 2)", false, 0},
    {"Overflow", "COM2147483648", 0, "Niewłasciwy numer portu (2147483648)", false, 0},
};

class OpenPort : public Presenter, public testing::WithParamInterface<OpenPortCase> {};

TEST_P(OpenPort, ReleasesTheDeviceClosesThePortOpensTheCellsPortAndSaysSo) {
    const OpenPortCase& c = GetParam();
    view_.portCell = c.cell;
    initializeResult_ = c.initializeResult;
    boxes_.handBack = HandBack::kLater;
    presenter_.RunHandler([this] { presenter_.OpenPortClicked(); });

    std::vector<PortCall> expected = {{"Close_USB_Device_Handle"}, {"UnInitializePort"}};
    if (c.initializes) expected.push_back({"InitializePort", c.port, 9600, 2, 2});
    EXPECT_EQ(portCalls_, expected);
    ASSERT_EQ(boxes_.shown.size(), 1u);
    EXPECT_EQ(boxes_.shown[0].caption, "") << "an information box";
    EXPECT_EQ(boxes_.shown[0].text, c.message);
    EXPECT_EQ(refreshes_, 0) << "the port buttons themselves rebuild nothing";
}

INSTANTIATE_TEST_SUITE_P(Cases, OpenPort, testing::ValuesIn(kOpenPortCases),
                         [](const testing::TestParamInfo<OpenPortCase>& info) { return info.param.name; });

TEST_F(Presenter, ClosePortSaysWhetherThePortWasClosed) {
    boxes_.handBack = HandBack::kLater;
    const struct {
        std::int32_t result;
        const char* message;
    } kCases[] = {{0, "Zamknieto port szeregowy"}, {1, "Nie zamknieto portu"}, {-1, "Nie zamknieto portu"}};
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.result);
        portCalls_.clear();
        boxes_.shown.clear();
        uninitializeResult_ = c.result;
        presenter_.RunHandler([this] { presenter_.ClosePortClicked(); });
        EXPECT_EQ(portCalls_, std::vector<PortCall>{{"UnInitializePort"}});
        ASSERT_EQ(boxes_.shown.size(), 1u);
        EXPECT_EQ(boxes_.shown[0].text, c.message);
    }
}

TEST_F(Presenter, CloseButtonClosesTheWindowAndTheHiddenCycleButtonDoesNothing) {
    presenter_.RunHandler([this] { presenter_.CycleClicked(); });
    EXPECT_EQ(view_.closes, 0);
    EXPECT_TRUE(portCalls_.empty());
    EXPECT_TRUE(boxes_.shown.empty());
    EXPECT_TRUE(view_.posted.empty());
    presenter_.RunHandler([this] { presenter_.CloseClicked(); });
    EXPECT_EQ(view_.closes, 1);
    EXPECT_EQ(refreshes_, 0);
}

}  // namespace
