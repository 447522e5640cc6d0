#pragma once

namespace hml::app {

// Where the update check (src/update) joins start-up and the tray.

// What the update check may do to the tray.
class IUpdateNotice {
public:
    virtual ~IUpdateNotice() = default;
    // From the checker's thread: a newer version was found. Only hands the news to the tray's own
    // thread, which then calls the two operations below.
    virtual void PostUpdateFound() = 0;
    // The tray's thread only, like the one below.
    // A newer version is known: the tray menu gets its entry.
    virtual void SetUpdateAvailable() = 0;
    // The update-available balloon; also records today as "LastNotify".
    virtual void ShowUpdateBalloon() = 0;
};

// Start-up: creates the process's update checker (not started yet).
void CreateUpdateChecker();
// Tray creation: the automatic check and the reminder.
void RunUpdateDecision(IUpdateNotice& tray);
// Clean-up: ends a check that still runs and frees the checker.
void FreeUpdateChecker();

} // namespace hml::app
