// A background notice: one box per owner that never blocks the window, reused for the next
// notice with that notice's title, icon and text, and made again once the first has gone.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>

#include "toolkit/qt/NoticeBox.h"

namespace {

TEST(NoticeBoxTest, OneNonModalBoxPerOwnerTakesEachNoticeInTurn) {
    QWidget window;
    window.show();
    QPointer<QMessageBox> box;

    toolkit::ShowNotice(box, &window, QStringLiteral("Export summary"), QStringLiteral("Could not save"), true);
    ASSERT_FALSE(box.isNull());
    QMessageBox* const first = box.data();
    EXPECT_EQ(first->parentWidget(), &window);
    EXPECT_TRUE(first->isVisible()) << "shown at once, without waiting for an answer";
    EXPECT_FALSE(first->isModal());
    EXPECT_EQ(first->windowModality(), Qt::NonModal);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(first->windowTitle(), QStringLiteral("Export summary"));
    EXPECT_EQ(first->icon(), QMessageBox::Warning);
    EXPECT_EQ(first->text(), QStringLiteral("Could not save"));

    toolkit::ShowNotice(box, &window, QStringLiteral("Export to Excel"), QStringLiteral("12 records exported."), false);
    EXPECT_EQ(box.data(), first) << "the showing box takes the later notice";
    EXPECT_EQ(first->windowTitle(), QStringLiteral("Export to Excel"));
    EXPECT_EQ(first->icon(), QMessageBox::Information);
    EXPECT_EQ(first->text(), QStringLiteral("12 records exported."));
    EXPECT_EQ(window.findChildren<QMessageBox*>().size(), 1);

    delete first;  // gone with whatever took it away: the next notice makes a new box
    EXPECT_TRUE(box.isNull());
    toolkit::ShowNotice(box, &window, QStringLiteral("Export plot"), QStringLiteral("Could not write"), true);
    ASSERT_FALSE(box.isNull());
    EXPECT_TRUE(box->isVisible());
    EXPECT_FALSE(box->isModal());
    EXPECT_EQ(box->text(), QStringLiteral("Could not write"));
}

} // namespace
