#pragma once
// Window tests keep what the windows remember apart from the user's settings: in a folder of the
// test's own, under a name of its own.
#include <QCoreApplication>
#include <QSettings>
#include <QString>

namespace testsupport {

inline void UseSettingsIn(const QString& folder, const QString& applicationName) {
    QCoreApplication::setOrganizationName(QStringLiteral("torvane-test"));
    QCoreApplication::setApplicationName(applicationName);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder);
}

} // namespace testsupport
