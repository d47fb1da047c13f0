// gtest main for widget tests: an offscreen QApplication lives for the whole run.
#include <QApplication>
#include <gtest/gtest.h>

#include "toolkit/qt/SyncAdapter.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    toolkit::InstallQtSyncAdapter();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
