// The table's kept cell texts: converted once, shared by every cell that shows them, bounded.
#include <gtest/gtest.h>

#include "app/CellTextCache.h"

namespace {

TEST(CellTextCacheTest, ARecurringTextIsConvertedOnceAndShared) {
    CellTextCache cache;
    const QString first = cache.Get("12 R");
    const QString again = cache.Get(std::string("12 R"));
    EXPECT_EQ(first, QStringLiteral("12 R"));
    EXPECT_EQ(again.constData(), first.constData());  // one text, no new allocation
    EXPECT_EQ(cache.Size(), 1u);
    EXPECT_EQ(cache.Get("12 L"), QStringLiteral("12 L"));
    EXPECT_EQ(cache.Get("\xc3\xa9t\xc3\xa9"), QString::fromUtf8("\xc3\xa9t\xc3\xa9"));  // UTF-8 in
    EXPECT_EQ(cache.Get(""), QString());
    EXPECT_EQ(cache.Size(), 4u);
}

TEST(CellTextCacheTest, ByteValuesAreSharedAndOtherDigitsStayAsWritten) {
    CellTextCache cache;
    for (int v = 0; v < 256; ++v) {
        const std::string text = std::to_string(v);
        ASSERT_EQ(cache.Get(text), QString::fromStdString(text));
        ASSERT_EQ(cache.Get(text).constData(), cache.Get(text).constData());
    }
    EXPECT_EQ(cache.Get("007"), QStringLiteral("007"));
    EXPECT_EQ(cache.Get("256"), QStringLiteral("256"));
    EXPECT_EQ(cache.Get("1000"), QStringLiteral("1000"));
    EXPECT_EQ(cache.Get("-1"), QStringLiteral("-1"));
    EXPECT_EQ(cache.Get("12a"), QStringLiteral("12a"));
}

TEST(CellTextCacheTest, StaysBoundedAndRightAfterBeingEmptied) {
    CellTextCache cache;
    for (size_t i = 0; i < 3 * CellTextCache::kMaxTexts; ++i) {
        const std::string text = std::to_string(i);
        ASSERT_EQ(cache.Get(text), QString::fromStdString(text));
        ASSERT_LE(cache.Size(), CellTextCache::kMaxTexts);
    }
}

} // namespace
