#include "CheckSettings.h"

namespace check {

Thresholds ReadCheckThresholds(QSettings& settings, std::vector<std::string>& notices) {
    Thresholds thresholds;
    for (const ThresholdSetting& s : ThresholdSettings()) {
        const QString key = QString::fromUtf8(s.key.data(), static_cast<qsizetype>(s.key.size()));
        if (!settings.contains(key)) continue;
        const std::string text = settings.value(key).toString().toStdString();
        if (auto notice = ApplyThresholdSetting(thresholds, s.key, text)) {
            notices.push_back("the settings file's " + *notice);
        }
    }
    return thresholds;
}

} // namespace check
