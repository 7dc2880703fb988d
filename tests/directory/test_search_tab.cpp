// The "Search Stations" tab inside the station manager, offscreen, against local HTTP servers
// that serve the three directories' replies: rows, status line, placeholder, header sorting,
// filter, play and add-to-favourites, and a server that never answers.

#include "directory/search_tab.h"
#include "directory_pages.h"
#include "library/edit_dialog.h"
#include "manager/station_manager.h"

#include "../common/local_http_server.h"
#include "../qt_app.h"

#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <algorithm>

namespace tl {
namespace {

using test::LocalHttpServer;
using test::PageStation;
using test::writeFile;
using test::XiphStation;

QByteArray joined(const QStringList& lines) {
    return lines.join(QStringLiteral("\r\n")).toUtf8() + "\r\n";
}

template <typename T> T* child(QWidget& w, const char* name) {
    return w.findChild<T*>(QString::fromLatin1(name));
}

class SearchTabTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        test::bypassProxyForLoopback();
        tl::test::ensureApp<QApplication>("test_search_tab");
    }

    // A manager whose directories all live on `server` (SHOUTcast on `shoutcastPort` when
    // given).
    std::unique_ptr<TForm2> open(const LocalHttpServer& server, int shoutcastPort = 0) {
        const QString base = QStringLiteral("http://localhost:%1").arg(server.port());
        writeFile(dir.filePath("config.ini"),
                  QStringLiteral("[Directory]\nShoutcast=http://localhost:%1/\nXiph=%2\n"
                                 "RadioBrowser=%2\nTimeout=30\n")
                      .arg(shoutcastPort ? shoutcastPort : server.port())
                      .arg(base)
                      .toUtf8());
        writeFile(dir.filePath("stations.xml"),
                  "<?xml version=\"1.0\"?>\n<stations><group Name=\"Found\" rolled=\"0\">"
                  "</group></stations>\n");
        LibraryStartup startup;
        startup.appPath = dir.path() + u'/';
        startup.serviceIndex = kServiceShoutcast;
        startup.searchResCount = 5; // 100 results
        PlayerLink link;
        link.playCommand = [this] {
            ++plays;
            if (form_)
                chosen = form_->selectedStation();
        };
        link.isStreamOpen = [] {
            return false;
        };
        link.setPrevNextEnabled = [this](bool p, bool n) {
            prevNext = {p, n};
        };
        link.setPlayEnabled = [this](bool e) {
            playEnabled = e;
        };
        link.showNotification = [this](const QString& text) {
            notes << text;
        };
        link.nowPlayingStationUrl = [this] {
            return nowPlaying;
        };
        link.searchChoiceChanged = [this](int s, int c) {
            choice = {s, c};
        };
        ManagerDialogs dialogs;
        dialogs.message = [this](const QString& text) {
            messages << text;
        };
        auto form = std::make_unique<TForm2>(startup, link, dialogs);
        form_ = form.get();
        form->resize(640, 420);
        form->show();
        child<QTabWidget>(*form, "PageControl1")->setCurrentIndex(TForm2::kSearchPage);
        return form;
    }

    // Chooses a service, types the text and presses Enter; waits (bounded) for the reply.
    void find(TForm2& form, int serverBoxIndex, const QString& text, bool wait = true) {
        auto* server = child<QComboBox>(form, "ServerBox");
        server->setCurrentIndex(serverBoxIndex);
        auto* edit = child<QComboBox>(form, "Edit1");
        edit->setEditText(text);
        QTest::keyClick(edit->lineEdit(), Qt::Key_Return);
        if (wait)
            waitIdle(form);
    }

    static bool waitIdle(TForm2& form) {
        QElapsedTimer t;
        t.start();
        while (form.searchTab()->fetcher().isRunning() && t.elapsed() < 30000)
            QApplication::processEvents(QEventLoop::AllEvents, 20);
        QApplication::processEvents();
        return !form.searchTab()->fetcher().isRunning();
    }

    static QStringList names(TForm2& form) {
        QStringList out;
        SearchTab* tab = form.searchTab();
        for (const ResultRow& row : tab->model()->rows())
            out << (row.stateIndex >= 0 ? tab->SearchResults()[row.stateIndex].Name : row.caption);
        return out;
    }

    static void clickHeader(TForm2& form, int section) {
        QHeaderView* header = form.searchTab()->listView()->header();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(section) + 5, 5));
    }

    QTemporaryDir dir;
    TForm2* form_ = nullptr;
    int plays = 0;
    std::optional<StationChoice> chosen;
    std::pair<bool, bool> prevNext{true, true};
    bool playEnabled = false;
    QStringList notes, messages;
    QString nowPlaying;
    std::pair<int, int> choice{-9, -9};
};

TEST_F(SearchTabTest, ThreeDirectoriesRowsSortingPlayAndFavourites) {
    QTemporaryDir www;
    QList<PageStation> sc;
    const char* rates[] = {"128", "64", "n/a", "320"};
    const char* listeners[] = {"10/100", "300/500", "5/5", "42/50"};
    for (int i = 0; i < 4; ++i) {
        PageStation s;
        s.name = QStringLiteral("SC %1").arg(QChar(u'A' + i));
        s.onAir = QStringLiteral("Song %1").arg(4 - i);
        s.link = QStringLiteral("sbin/tunein-station.pls?id=%1").arg(i);
        s.bitrate = QString::fromLatin1(rates[i]);
        s.listeners = QString::fromLatin1(listeners[i]);
        sc << s;
    }
    writeFile(www.filePath("directory/index.phtml"), joined(test::shoutcastPage(sc)));
    XiphStation x1;
    x1.name = QStringLiteral("Beats &amp; Breaks");
    XiphStation x2;
    x2.name = QStringLiteral("Jungle");
    x2.format = QStringLiteral("Ogg Vorbis 96 kbps");
    writeFile(www.filePath("index.php"), joined(test::xiphPage({x1, x2})));
    writeFile(www.filePath("json/stations/search"),
              "[" + test::radioBrowserStation("RB One", "http://s.example/1", 128) + "," +
                  test::radioBrowserStation("RB Two", "http://s.example/2", 0, "jazz", "France") +
                  "," + test::radioBrowserStation("RB Script", "javascript:alert(1)", 64) + "," +
                  test::radioBrowserStation("RB Off", "http://s.example/off", 64)
                      .replace("\"lastcheckok\":1", "\"lastcheckok\":0") +
                  "]");
    LocalHttpServer server;
    ASSERT_TRUE(server.start(www.path(), dir.filePath("requests.json")));
    writeFile(www.filePath("json/servers"),
              QStringLiteral(R"([{"name":"localhost:%1"}])").arg(server.port()).toUtf8());
    auto form = open(server);
    SearchTab* tab = form->searchTab();
    auto* status = child<QLabel>(*form, "statlabl");
    auto* add = child<QToolButton>(*form, "ToolButton2");

    // The stored choices were applied; the service box shows host names.
    auto* serverBox = child<QComboBox>(*form, "ServerBox");
    ASSERT_EQ(serverBox->count(), 3);
    EXPECT_EQ(serverBox->itemText(0), "localhost");
    EXPECT_EQ(child<QComboBox>(*form, "rbox")->currentText(), "100 results");
    EXPECT_EQ(child<QComboBox>(*form, "Edit1")->count(), 63);

    find(*form, 0, QStringLiteral("rock"));
    EXPECT_EQ(names(*form), QStringList({"SC A", "SC B", "SC C", "SC D"}));
    EXPECT_EQ(status->text(), "4 stations");
    EXPECT_EQ(tab->model()->headerData(2, Qt::Horizontal, Qt::DisplayRole), "Listeners");
    EXPECT_EQ(tab->selectedRow(), 0);
    EXPECT_TRUE(add->isEnabled());
    EXPECT_EQ(prevNext, std::make_pair(false, true));
    EXPECT_TRUE(playEnabled);
    EXPECT_EQ(
        tab->SearchResults()[0].Url,
        QStringLiteral("http://localhost:%1/sbin/tunein-station.pls?id=0").arg(server.port()));

    // Bitrate twice: highest first, then lowest first; a text bitrate stays last.
    clickHeader(*form, 1);
    EXPECT_EQ(names(*form), QStringList({"SC D", "SC A", "SC B", "SC C"}));
    clickHeader(*form, 1);
    EXPECT_EQ(names(*form), QStringList({"SC B", "SC A", "SC D", "SC C"}));
    // The recordings list shares the direction: a click there flips the next sort here.
    form->sortState().flip();
    clickHeader(*form, 2); // listeners by the current figure, lowest first
    EXPECT_EQ(names(*form), QStringList({"SC C", "SC A", "SC D", "SC B"}));
    clickHeader(*form, 0); // captions (the song on air), highest first
    EXPECT_EQ(names(*form), QStringList({"SC A", "SC B", "SC C", "SC D"}));

    // Double-click plays the row's own record, also after sorting.
    clickHeader(*form, 0);
    QTreeView* list = tab->listView();
    const QPoint row1 = list->visualRect(tab->model()->index(1, 0)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row1);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row1);
    EXPECT_EQ(plays, 1);
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(chosen->Name, "SC C");
    EXPECT_EQ(chosen->Category, 1);
    EXPECT_EQ(prevNext, std::make_pair(true, true));

    // Previous and next through the manager's seam.
    form->selectCurrentListRow(3);
    EXPECT_EQ(form->currentListSelectedRow(), 3);
    EXPECT_EQ(prevNext, std::make_pair(true, false));

    // The filter keeps each row's record.
    auto* filter = child<QLineEdit>(*form, "FSEdit");
    filter->setText(QStringLiteral("song 2"));
    EXPECT_EQ(names(*form), QStringList({"SC C"}));
    filter->setText(QStringLiteral("sc b"));
    EXPECT_EQ(names(*form), QStringList({"SC B"}));
    form->FSClearButtonClick();
    EXPECT_EQ(tab->rowCount(), 4);

    // Add to Favourites through the edit dialog, with the bitrate preselected; twice is once.
    tab->selectRow(0);
    const QString name = tab->SearchResults()[tab->model()->rows()[0].stateIndex].Name;
    QString dialogName, dialogRate;
    QTimer::singleShot(0, [&] {
        TEditForm* edit = form->editForm();
        dialogName = edit->nameEdit()->text();
        dialogRate = edit->bitrateBox()->currentText();
        edit->PngBitBtn1Click(); // OK
    });
    add->click();
    EXPECT_EQ(dialogName, name);
    EXPECT_EQ(dialogRate, "128");
    EXPECT_TRUE(form->favourites().IsFavouriteUrl(tab->SearchResults()[0].Url));
    add->click();
    EXPECT_EQ(notes.last(), "Station already available in Your Favourites!");
    EXPECT_EQ(child<QLabel>(*form, "statlabl")->text(), "4 stations")
        << "the favourites' count does not replace the search's";

    // The now-playing mark: the theme's mark over the playing row's icon, and nothing else
    // changes (compared with a tolerance of 2 per channel: smooth drawing may round apart).
    const QImage before = list->viewport()->grab().toImage();
    nowPlaying = tab->SearchResults()[tab->model()->rows()[2].stateIndex].Url;
    list->viewport()->update();
    const QImage after = list->viewport()->grab().toImage();
    const QRect playing = list->visualRect(list->model()->index(2, 0));
    QImage want = before.convertToFormat(after.format());
    {
        QPainter p(&want);
        p.drawImage(playing.topLeft() + QPoint(15, 15), tab->theme().nowPlaying);
    }
    ASSERT_EQ(want.size(), after.size());
    int off = 0, marked = 0;
    for (int y = 0; y < after.height(); ++y)
        for (int x = 0; x < after.width(); ++x) {
            const QRgb a = after.pixel(x, y), w = want.pixel(x, y), b = before.pixel(x, y);
            off += std::max({std::abs(qRed(a) - qRed(w)), std::abs(qGreen(a) - qGreen(w)),
                             std::abs(qBlue(a) - qBlue(w))}) > 2;
            marked += a != b;
        }
    EXPECT_EQ(off, 0) << "pixels unlike the mark over the row as it was";
    EXPECT_GT(marked, 16) << "the mark shows";
    // TL_SEARCH_SHOT=file.png keeps a picture of the window for a person to look at.
    if (qEnvironmentVariableIsSet("TL_SEARCH_SHOT"))
        form->grab().save(qEnvironmentVariable("TL_SEARCH_SHOT"));

    find(*form, 1, QStringLiteral("Drum and Bass"));
    EXPECT_EQ(names(*form), QStringList({"Beats & Breaks", "Jungle"}));
    EXPECT_EQ(tab->SearchResults()[1].Quality, "ogg vorbis 96");
    EXPECT_EQ(tab->model()->headerData(1, Qt::Horizontal, Qt::DisplayRole), "Quality");

    find(*form, 2, QStringLiteral("Rock"));
    EXPECT_EQ(names(*form), QStringList({"RB One", "RB Two"}));
    EXPECT_EQ(tab->model()->headerData(2, Qt::Horizontal, Qt::DisplayRole), "Country");
    EXPECT_EQ(status->text(), "2 stations (skipped: 1 with an unplayable address, 1 broken)");
    // The "Station" column keeps its 300 pixels beside the other two.
    EXPECT_GE(list->minimumWidth(), 300 + 60 + 100);
    EXPECT_EQ(choice.first, kServiceRadioBrowser);
    // A double-click counts the play at the server that answered.
    list->setFocus();
    tab->ListView1DblClick();
    QElapsedTimer t;
    t.start();
    bool counted = false;
    while (!counted && t.elapsed() < 10000) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QFile log(dir.filePath("requests.json"));
        counted = log.open(QIODevice::ReadOnly) && log.readAll().contains("/json/url/96062a7b");
    }
    EXPECT_TRUE(counted);
    // So does the player's own play button, which takes the station through the manager.
    auto clicks = [this] {
        QFile log(dir.filePath("requests.json"));
        return log.open(QIODevice::ReadOnly) ? log.readAll().count("/json/url/96062a7b") : 0;
    };
    ASSERT_TRUE(form->selectedStation().has_value());
    t.restart();
    while (clicks() < 2 && t.elapsed() < 10000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(clicks(), 2);
    if (qEnvironmentVariableIsSet("TL_SEARCH_SHOT"))
        form->grab().save(qEnvironmentVariable("TL_SEARCH_SHOT") + QStringLiteral(".json.png"));

    // "Show broken stations" lists the station the directory's check found off the air.
    child<QCheckBox>(*form, "BrokenBox")->setChecked(true);
    find(*form, 2, QStringLiteral("Rock"));
    EXPECT_EQ(names(*form), QStringList({"RB One", "RB Two", "RB Off"}));
    EXPECT_EQ(status->text(), "3 stations (skipped: 1 with an unplayable address)");
    QFile log(dir.filePath("requests.json"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_TRUE(log.readAll().contains("hidebroken=false"));

    // A failed search leaves nothing for the filter to bring back, and the player's previous
    // and next stay off on the empty tab after a change of tabs.
    server.stop();
    find(*form, 2, QStringLiteral("Rock"));
    EXPECT_TRUE(status->text().startsWith("Search failed: ")) << status->text().toStdString();
    filter->setText(QStringLiteral("RB"));
    EXPECT_EQ(tab->rowCount(), 0);
    form->FSClearButtonClick();
    child<QTabWidget>(*form, "PageControl1")->setCurrentIndex(TForm2::kFavouritesPage);
    prevNext = {true, true};
    child<QTabWidget>(*form, "PageControl1")->setCurrentIndex(TForm2::kSearchPage);
    EXPECT_EQ(prevNext, std::make_pair(false, false));
}

TEST_F(SearchTabTest, PlaceholderBrokenRepliesAndAServerThatNeverAnswers) {
    QTemporaryDir www;
    writeFile(www.filePath("index.php"), "<html><body>Service moved</body></html>\n\n");
    writeFile(www.filePath("json/stations/search"), "[{\"name\":\"cut");
    LocalHttpServer server;
    ASSERT_TRUE(server.start(www.path()));
    LocalHttpServer silent;
    ASSERT_TRUE(silent.start(www.path(), {}, {"--status", "0"}));
    writeFile(www.filePath("json/servers"),
              QStringLiteral(R"([{"name":"localhost:%1"}])").arg(server.port()).toUtf8());
    auto form = open(server, silent.port());
    SearchTab* tab = form->searchTab();
    auto* status = child<QLabel>(*form, "statlabl");

    // A JSON reply cut short is no empty search: the server failed.
    find(*form, 2, QStringLiteral("Rock"));
    EXPECT_EQ(status->text(), "Search failed: the directory's reply could not be read");
    EXPECT_EQ(tab->rowCount(), 0);

    for (int box : {1}) {
        SCOPED_TRACE(box);
        find(*form, box, QStringLiteral("Rock"));
        EXPECT_EQ(names(*form), QStringList({"No stations found."}));
        EXPECT_TRUE(tab->showsPlaceholder());
        EXPECT_EQ(status->text(), "1 stations");
        EXPECT_FALSE(form->selectedStation().has_value());
        tab->ListView1DblClick();
        EXPECT_EQ(plays, 0);
        tab->PopupMenu2Popup(QPoint(0, 0));
        auto* menu = child<QMenu>(*form, "PopupMenu2");
        EXPECT_FALSE(menu->actions().front()->isEnabled());
        menu->hide();
    }

    if (qEnvironmentVariableIsSet("TL_SEARCH_SHOT"))
        form->grab().save(qEnvironmentVariable("TL_SEARCH_SHOT") + QStringLiteral(".none.png"));

    // A server that never answers: the window stays responsive and busy.
    find(*form, 0, QStringLiteral("Rock"), false);
    bool ticked = false;
    QTimer::singleShot(100, [&ticked] { ticked = true; });
    QElapsedTimer t;
    t.start();
    while (!ticked && t.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_TRUE(ticked);
    EXPECT_TRUE(tab->fetcher().isRunning());
    EXPECT_FALSE(child<QPushButton>(*form, "PngSpeedButton1")->isEnabled());
    EXPECT_FALSE(child<QLineEdit>(*form, "FSEdit")->isEnabled());
    EXPECT_EQ(tab->rowCount(), 0);
    // The service box stays usable: Enter there starts a new search that ends the old one.
    auto* serverBox = child<QComboBox>(*form, "ServerBox");
    EXPECT_TRUE(serverBox->isEnabled());
    serverBox->setCurrentIndex(1);
    t.restart();
    QTest::keyClick(serverBox, Qt::Key_Return);
    EXPECT_LT(t.elapsed(), 5000);
    ASSERT_TRUE(waitIdle(*form));
    EXPECT_TRUE(tab->showsPlaceholder());
    EXPECT_TRUE(child<QPushButton>(*form, "PngSpeedButton1")->isEnabled());

    // A failed search says so in the status line.
    server.stop();
    find(*form, 1, QStringLiteral("Rock"));
    EXPECT_TRUE(status->text().startsWith("Search failed: ")) << status->text().toStdString();
    EXPECT_EQ(tab->rowCount(), 0);

    // Closing and destroying the manager while it waits does not hang.
    find(*form, 0, QStringLiteral("Rock"), false);
    form->close();
    t.restart();
    form_ = nullptr;
    form.reset();
    EXPECT_LT(t.elapsed(), 5000);
    QApplication::restoreOverrideCursor();
}

// A PNG whose header declares width x height (valid checksums, nothing behind the header).
QByteArray pngHeader(quint32 width, quint32 height) {
    auto be = [](quint32 v) {
        const char bytes[4] = {static_cast<char>(v >> 24), static_cast<char>(v >> 16),
                               static_cast<char>(v >> 8), static_cast<char>(v)};
        return QByteArray(bytes, 4);
    };
    const QByteArray ihdr = "IHDR" + be(width) + be(height) + QByteArray("\x08\x06\0\0\0", 5);
    quint32 crc = 0xFFFFFFFFu;
    for (const char c : ihdr) {
        crc ^= static_cast<quint8>(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + be(13) + ihdr + be(~crc);
}

using test::peakResidentKb;

// Station logos: fetched from the directory's favicon addresses, shown in the rows, cached on
// disk (a second search asks nothing); a huge file and a 30000 x 30000 header are refused
// without the memory going up.
TEST_F(SearchTabTest, LogosFetchedCachedAndBounded) {
    QTemporaryDir cacheHome;
    qputenv("XDG_CACHE_HOME", cacheHome.path().toUtf8());
    QTemporaryDir www;
    QImage red(200, 100, QImage::Format_ARGB32);
    red.fill(Qt::red);
    QByteArray png;
    {
        QBuffer b(&png);
        b.open(QIODevice::WriteOnly);
        red.save(&b, "PNG");
    }
    writeFile(www.filePath("logo.png"), png);
    writeFile(www.filePath("huge.png"), png + QByteArray(20 << 20, '\0'));
    writeFile(www.filePath("giant.png"), pngHeader(30000, 30000));
    LocalHttpServer server;
    ASSERT_TRUE(server.start(www.path(), dir.filePath("requests.json")));
    auto station = [&](const char* name, const char* logo) {
        return test::radioBrowserStation(name, "http://s.example/" + QString::fromLatin1(name), 128)
            .replace("http://radio.example/i.png", server.url(logo).toUtf8());
    };
    writeFile(www.filePath("json/stations/search"),
              "[" + station("Red", "logo.png") + "," + station("Huge", "huge.png") + "," +
                  station("Giant", "giant.png") + "," +
                  station("Script", "x").replace(server.url("x").toUtf8(), "javascript:x") + "]");
    writeFile(www.filePath("json/servers"),
              QStringLiteral(R"([{"name":"localhost:%1"}])").arg(server.port()).toUtf8());
    auto logged = [this](const char* path) {
        QFile log(dir.filePath("requests.json"));
        return log.open(QIODevice::ReadOnly) ? log.readAll().count(path) : 0;
    };

    const long before = peakResidentKb();
    {
        auto form = open(server);
        SearchTab* tab = form->searchTab();
        find(*form, 2, QStringLiteral("Rock"));
        ASSERT_EQ(tab->rowCount(), 4);
        QElapsedTimer t;
        t.start();
        while ((logged("/huge.png") + logged("/giant.png") + logged("/logo.png") < 3 ||
                !tab->logoFor(tab->SearchResults()[0].Favicon)) &&
               t.elapsed() < 15000)
            QApplication::processEvents(QEventLoop::AllEvents, 20);
        QTest::qWait(300); // the refused ones have had their time to come back
        const QImage* logo = tab->logoFor(tab->SearchResults()[0].Favicon);
        ASSERT_NE(logo, nullptr);
        EXPECT_EQ(logo->size(), QSize(48, 24)); // twice the icon place, aspect kept
        EXPECT_EQ(tab->logoFor(tab->SearchResults()[1].Favicon), nullptr);
        EXPECT_EQ(tab->logoFor(tab->SearchResults()[2].Favicon), nullptr);
        EXPECT_EQ(tab->SearchResults()[3].Favicon, ""); // not http(s): never asked for
        EXPECT_EQ(tab->logos().fetchesSent(), 3);
        // The row shows the logo in the icon place.
        const QRect row = tab->listView()->visualRect(tab->model()->index(0, 0));
        const QImage shot = tab->listView()->viewport()->grab().toImage();
        EXPECT_EQ(shot.pixelColor(row.left() + 16, row.top() + 17), QColor(Qt::red));
        if (qEnvironmentVariableIsSet("TL_SEARCH_SHOT"))
            form->grab().save(qEnvironmentVariable("TL_SEARCH_SHOT") + ".logos.png");
    }
    EXPECT_LT(peakResidentKb() - before, 40 * 1024) << "nothing was decoded at its declared size";
    EXPECT_EQ(QDir(cacheHome.filePath("tunelark/logos")).entryList(QDir::Files).size(), 1);

    // A new run: the cached logo shows with the rows, and nothing is fetched again.
    auto form = open(server);
    find(*form, 2, QStringLiteral("Rock"));
    SearchTab* tab = form->searchTab();
    EXPECT_NE(tab->logoFor(tab->SearchResults()[0].Favicon), nullptr);
    QTest::qWait(300);
    EXPECT_EQ(logged("/logo.png"), 1);

    // The cache keeps to its bound: the oldest files go first.
    QTemporaryDir small;
    LogoCache cache(small.path() + u'/', 2500);
    for (int i = 0; i < 4; ++i) {
        QImage noise(48, 48, QImage::Format_ARGB32);
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 48; ++x)
                noise.setPixel(x, y, qRgba((x * 37 + i) & 255, (y * 91) & 255, (x * y) & 255, 255));
        cache.store(QStringLiteral("http://l/%1").arg(i), noise);
        QFile stored(cache.fileFor(QStringLiteral("http://l/%1").arg(i)));
        ASSERT_TRUE(stored.open(QIODevice::ReadWrite));
        stored.setFileTime(QDateTime::currentDateTime().addSecs(i - 10),
                           QFileDevice::FileModificationTime);
    }
    EXPECT_FALSE(cache.find("http://l/3") == std::nullopt) << "the newest stays";
    EXPECT_EQ(cache.find("http://l/0"), std::nullopt) << "the oldest went";
    qunsetenv("XDG_CACHE_HOME");
}

} // namespace
} // namespace tl
