// Decisions behind the player window's commands.

#include "player/glass.h"
#include "player/player_commands.h"

#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tl;

TEST(PlayerCommands, StepRow) {
    struct Case {
        int selected, count, delta;
        std::optional<int> row;
    };
    const Case cases[] = {
        {-1, 0, +1, std::nullopt},
        {-1, 0, -1, std::nullopt},
        {-1, 5, +1, 0},
        {-1, 5, -1, std::nullopt},
        {0, 5, -1, -1},
        {0, 5, +1, 1},
        {3, 5, +1, 4},
        {4, 5, +1, std::nullopt},
        {4, 5, -1, 3},
        {0, 1, +1, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(StepRow(c.selected, c.count, c.delta), c.row)
            << c.selected << " of " << c.count << " by " << c.delta;
    }
}

TEST(PlayerCommands, SnapToWorkArea) {
    const QRect work(0, 24, 1280, 776); // a panel at the top
    struct Case {
        QPoint at;
        QPoint snapped;
    };
    const Case cases[] = {
        {{100, 100}, {100, 100}}, // far from every edge
        {{8, 100}, {0, 100}},     // within 8 of the left edge
        {{9, 100}, {9, 100}},
        {{-50, 100}, {0, 100}}, // beyond the left edge
        {{100, 30}, {100, 24}}, // near the panel
        {{100, 33}, {100, 33}},
        {{972, 100}, {980, 100}}, // right edge: 1280 - 300 = 980, within 8
        {{971, 100}, {971, 100}},
        {{100, 672}, {100, 680}}, // bottom: 800 - 120 = 680
        {{2000, 2000}, {980, 680}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SnapToWorkArea(QRect(c.at, QSize(300, 120)), work), c.snapped)
            << c.at.x() << "," << c.at.y();
    }
}

TEST(PlayerCommands, MenuFromWindowHasNoPlaybackItems) {
    const PlayerMenuState window = PlayerMenuItems(false, true, true, true, true);
    EXPECT_FALSE(window.playbackItemsVisible);
    EXPECT_TRUE(window.addCurrentEnabled);
    EXPECT_TRUE(window.stationInfoEnabled);

    const PlayerMenuState trayIdle = PlayerMenuItems(true, false, false, true, false);
    EXPECT_TRUE(trayIdle.playbackItemsVisible);
    EXPECT_TRUE(trayIdle.playEnabled);
    EXPECT_FALSE(trayIdle.stopEnabled);
    EXPECT_FALSE(trayIdle.previousEnabled);
    EXPECT_TRUE(trayIdle.nextEnabled);
    EXPECT_FALSE(trayIdle.managerEnabled);
    EXPECT_FALSE(trayIdle.addCurrentEnabled);
}

TEST(PlayerCommands, NotificationConditions) {
    const QString t = QStringLiteral("Song");
    EXPECT_EQ(NotificationText(t, true, true, false), t);
    EXPECT_EQ(NotificationText(QStringLiteral("  "), true, true, false),
              QStringLiteral("No Title"));
    EXPECT_EQ(NotificationText(t, false, true, false), std::nullopt) << "notifier off";
    EXPECT_EQ(NotificationText(t, true, false, false), std::nullopt) << "no audio stream";
    EXPECT_EQ(NotificationText(t, true, true, true), std::nullopt) << "one is already up";
}

TEST(PlayerCommands, PlayFailureText) {
    using audio::ConnectFault;
    using audio::ErrorCode;
    const QString host = QStringLiteral("radio.example");
    const struct {
        ErrorCode code;
        QString host;
        int status;
        ConnectFault connect;
        const char* text; // nullptr: nothing to show
    } rows[] = {
        {ErrorCode::Ok, host, 0, ConnectFault::None, nullptr},
        {ErrorCode::Cancelled, host, 404, ConnectFault::None, nullptr}, // the user stopped
        {ErrorCode::FileOpen, host, 0, ConnectFault::Refused,
         "Can't connect to radio.example: connection refused"},
        {ErrorCode::FileOpen, host, 0, ConnectFault::NameLookup,
         "Can't connect to radio.example: host not found"},
        {ErrorCode::FileOpen, host, 0, ConnectFault::Other, "Can't connect to radio.example"},
        {ErrorCode::FileOpen, host, 302, ConnectFault::Redirects,
         "radio.example sent a redirection that can't be followed"},
        {ErrorCode::FileOpen, host, 200, ConnectFault::Headers,
         "radio.example sent too much header data"},
        {ErrorCode::Timeout, host, 200, ConnectFault::Headers,
         "radio.example sent no audio in time"},
        {ErrorCode::FileOpen, QString(), 0, ConnectFault::Refused,
         "Can't connect to the server: connection refused"},
        {ErrorCode::FileOpen, host, 404, ConnectFault::None, "Server answered 404 Not Found"},
        {ErrorCode::FileOpen, host, 503, ConnectFault::None,
         "Server answered 503 Service Unavailable"},
        {ErrorCode::FileOpen, host, 400, ConnectFault::None, "Server answered 400 Bad Request"},
        {ErrorCode::FileOpen, host, 599, ConnectFault::None, "Server answered 599"},
        {ErrorCode::FileOpen, host, 600, ConnectFault::None, "Can't connect to radio.example"},
        {ErrorCode::FileOpen, host, 399, ConnectFault::None, "Can't connect to radio.example"},
        {ErrorCode::FileOpen, host, 200, ConnectFault::None, "radio.example closed the connection"},
        {ErrorCode::Timeout, host, 0, ConnectFault::None,
         "Can't connect to radio.example: no answer"},
        {ErrorCode::Timeout, host, 200, ConnectFault::None, "radio.example sent no audio in time"},
        {ErrorCode::Timeout, host, 504, ConnectFault::None, "Server answered 504 Gateway Timeout"},
        {ErrorCode::FileForm, host, 200, ConnectFault::None, "No audio in this stream"},
        {ErrorCode::FileForm, host, 404, ConnectFault::None, "No audio in this stream"},
        {ErrorCode::Init, host, 0, ConnectFault::None, "No sound output device"},
        {ErrorCode::Driver, host, 0, ConnectFault::None, "No sound output device"},
        {ErrorCode::Memory, host, 0, ConnectFault::None, "Can't play this stream"},
        {ErrorCode::Unknown, host, 0, ConnectFault::None, "Can't play this stream"},
        {ErrorCode::Unknown, host, 410, ConnectFault::None, "Server answered 410 Gone"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.code) * 1000 + row.status);
        const std::optional<QString> text =
            PlayFailureText(row.code, row.host, row.status, row.connect);
        if (row.text == nullptr) {
            EXPECT_EQ(text, std::nullopt);
        } else {
            EXPECT_EQ(text, QString::fromLatin1(row.text));
        }
    }
}

TEST(PlayerCommands, MaskRegionAlwaysHoldsTheFirstPixel) {
    QTemporaryDir dir;
    EXPECT_EQ(MaskRegion(dir.filePath(QStringLiteral("blurmask.png"))), std::nullopt);

    QImage mask(4, 3, QImage::Format_ARGB32);
    mask.fill(0x00FFFFFFu); // "no blur" everywhere
    mask.setPixel(2, 1, 0xFF000000u);
    mask.setPixel(3, 2, 0x01FFFFFFu); // differs from 0x00FFFFFF in alpha alone
    const QString path = dir.filePath(QStringLiteral("blurmask.png"));
    ASSERT_TRUE(mask.save(path));
    const std::optional<QRegion> region = MaskRegion(path);
    ASSERT_TRUE(region.has_value());
    EXPECT_TRUE(region->contains(QPoint(0, 0)));
    EXPECT_TRUE(region->contains(QPoint(2, 1)));
    EXPECT_TRUE(region->contains(QPoint(3, 2)));
    EXPECT_FALSE(region->contains(QPoint(1, 1)));
    EXPECT_FALSE(region->contains(QPoint(0, 2)));
}
