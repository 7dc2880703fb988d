// The player's logic without a network: status codes, the title change, the play command's
// seams, video stations through a stand-in companion library, and the elapsed time.

#include "common/text.h"
#include "player/player_controller.h"
#include "test_support.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>

using namespace tl;

namespace {

struct Fixture {
    QTemporaryDir dir;
    audio::Engine engine;
    PlayerSettings settings;
    NowPlaying now;
    ControlModel controls;
    SkinValues skin;
    QStringList notifications;
    QStringList errors;
    QStringList autoRecordChecks;
    int splits = 0;
    int stops = 0;
    int albumArt = 0;
    std::optional<StationChoice> selection;
    std::function<PlaylistResult(const QString&)> resolver;
    std::unique_ptr<PlayerController> player;

    Fixture() {
        PlayerController::Links links;
        links.selectedStation = [this] {
            return selection;
        };
        links.parsePlayList = [this](const QString& a) {
            if (resolver) {
                return resolver(a);
            }
            return PlaylistResult{a, a, false, {}};
        };
        links.showNotification = [this](const QString& t) {
            notifications << t;
        };
        links.showError = [this](const QString& c, const QString& t) {
            errors << c + u'|' + t;
        };
        links.autoRecordCheck = [this](const QString& t) {
            autoRecordChecks << t;
        };
        links.splitRecording = [this] {
            ++splits;
        };
        links.stopRecording = [this] {
            ++stops;
        };
        links.requestAlbumArt = [this](const QString&) {
            ++albumArt;
        };
        player = std::make_unique<PlayerController>(engine, appPath(), settings, now, controls,
                                                    skin, std::move(links));
    }
    QString appPath() const { return dir.path() + u'/'; }
    QString caption(const char* name) const {
        return player->controls().find(QString::fromLatin1(name))->caption;
    }
    bool enabled(const char* name) const {
        return player->controls().find(QString::fromLatin1(name))->enabled;
    }
};

} // namespace

TEST(PlayerController, ControlsStartAsLaidOut) {
    Fixture f;
    EXPECT_TRUE(f.player->Timer1().isActive()) << "the animation tick runs from the start";
    EXPECT_EQ(f.caption("Label4"), QStringLiteral("stopped"));
    EXPECT_EQ(f.caption("Label7"), QStringLiteral("00:00"));
    EXPECT_EQ(f.caption("Button1"), QStringLiteral("play"));
    EXPECT_FALSE(f.enabled("RecLabel"));
    const SkinControl* play = f.player->controls().find(u"Button1");
    EXPECT_EQ(play->tag, 105);
    EXPECT_EQ(play->keyword, QStringLiteral("play"));
    EXPECT_EQ(f.player->controls().find(u"Label1")->keyword, QStringLiteral("prewious"));
}

TEST(PlayerController, StatusCodes) {
    Fixture f;
    f.player->WM_STREAM_STATUS(ssSongText, QStringLiteral("old song"));
    f.player->WM_STREAM_STATUS(ssBitrateText, QStringLiteral("64 kbps"));
    f.player->WM_STREAM_STATUS(ssConnecting);
    EXPECT_EQ(f.caption("Label4"), QStringLiteral("connecting..."));
    EXPECT_TRUE(f.caption("Label3").isEmpty());
    EXPECT_TRUE(f.caption("Label5").isEmpty());
    EXPECT_TRUE(f.caption("Label8").isEmpty());

    f.player->WM_STREAM_STATUS(ssBuffering, {}, 42);
    EXPECT_EQ(f.caption("Label4"), QStringLiteral("buffering... 42%"));
    f.player->WM_STREAM_STATUS(ssStationName, QStringLiteral("Test Radio"));
    EXPECT_EQ(f.caption("Label4"), QStringLiteral("Test Radio"));
    EXPECT_EQ(f.now.Info, QStringLiteral("Test Radio"));
    f.player->WM_STREAM_STATUS(ssBitrate, QStringLiteral(" 128 kbps "));
    EXPECT_EQ(f.caption("Label5"), QStringLiteral("128 kbps"));
    EXPECT_EQ(f.now.Bitrate, QStringLiteral("128 kbps"));
    EXPECT_EQ(f.caption("Label8"), QStringLiteral("MP3"));
    f.player->WM_STREAM_STATUS(ssServerStatus, QStringLiteral("HTTP/1.0 200 OK"));
    EXPECT_TRUE(f.caption("Label5").isEmpty());
    f.player->WM_STREAM_STATUS(ssStopped);
    EXPECT_EQ(f.caption("Label4"), QStringLiteral("stopped"));
    f.player->WM_STREAM_STATUS(99); // unknown codes only refresh
    EXPECT_EQ(f.caption("Label4"), QStringLiteral("stopped"));
}

TEST(PlayerController, TitleChangeRunsOncePerNewTitle) {
    Fixture f;
    ASSERT_TRUE(f.player->titleLog().open(f.appPath() + QStringLiteral("Tunelark.log")));
    f.player->skin().TextFade = 0;
    f.player->skin().SongScroll = 12;

    f.player->WM_STREAM_STATUS(ssTitle, QStringLiteral("A - One"));
    EXPECT_EQ(f.caption("Label3"), QStringLiteral("A - One"));
    EXPECT_EQ(f.now.Title, QStringLiteral("A - One"));
    EXPECT_EQ(f.now.LastTitle, QStringLiteral("A - One"));
    EXPECT_EQ(f.player->skin().TextFade, 50);
    EXPECT_EQ(f.player->skin().SongScroll, 0);

    // The same title again: label and auto-record check only.
    f.player->skin().TextFade = 7;
    f.player->WM_STREAM_STATUS(ssTitle, QStringLiteral("A - One"));
    f.player->WM_STREAM_STATUS(ssTitle, QStringLiteral("B - Two"));
    EXPECT_EQ(f.autoRecordChecks, QStringList({QStringLiteral("A - One"), QStringLiteral("A - One"),
                                               QStringLiteral("B - Two")}));
    EXPECT_EQ(f.notifications, QStringList({QStringLiteral("A - One"), QStringLiteral("B - Two")}));
    EXPECT_EQ(f.splits, 2);
    EXPECT_EQ(f.albumArt, 2);

    QFile log(f.appPath() + QStringLiteral("Tunelark.log"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = log.readAll().split('\n');
    ASSERT_EQ(lines.size(), 3); // two lines and the empty rest after the last line break
    EXPECT_TRUE(lines[0].endsWith("; A - One\r"));
    EXPECT_TRUE(lines[1].endsWith("; B - Two\r"));

    // Logging off: no line.
    f.settings.Log = false;
    f.player->WM_STREAM_STATUS(ssTitle, QStringLiteral("C - Three"));
    log.seek(0);
    EXPECT_EQ(log.readAll().count('\n'), 2);
}

TEST(PlayerController, PlayCommandSeams) {
    Fixture f;
    // A playlist that cannot be fetched: the notifier says so; the empty address then fails to
    // open, which shows "stopped". The last address is kept for config.ini.
    f.now.Url = QStringLiteral("http://10.0.0.1:8000/last");
    f.selection =
        StationChoice{0, 3, QStringLiteral("Radio"), QStringLiteral("http://x/a.pls"), false};
    f.resolver = [](const QString&) {
        return PlaylistResult{{}, {}, true, {}};
    };
    f.player->Button1Click();
    ASSERT_TRUE(test::waitUntil([&] { return !f.player->Busy(); }));
    ASSERT_TRUE(test::waitUntil([&] { return f.enabled("Button1"); }));
    EXPECT_EQ(f.notifications, QStringList{QStringLiteral("Can't connect to internet!")});
    EXPECT_EQ(f.now.Index, 3);
    EXPECT_EQ(f.now.StationName, QStringLiteral("Radio"));
    EXPECT_EQ(f.now.Url, QStringLiteral("http://10.0.0.1:8000/last"));
    EXPECT_EQ(f.caption("Label4"), QStringLiteral("stopped"));
    EXPECT_EQ(f.player->stateImages().play, QStringLiteral("5.png"));
    EXPECT_EQ(f.player->StreamHandle(), 0u);

    // pls.dat could not be written: nothing is played, Busy is released.
    f.resolver = [](const QString&) {
        return PlaylistResult{{}, {}, false, QStringLiteral("e")};
    };
    f.player->WM_STREAM_STATUS(ssStationName, QStringLiteral("kept"));
    f.player->Button1Click();
    ASSERT_TRUE(test::waitUntil([&] { return !f.player->Busy(); }));
    EXPECT_EQ(f.caption("Label4"), QStringLiteral("kept"));
    EXPECT_TRUE(f.enabled("Button1"));
}

// Playlists are downloaded by the worker, never on the UI thread; their result reaches
// NowPlaying before "connecting...". A stored address that names a playlist (the last station
// at start-up) is resolved as one.
TEST(PlayerController, PlaylistsResolveOffTheUiThreadInOrder) {
    const struct {
        const char* what;
        std::optional<StationChoice> selection;
        QString storedUrl;
        QString expectAddress; // what the resolver is asked; empty = not asked
    } rows[] = {
        {"chosen station",
         StationChoice{0, 2, QStringLiteral("R"), QStringLiteral("http://h/list.pls"), false},
         QStringLiteral("http://10.0.0.1:8000/old"), QStringLiteral("http://h/list.pls")},
        {"stored playlist", std::nullopt, QStringLiteral("http://h/last.m3u"),
         QStringLiteral("http://h/last.m3u")},
        {"stored stream", std::nullopt, QStringLiteral("http://127.0.0.1:1/live"), QString()},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Fixture f;
        f.selection = row.selection;
        f.now.Url = row.storedUrl;
        QThread* resolverThread = nullptr;
        QString asked;
        QString infoWhenResolved;
        std::atomic<bool> release{false};
        f.resolver = [&](const QString& address) {
            resolverThread = QThread::currentThread();
            asked = address;
            // Held until the test saw the press return; a resolver on the UI thread would
            // hold the press instead (and be released only by the time-out).
            for (int i = 0; i < 500 && !release; ++i) {
                QThread::msleep(10);
            }
            return PlaylistResult{
                QStringLiteral("http://127.0.0.1:1/resolved"), address, false, {}};
        };
        QObject::connect(f.player.get(), &PlayerController::refreshRequested, [&] {
            if (infoWhenResolved.isEmpty() && f.caption("Label4") == u"connecting...") {
                infoWhenResolved = f.now.Url;
            }
        });
        f.player->Button1Click();
        release = true;
        ASSERT_TRUE(test::waitUntil([&] { return !f.player->Busy(); }));
        if (row.expectAddress.isEmpty()) {
            EXPECT_EQ(resolverThread, nullptr);
            EXPECT_EQ(f.now.Url, row.storedUrl);
            continue;
        }
        EXPECT_NE(resolverThread, nullptr);
        EXPECT_NE(resolverThread, QThread::currentThread());
        EXPECT_EQ(asked, row.expectAddress);
        EXPECT_EQ(f.now.Url, QStringLiteral("http://127.0.0.1:1/resolved"));
        EXPECT_EQ(infoWhenResolved, QStringLiteral("http://127.0.0.1:1/resolved"))
            << "the resolution's result must be in place before connecting";
    }
}

// The title path fills StreamTitle (read by the information window and the recorder), and
// network texts are cut before they reach a label, the log or the settings.
TEST(PlayerController, TitlesAndNamesFromTheNetwork) {
    Fixture f;
    ASSERT_TRUE(f.player->titleLog().open(f.appPath() + QStringLiteral("Tunelark.log")));
    f.player->WM_STREAM_STATUS(ssTitle, QStringLiteral("Artist - Song"));
    EXPECT_EQ(f.now.StreamTitle, QStringLiteral("Artist - Song"));

    const QString huge(90 * 1024, u'n');
    f.player->WM_STREAM_STATUS(ssStationName, huge);
    EXPECT_EQ(f.caption("Label4").size(), kMaxNetworkTextLength);
    EXPECT_EQ(f.now.Info.size(), kMaxNetworkTextLength);
    f.player->WM_STREAM_STATUS(ssTitle, huge + QStringLiteral("\r\n01.01.70 00:00:00; forged"));
    EXPECT_EQ(f.caption("Label3").size(), kMaxNetworkTextLength);
    EXPECT_EQ(f.now.StreamTitle.size(), kMaxNetworkTextLength);

    QFile log(f.appPath() + QStringLiteral("Tunelark.log"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QByteArray text = log.readAll();
    EXPECT_EQ(text.count('\n'), 2);
    EXPECT_FALSE(text.contains("forged"));
    EXPECT_LT(text.size(), 2 * (kMaxNetworkTextLength + 64));

    // The result-count choice goes back to config.ini as it was read.
    f.settings.SearchResCount = 3;
    CloseValues values;
    f.player->fillCloseValues(values);
    EXPECT_EQ(values.searchResCount, 3);
}

TEST(PlayerController, PreviousAndNextAreRestoredAfterTheWorker) {
    Fixture f;
    f.player->controls().find(u"Label1")->enabled = false;
    f.player->controls().find(u"Label2")->enabled = true;
    f.player->Button1Click(); // no selection, empty address
    ASSERT_TRUE(test::waitUntil([&] { return !f.player->Busy() && f.enabled("Button1"); }));
    ASSERT_TRUE(test::waitUntil([&] { return f.player->Timer1().isActive(); }));
    EXPECT_FALSE(f.enabled("Label1"));
    EXPECT_TRUE(f.enabled("Label2"));
}

TEST(PlayerController, VideoStations) {
    Fixture f;
    f.selection = StationChoice{0, 0, QStringLiteral("TV"),
                                QStringLiteral("http://tv/live?bitrate=1500000"), true};
    f.now.Info = QStringLiteral("ignored: cleared by the resolution");

    // Without the companion library nothing starts and the player stays usable.
    f.player->Button1Click();
    EXPECT_FALSE(f.player->VideoOpen());
    EXPECT_FALSE(f.player->Busy());
    EXPECT_TRUE(f.errors.isEmpty());

    ASSERT_TRUE(QFile::copy(QStringLiteral(TL_FAKE_COMPANION),
                            f.appPath() + QStringLiteral("larkvideo.so")));
    f.player->Button1Click();
    EXPECT_TRUE(f.player->VideoOpen());
    EXPECT_EQ(f.player->streamKind(), skVideo);
    EXPECT_EQ(f.caption("Label3"), QStringLiteral("TV"));
    EXPECT_EQ(f.caption("Label5"), QStringLiteral("1.5Mbps"));
    EXPECT_EQ(f.player->stateImages().play, QStringLiteral("51.png"));
    EXPECT_TRUE(f.player->PlayTimer().isActive());
    EXPECT_EQ(f.player->vx(), 101);

    f.player->PlayTimerTimer();
    f.player->PlayTimerTimer();
    EXPECT_EQ(f.caption("Label7"), QStringLiteral("00:02"));

    // The library ends the video by itself.
    f.player->WM_VIDEOCLOSED();
    EXPECT_FALSE(f.player->VideoOpen());
    EXPECT_EQ(f.player->stateImages().play, QStringLiteral("5.png"));
    f.player->PlayTimerTimer();
    EXPECT_EQ(f.caption("Label7"), QStringLiteral("00:00"));
    EXPECT_FALSE(f.player->PlayTimer().isActive());

    // Start again, then the play command stops it through CloseVideoEx.
    f.player->Button1Click();
    ASSERT_TRUE(f.player->VideoOpen());
    f.player->Button1Click();
    EXPECT_FALSE(f.player->VideoOpen());
    EXPECT_EQ(f.player->vx(), 7);
    EXPECT_EQ(f.stops, 1);
    EXPECT_TRUE(f.errors.isEmpty());

    // A failed start leaves the video open, so the next press runs the stop path.
    f.selection->Url = QStringLiteral("http://tv/fail");
    f.player->Button1Click();
    EXPECT_TRUE(f.player->VideoOpen());
    EXPECT_EQ(f.player->stateImages().play, QStringLiteral("5.png"));
    f.player->Button1Click();
    EXPECT_FALSE(f.player->VideoOpen());
}

TEST(PlayerController, VolumeAndMute) {
    Fixture f;
    f.player->SetVolume(70);
    EXPECT_EQ(f.settings.Volume, 7);
    EXPECT_EQ(f.engine.globalStreamVolume(), 70);
    f.player->Label9Click();
    EXPECT_TRUE(f.settings.Muted);
    EXPECT_EQ(f.engine.globalStreamVolume(), 0);
    EXPECT_EQ(f.player->stateImages().mute, QStringLiteral("31.png"));
    // Changing the volume ends the mute.
    f.player->SetVolume(40);
    EXPECT_FALSE(f.settings.Muted);
    EXPECT_EQ(f.engine.globalStreamVolume(), 40);
    EXPECT_EQ(f.player->stateImages().mute, QStringLiteral("3.png"));
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
