#include "app/UpdateDecision.h"

// Stand-ins until the update checker exists: no checker, no check.
namespace app {

void CreateUpdateChecker() {}

void RunUpdateDecision(IUpdateNotice&) {}

void FreeUpdateChecker() {}

} // namespace app
