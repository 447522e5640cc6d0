#include "app/UpdateDecision.h"

#include "config/Settings.h"
#include "update/UpdateSchedule.h"
#include "update/win32/UpdateChecker.h"

namespace hml::app {

using namespace hml::config;
using namespace hml::update;

void CreateUpdateChecker() {
    delete updateChecker;
    updateChecker = new CUpdateChecker();
}

void RunUpdateDecision(IUpdateNotice& tray) {
    if (!settings || !updateChecker) {
        return;
    }
    const update::CStartupDecision decision =
        update::DecideAtStartup(*settings, updateChecker->CurrentVersion(), update::LocalNow());
    if (decision.startCheck) {
        // The tray outlives the checker: clean-up frees the checker before the tray goes.
        // Translating, the balloon and "LastNotify" belong to the tray's thread: the language
        // may be replaced meanwhile.
        updateChecker->StartCheck([&tray](update::CheckResult result) {
            if (result == update::CheckResult::UpdateAvailable) {
                tray.PostUpdateFound();
            }
        });
        return;
    }
    if (decision.updateAvailable) {
        tray.SetUpdateAvailable();
    }
    if (decision.remind) {
        tray.ShowUpdateBalloon(); // records today as "LastNotify"
    }
}

void FreeUpdateChecker() {
    delete updateChecker;
    updateChecker = nullptr;
}

} // namespace hml::app
