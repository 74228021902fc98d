#pragma once
// What the window tests share: a window over a scenario whose refreshes are
// counted together with their nesting depth, showing it, and taking
// activation away from it.
#include <QtTest>
#include <algorithm>
#include <functional>
#include <memory>

#include "app/qt/Unit1.h"
#include "d2xx/sim/sim_control.h"
#include "devlist/unit2.h"

namespace app_test {

inline const char* const kOneDevice = R"json({
  "devices": [{"serial": "FTBB0001", "description": "Solo", "com_port": 12}]
})json";

// Opening the only device always fails: every refresh shows one status message.
inline const char* const kFailingDevice = R"json({
  "devices": [{"serial": "FTCC0001", "description": "Broken", "com_port": 4,
               "fail": {"FT_OpenEx": {"status": 2}}}]
})json";

inline QString Cell(TfUrzadzenia& window, int column, int row) {
    return QString::fromStdString(window.Grid().Cell(column, row));
}

inline void LoadScenario(const char* json) { QCOMPARE(TorvaneSim_LoadScenarioText(json), 0); }

class WindowFixture : public QObject {
protected:
    // A fresh window over `scenario` whose refreshes rebuild the device list.
    void OpenWindow(const char* scenario) {
        LoadScenario(scenario);
        refreshes_ = depth_ = deepest_ = 0;
        window_ = std::make_unique<TfUrzadzenia>();
        CountRefreshes([] { devlist::RefreshDeviceList(); });
    }
    void CloseWindows() {
        window_.reset();
        other_.reset();
    }

    void CountRefreshes(std::function<void()> refresh) {
        window_->SetRefreshProcedure([this, refresh] {
            deepest_ = std::max(deepest_, ++depth_);
            ++refreshes_;
            refresh();
            --depth_;
        });
    }

    void ShowAndWaitForFirstRefresh() {
        window_->show();
        window_->activateWindow();
        QTRY_VERIFY_WITH_TIMEOUT(refreshes_ >= 1, 2000);
    }

    // Takes activation away from the main window, as switching to another
    // window of the desktop does.
    void ActivateAnotherWindow() {
        other_ = std::make_unique<QWidget>();
        other_->show();
        other_->activateWindow();
        QTRY_VERIFY_WITH_TIMEOUT(!window_->isActiveWindow(), 2000);
    }

    std::unique_ptr<TfUrzadzenia> window_;
    std::unique_ptr<QWidget> other_;
    int refreshes_ = 0;
    int depth_ = 0;
    int deepest_ = 0;
};

}  // namespace app_test
