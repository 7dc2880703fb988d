// The edit dialog's OK logic for adding and editing groups and stations.

#include "library/edit_logic.h"
#include "library_fixture.h"

using namespace tl;
using namespace tl::test;

namespace {

const QByteArray kTwoGroups = root({group("A", 0, {"a1", "a2"}), group("B", 0, {"b1"})});

class EditOkTest : public FavouritesFixture {
protected:
    std::optional<TStation> rowAt(int row) const { return *favs->row(row); }
    StationInput station(const char* name, int groupChoice = 0) const {
        StationInput in;
        in.fields = {QStringLiteral("http://new"), QString::fromUtf8(name), QStringLiteral("i"),
                     QStringLiteral("64"), true};
        in.groupChoice = groupChoice;
        return in;
    }
};

TEST_F(EditOkTest, BlankNamesAreRefusedAndNothingIsWritten) {
    for (const char* name : {"", "   ", "\t"}) {
        load(kTwoGroups);
        int mode = kEditModeAdd;
        const EditOkResult g = groupOk(*favs, mode, {QString::fromLatin1(name), 0}, std::nullopt);
        EXPECT_EQ(g.outcome, EditOutcome::NameMissing);
        EXPECT_EQ(g.message, "Input group name");
        const EditOkResult s = stationOk(*favs, mode, false, station(name), std::nullopt);
        EXPECT_EQ(s.outcome, EditOutcome::NameMissing);
        EXPECT_EQ(s.message, "Input station name");
        EXPECT_EQ(readBytes(path()), kTwoGroups);
    }
}

TEST_F(EditOkTest, NewGroupGoesFirstCollapsedWithDecimalColour) {
    load(kTwoGroups);
    const EditOkResult r =
        groupOk(*favs, kEditModeAdd, {QStringLiteral(" Jazz "), 16711680}, std::nullopt);
    ASSERT_EQ(r.outcome, EditOutcome::Committed);
    EXPECT_EQ(outline(path()), " Jazz [] A[a1,a2] B[b1]");
    EXPECT_TRUE(
        readBytes(path()).contains("<group rolled=\"1\" Name=\" Jazz \" Color=\"16711680\""));
    EXPECT_EQ(favs->stations()[0].Rolled, 1);
}

TEST_F(EditOkTest, EditGroupSetsNameAndColourOnly) {
    load(kTwoGroups);
    const EditOkResult r = groupOk(*favs, kEditModeEdit, {QStringLiteral("Beta"), 255}, rowAt(3));
    ASSERT_EQ(r.outcome, EditOutcome::Committed);
    EXPECT_EQ(outline(path()), "A[a1,a2] Beta[b1]");
    EXPECT_EQ(favs->stations()[3].Color, 255u);
    EXPECT_EQ(favs->stations()[3].Rolled, 0);
}

TEST_F(EditOkTest, AddStationAppendsToTheChosenGroup) {
    load(kTwoGroups);
    int mode = kEditModeAdd;
    const EditOkResult r = stationOk(*favs, mode, false, station("New", 0), std::nullopt);
    ASSERT_EQ(r.outcome, EditOutcome::Committed);
    EXPECT_TRUE(r.stationAdded);
    EXPECT_EQ(outline(path()), "A[a1,a2,New] B[b1]");
    const TStation& added = favs->stations()[3];
    EXPECT_EQ(added.Url, "http://new");
    EXPECT_EQ(added.Bitrate, "64");
    EXPECT_TRUE(added.Video);
}

TEST_F(EditOkTest, EditStationKeepsItsGroupAndPlace) {
    load(kTwoGroups);
    int mode = kEditModeEdit;
    // The group box says B; editing ignores it.
    const EditOkResult r = stationOk(*favs, mode, false, station("Renamed", 1), rowAt(1));
    ASSERT_EQ(r.outcome, EditOutcome::Committed);
    EXPECT_FALSE(r.stationAdded);
    EXPECT_EQ(outline(path()), "A[Renamed,a2] B[b1]");
    EXPECT_EQ(mode, kEditModeEdit);
}

TEST_F(EditOkTest, SearchTabAlwaysAdds) {
    load(kTwoGroups);
    int mode = kEditModeEdit; // left over from an earlier edit
    const EditOkResult r = stationOk(*favs, mode, true, station("Found", 1), rowAt(1));
    ASSERT_EQ(r.outcome, EditOutcome::Committed);
    EXPECT_EQ(mode, kEditModeAdd);
    EXPECT_EQ(outline(path()), "A[a1,a2] B[b1,Found]");
}

TEST_F(EditOkTest, AddingWithoutAGroupSaysSo) {
    load(root({}));
    int mode = kEditModeAdd;
    const EditOkResult r = stationOk(*favs, mode, false, station("X", -1), std::nullopt);
    EXPECT_EQ(r.outcome, EditOutcome::NoGroup);
    EXPECT_EQ(r.message, kNoGroupMessage);
    EXPECT_FALSE(r.commit.written);
}

TEST_F(EditOkTest, EditingAVanishedRowIsRefused) {
    load(kTwoGroups);
    TStation gone = *favs->row(1);
    gone.StationIndex = 9;
    int mode = kEditModeEdit;
    EXPECT_EQ(stationOk(*favs, mode, false, station("X"), gone).outcome, EditOutcome::NoTarget);
    EXPECT_EQ(stationOk(*favs, mode, false, station("X"), std::nullopt).outcome,
              EditOutcome::NoTarget);
    EXPECT_EQ(readBytes(path()), kTwoGroups);
}

TEST(ClipboardRule, KeepsOnlyTextStartingWithHttp) {
    for (const auto& [clip, kept] :
         {std::pair{"http://radio/x", "http://radio/x"}, std::pair{"HTTP://radio", ""},
          std::pair{"https://radio", ""}, std::pair{" http://radio", ""}, std::pair{"http:/", ""},
          std::pair{"http://", "http://"}, std::pair{"", ""}}) {
        EXPECT_EQ(urlFromClipboard(QString::fromLatin1(clip)), QString::fromLatin1(kept)) << clip;
    }
}

} // namespace
