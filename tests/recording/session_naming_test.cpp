// Session file names: the start time and a unit name safe in every file system.
#include <gtest/gtest.h>

#include "app/ReceiveDecoder.h"
#include "app/recording/SessionNaming.h"

namespace {

using namespace recording;

UnitIdentity Unit(uint8_t id, const std::string& latin1Name) {
    return UnitIdentity{true, id, Latin1ToUtf8UpToNul(latin1Name)};
}

TEST(SessionNaming, FileNamesCarryTheStartTimeAndASafeUnitName) {
    const toolkit::TDateTime start = toolkit::EncodeDateTime(2026, 12, 7, 9, 43, 51, 999);
    EXPECT_EQ(SessionFileStem(start, Unit(5, "SIM-UNIT")), "2026-12-07_09-43-51_unit5_SIM-UNIT");
    EXPECT_EQ(SessionFileStem(start, UnitIdentity{}), "2026-12-07_09-43-51_unit-unknown");
    EXPECT_EQ(SessionFileStem(start, Unit(255, std::string(8, '\0'))), "2026-12-07_09-43-51_unit255");
    EXPECT_EQ(SessionFileStem(start, Unit(1, "../a\\b:")), "2026-12-07_09-43-51_unit1____a_b_");
    EXPECT_EQ(SessionFileStem(start, Unit(1, "\xFF\xFE.*?")), "2026-12-07_09-43-51_unit1______") << "one _ per character";

    EXPECT_TRUE(IsSessionFileName("2026-12-07_09-43-51_unit5_SIM-UNIT.csv"));
    EXPECT_TRUE(IsSessionFileName("2026-12-07_09-43-51_unit-unknown-2.csv"));
    EXPECT_FALSE(IsSessionFileName("notes.csv"));
    EXPECT_FALSE(IsSessionFileName("2026-12-07_09-43-51_unit5.txt"));
    EXPECT_FALSE(IsSessionFileName("table-2026-12-07_09-43-51_.csv"));
}

} // namespace
