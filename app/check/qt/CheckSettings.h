#pragma once
// The throttle check's thresholds as the settings file holds them (group Check, one key each).
// A value that is not taken leaves that threshold at its default and gives a notice to show.
#include <QSettings>

#include <string>
#include <vector>

#include "app/check/Thresholds.h"

namespace check {

Thresholds ReadCheckThresholds(QSettings& settings, std::vector<std::string>& notices);

} // namespace check
