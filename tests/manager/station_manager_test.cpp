// The station manager window with its favourites list and edit dialog, offscreen.

#include "../library/library_fixture.h"
#include "../qt_app.h"
#include "library/edit_dialog.h"
#include "library/favourites_view.h"
#include "manager/station_manager.h"

#include "../whole_controls.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <functional>

using namespace tl;
using namespace tl::test;

namespace {

// Rows: 0 Rock, 1 r1, 2 r2, 3 News (collapsed), 4 Talk, 5 t1
const QByteArray kFavourites =
    root({group("Rock", 0, {"r1", "r2"}, "Color=\"255\""), group("News", 1, {"n1"}),
          group("Talk", 0, {"t1"}, "Color=\"$00FF00\"")});

class ManagerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { tl::test::ensureApp<QApplication>("test_library_gui"); }

    QString path() const { return dir.filePath(QStringLiteral("stations.xml")); }

    std::unique_ptr<TForm2> open(const QByteArray& content, LibraryStartup startup = {}) {
        writeBytes(path(), content);
        startup.appPath = dir.path() + QLatin1Char('/');
        ManagerDialogs dialogs;
        dialogs.confirm = [this](const QString&, const QString& instruction, const QString&) {
            questions << instruction;
            return answer;
        };
        dialogs.message = [this](const QString& text) {
            messages << text;
        };
        PlayerLink link;
        link.playCommand = [this] {
            ++plays;
        };
        link.isStreamOpen = [this] {
            return streamOpen;
        };
        link.stationStatus = [this](const QString& info) {
            statusInfo = info;
        };
        link.setTimeText = [this](const QString& text) {
            timeText = text;
        };
        link.setPrevNextEnabled = [this](bool p, bool n) {
            prevNext = {p, n};
        };
        link.showNotification = [this](const QString& text) {
            notes << text;
        };
        return std::make_unique<TForm2>(startup, link, dialogs);
    }

    QTemporaryDir dir;
    QStringList questions, messages, notes;
    int answer = 6;
    int plays = 0;
    bool streamOpen = false;
    QString statusInfo, timeText;
    std::pair<bool, bool> prevNext{true, true};
};

template <typename T> T* child(QWidget& w, const char* name) {
    return w.findChild<T*>(QString::fromLatin1(name));
}

QPoint rowCentre(FavouritesListView* view, int row) {
    return view->visualRect(view->model()->index(row, 0)).center();
}

TEST_F(ManagerTest, OpensWithItsThreeTabsInOrder) {
    LibraryStartup startup;
    startup.lastIndex = 99; // past the last row: row 0
    startup.lastInfo = QStringLiteral("last info");
    auto form = open(kFavourites, startup);
    EXPECT_EQ(form->windowTitle(), "Stations");
    auto* tabs = child<QTabWidget>(*form, "PageControl1");
    ASSERT_TRUE(tabs);
    ASSERT_EQ(tabs->count(), 3);
    EXPECT_EQ(tabs->tabText(0), "My Favourites");
    EXPECT_EQ(tabs->tabText(1), "Search Stations");
    EXPECT_EQ(tabs->tabText(2), "My Recordings");
    EXPECT_EQ(form->currentPage(), 1) << "until first shown";
    for (const char* name :
         {"ToolButton1", "NewGroupBtn", "ToolButton2", "ToolButton3", "FSClearButton"})
        EXPECT_TRUE(child<QToolButton>(*form, name)) << name;
    EXPECT_EQ(child<QLineEdit>(*form, "FSEdit")->placeholderText(), "Search");
    EXPECT_EQ(form->lastStationRow(), 0);
    EXPECT_EQ(statusInfo, "last info");
    EXPECT_EQ(timeText, "00:00");
    EXPECT_EQ(child<QLabel>(*form, "statlabl")->text(), "6 stations");

    form->show();
    EXPECT_EQ(form->currentPage(), 0);
    EXPECT_EQ(prevNext, std::make_pair(false, true)) << "row 0 of 6 selected";
}

TEST_F(ManagerTest, DrawsGroupBarsCapsAndTheSelectedRow) {
    auto form = open(kFavourites);
    form->resize(600, 400);
    form->show();
    FavouritesListView* view = form->favouritesView();
    view->selectRow(1);
    QApplication::processEvents();
    const QImage image = view->viewport()->grab().toImage();
    const int right = view->viewport()->width();
    ASSERT_GT(right, 400);
    const auto& t = form->theme();
    auto rgb = [&](int x, int y) {
        return image.pixelColor(x, y).rgb() & 0xFFFFFF;
    };

    // Group "Rock": its colour (red) in the pure stripe at the bar's bottom ...
    EXPECT_EQ(rgb(right / 2, 30), 0xFF0000u);
    // ... darkened under the bar image, with the caps rounding both ends off.
    const QColor mid = image.pixelColor(right / 2 + 3, 20);
    EXPECT_GT(mid.red(), 30);
    EXPECT_LT(mid.red(), 160);
    EXPECT_EQ(mid.green(), 0);
    EXPECT_EQ(rgb(0, 0), 0u);
    EXPECT_EQ(rgb(right - 1, 0), 0u);
    // Expanded arrow in the right cap.
    EXPECT_EQ(rgb(right - 16, 13), 0xE8E8E8u);
    // A collapsed group ("News", row 3) shows the other arrow, pointing right.
    EXPECT_EQ(rgb(right - 32 + 11, 12), 0xE8E8E8u) << "expanded arrow's left wing";
    EXPECT_NE(rgb(right - 32 + 11, 3 * kRowHeight + 12), 0xE8E8E8u);
    EXPECT_EQ(rgb(right - 32 + 15, 3 * kRowHeight + 14), 0xE8E8E8u) << "collapsed arrow";
    // Rows are 34 high; the two lines below the images show the list background.
    EXPECT_EQ(rgb(right / 2, 33), 0u);

    // Selected station row 1: middle image between the caps, background at the round corners.
    const QColor selected = t.rowImages[ListTheme::kListC].pixelColor(16, 16);
    EXPECT_EQ(rgb(right / 2, kRowHeight + 16), selected.rgb() & 0xFFFFFF);
    EXPECT_EQ(rgb(1, kRowHeight + 16), selected.rgb() & 0xFFFFFF) << "left cap";
    EXPECT_EQ(rgb(0, kRowHeight), 0u);
    EXPECT_EQ(rgb(right - 1, kRowHeight), 0u);
    // Unselected row 2 (even index) uses list1.
    EXPECT_EQ(rgb(right / 2, 2 * kRowHeight + 16),
              t.rowImages[ListTheme::kList1].pixelColor(0, 0).rgb() & 0xFFFFFF);
    // Green group "Talk" at row 4.
    EXPECT_EQ(rgb(right / 2, 4 * kRowHeight + 30), 0x00FF00u);
    EXPECT_EQ(view->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
}

TEST_F(ManagerTest, DropThroughTheModelMovesTheElement) {
    auto form = open(kFavourites);
    form->show();
    FavouritesModel* model = form->favouritesModel();
    std::unique_ptr<QMimeData> mime(model->mimeData({model->index(4, 0)})); // group Talk
    ASSERT_TRUE(model->dropMimeData(mime.get(), Qt::MoveAction, -1, -1, model->index(1, 0)));
    EXPECT_EQ(outline(path()), "Talk[t1] Rock[r1,r2] News[n1]");
    EXPECT_EQ(model->rowCount(), 6);
    // Rows now: 0 Talk, 1 t1, 2 Rock, 3 r1, 4 r2, 5 News (collapsed).
    std::unique_ptr<QMimeData> station(model->mimeData({model->index(1, 0)})); // t1
    ASSERT_TRUE(model->dropMimeData(station.get(), Qt::MoveAction, -1, -1, model->index(5, 0)));
    EXPECT_EQ(outline(path()), "Talk[] Rock[r1,r2] News[t1,n1]");
    // Below the last row: nothing.
    const QByteArray before = readBytes(path());
    std::unique_ptr<QMimeData> again(model->mimeData({model->index(1, 0)}));
    model->dropMimeData(again.get(), Qt::MoveAction, model->rowCount(), 0, {});
    EXPECT_EQ(readBytes(path()), before);
}

TEST_F(ManagerTest, DragOverScrollsNearTheEdgesAndMarksTheTarget) {
    QByteArray many = "<stations><group Name=\"G\" rolled=\"0\">";
    for (int i = 0; i < 30; ++i)
        many += "<station><Name>s" + QByteArray::number(i) + "</Name></station>";
    auto form = open(many + "</group></stations>");
    form->resize(600, 350);
    form->show();
    FavouritesListView* view = form->favouritesView();
    QScrollBar* bar = view->verticalScrollBar();
    bar->setValue(10);
    QMimeData mime;
    mime.setData(QString::fromLatin1(FavouritesModel::kMimeType), "1");
    auto dragTo = [&](int y) {
        QDragMoveEvent move(QPoint(100, y), Qt::MoveAction, &mime, Qt::LeftButton, {});
        QApplication::sendEvent(view->viewport(), &move);
    };
    QDragEnterEvent enter(QPoint(100, 100), Qt::MoveAction, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(view->viewport(), &enter);
    dragTo(5);
    EXPECT_EQ(bar->value(), 9);
    dragTo(5);
    EXPECT_EQ(bar->value(), 8);
    dragTo(view->viewport()->height() - 5);
    EXPECT_EQ(bar->value(), 9);
    dragTo(kRowHeight + 10);
    EXPECT_EQ(bar->value(), 9) << "no scrolling away from the edges";
    EXPECT_EQ(view->favouritesDelegate()->dropTarget(), 10);

    const QImage image = view->viewport()->grab().toImage();
    const int x = view->viewport()->width() / 2;
    EXPECT_EQ(image.pixelColor(x, kRowHeight).rgb() & 0xFFFFFF, 0u) << "drop-target line";
    EXPECT_EQ(image.pixelColor(x, kRowHeight + 1).rgb() & 0xFFFFFF, 0u);
    EXPECT_NE(image.pixelColor(x, kRowHeight + 2).rgb() & 0xFFFFFF, 0u);
    EXPECT_NE(image.pixelColor(x, 0).rgb() & 0xFFFFFF, 0u) << "no line on the other rows";

    // A drop that does not come from this list changes nothing.
    const QByteArray before = readBytes(path());
    QDropEvent drop(QPointF(100, kRowHeight + 10), Qt::MoveAction, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(view->viewport(), &drop);
    EXPECT_EQ(readBytes(path()), before);
    EXPECT_EQ(view->favouritesDelegate()->dropTarget(), -1);
}

TEST_F(ManagerTest, EnterPlaysAStationAndTogglesAGroup) {
    auto form = open(kFavourites);
    form->show();
    FavouritesListView* view = form->favouritesView();
    view->setFocus();
    view->selectRow(1);
    QTest::keyClick(view, Qt::Key_Return);
    EXPECT_EQ(plays, 1);
    view->selectRow(3); // News, collapsed
    QTest::keyClick(view, Qt::Key_Return);
    EXPECT_EQ(form->favourites().rowCount(), 7);
    EXPECT_EQ(view->selectedRow(), 3);
}

TEST_F(ManagerTest, FilterBoxShowsOnlyMatchingStations) {
    auto form = open(kFavourites);
    form->show();
    auto* filter = child<QLineEdit>(*form, "FSEdit");
    filter->setText(QStringLiteral("1"));
    EXPECT_TRUE(form->FilterActive());
    QStringList names;
    for (const TStation& s : form->favourites().stations())
        names << s.Name;
    EXPECT_EQ(names, QStringList({"Rock", "r1", "News", "n1", "Talk", "t1"}))
        << "every group open, only matching stations";
    filter->setText(QStringLiteral("[x")); // not a valid pattern: no crash, no stations
    EXPECT_EQ(form->favourites().rowCount(), 3);
    EXPECT_TRUE(messages.isEmpty());
    filter->setFocus();
    QTest::keyClick(filter, Qt::Key_Escape);
    EXPECT_FALSE(form->FilterActive());
    EXPECT_TRUE(filter->text().isEmpty());
    EXPECT_EQ(form->favourites().rowCount(), 6) << "News is collapsed again";
    EXPECT_EQ(form->favourites().stations()[4].Name, "Talk");
}

TEST_F(ManagerTest, DeleteAsksThenDeletes) {
    auto form = open(kFavourites);
    form->show();
    FavouritesListView* view = form->favouritesView();
    view->setFocus();
    view->selectRow(2);
    QTest::keyClick(view, Qt::Key_Delete);
    ASSERT_EQ(questions, QStringList({"Are You sure wish to delete this station?"}));
    EXPECT_EQ(outline(path()), "Rock[r1] News[n1] Talk[t1]");

    answer = 7;
    view->selectRow(0);
    form->ToolButton3Click();
    EXPECT_EQ(questions.size(), 2);
    EXPECT_EQ(questions.last(), "Are You sure wish to delete this group?");
    EXPECT_EQ(outline(path()), "Rock[r1] News[n1] Talk[t1]");
    EXPECT_EQ(view->selectedRow(), -1) << "rebuilt after No on a group";
}

TEST_F(ManagerTest, MouseReleaseOverAGroupTogglesIt) {
    auto form = open(kFavourites);
    form->resize(600, 400);
    form->show();
    FavouritesListView* view = form->favouritesView();
    QTest::mouseClick(view->viewport(), Qt::RightButton, {}, rowCentre(view, 3)); // News
    EXPECT_EQ(form->favourites().rowCount(), 7);
    EXPECT_EQ(view->selectedRow(), 3) << "the toggled row is selected again";
    QString names;
    for (const TStation& s : form->favourites().stations())
        names += s.Name + QLatin1Char(' ');
    EXPECT_EQ(names, "Rock r1 r2 News n1 Talk t1 ");
    child<QMenu>(*form, "PopupMenu1")->hide(); // the context menu opened on the release
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rowCentre(view, 0)); // Rock
    names.clear();
    for (const TStation& s : form->favourites().stations())
        names += s.Name + QLatin1Char(' ');
    EXPECT_EQ(names, "Rock News n1 Talk t1 ");
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rowCentre(view, 2)); // n1
    EXPECT_EQ(form->favourites().rowCount(), 5);
}

TEST_F(ManagerTest, SelectionForThePlayer) {
    streamOpen = true;
    auto form = open(kFavourites);
    form->show();
    FavouritesListView* view = form->favouritesView();
    view->selectRow(2);
    const auto choice = form->selectedStation();
    ASSERT_TRUE(choice);
    EXPECT_EQ(choice->Category, 0);
    EXPECT_EQ(choice->Index, 2);
    EXPECT_EQ(choice->Name, "r2");
    EXPECT_EQ(choice->Url, "http://x/r2");
    form->ListBox2DblClick();
    EXPECT_EQ(plays, 2) << "stop, then play the selected one";
    view->selectRow(0);
    EXPECT_FALSE(form->selectedStation());
    form->ListBox2DblClick();
    EXPECT_EQ(plays, 2) << "group rows do not play";
    child<QTabWidget>(*form, "PageControl1")->setCurrentIndex(1);
    EXPECT_FALSE(form->selectedStation());
}

TEST_F(ManagerTest, UnreadableFileIsReportedAndKeptAside) {
    auto form = open("<stations><group");
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(form->favourites().rowCount(), 0);
    TEditForm* edit = form->editForm();
    edit->prepareNewGroup();
    edit->groupNameEdit()->setText(QStringLiteral("Fresh"));
    edit->PngBitBtn1Click();
    ASSERT_EQ(messages.size(), 2);
    EXPECT_TRUE(messages.last().contains("stations.xml.broken-")) << messages.last().toStdString();
    EXPECT_EQ(outline(path()), "Fresh[]");
}

TEST_F(ManagerTest, EditDialogFlows) {
    auto form = open(kFavourites);
    form->show();
    TEditForm* edit = form->editForm();

    QGuiApplication::clipboard()->setText(QStringLiteral("http://clip/stream"));
    edit->prepareNewStation();
    edit->FormShow();
    EXPECT_EQ(edit->windowTitle(), "Edit Station");
    EXPECT_EQ(edit->urlEdit()->text(), "http://clip/stream");
    EXPECT_EQ(edit->bitrateBox()->currentText(), "112");
    EXPECT_EQ(edit->groupsBox()->count(), 3);
    edit->PngBitBtn1Click(); // no name
    EXPECT_EQ(messages.last(), "Input station name");
    EXPECT_TRUE(edit->nameFieldMarked());
    edit->nameEdit()->setText(QStringLiteral("Clip"));
    edit->groupsBox()->setCurrentIndex(2);
    edit->PngBitBtn1Click();
    EXPECT_FALSE(edit->nameFieldMarked());
    EXPECT_EQ(outline(path()), "Rock[r1,r2] News[n1] Talk[t1,Clip]");
    EXPECT_EQ(notes.last(), "Station added to Your Favourites");

    form->favouritesView()->selectRow(1);
    edit->prepareEdit(*form->selectedRecord());
    EXPECT_EQ(edit->bitrateBox()->currentText(), "128");
    edit->nameEdit()->setText(QStringLiteral("r1 renamed"));
    edit->PngBitBtn1Click();
    EXPECT_EQ(outline(path()), "Rock[r1 renamed,r2] News[n1] Talk[t1,Clip]");

    // Adding something that is a favourite already opens nothing.
    form->AddSearchResult(QStringLiteral("x"), QStringLiteral("http://x/n1"), QStringLiteral("64"));
    EXPECT_EQ(notes.last(), "Station already available in Your Favourites!");
}

} // namespace

namespace {

// One group "G" with `count` stations s0, s1, ... (rows: 0 G, 1 s0, 2 s1, ...).
QByteArray longList(int count) {
    QByteArray out = "<stations><group Name=\"G\" rolled=\"0\">";
    for (int i = 0; i < count; ++i)
        out += "<station><Name>s" + QByteArray::number(i) + "</Name><Url>http://x/" +
               QByteArray::number(i) + "</Url></station>";
    return out + "</group></stations>";
}

QStringList rowNames(TForm2& form) {
    QStringList names;
    for (const TStation& s : form.favourites().stations())
        names << s.Name;
    return names;
}

bool rowFullyVisible(FavouritesListView* view, int row) {
    return view->viewport()->rect().contains(view->visualRect(view->model()->index(row, 0)));
}

TEST_F(ManagerTest, EveryTabChangeRebuildsTheFavouritesUnfiltered) {
    auto form = open(kFavourites);
    form->show();
    const QStringList unfiltered = rowNames(*form);
    auto* tabs = child<QTabWidget>(*form, "PageControl1");
    auto* filter = child<QLineEdit>(*form, "FSEdit");
    for (int other : {1, 2}) {
        filter->setText(QStringLiteral("1"));
        ASSERT_EQ(rowNames(*form), QStringList({"Rock", "r1", "News", "n1", "Talk", "t1"}));
        tabs->setCurrentIndex(other);
        EXPECT_EQ(rowNames(*form), unfiltered) << "tab " << other;
        EXPECT_TRUE(filter->text().isEmpty());
        tabs->setCurrentIndex(0);
        EXPECT_EQ(rowNames(*form), unfiltered) << "back from tab " << other;
        EXPECT_EQ(form->lastStationRow(), 0) << "the favourites tab selects its first row";
    }
    // Text typed on another tab is reset too, and the favourites keep their first row.
    tabs->setCurrentIndex(1);
    filter->setText(QStringLiteral("x"));
    tabs->setCurrentIndex(0);
    EXPECT_EQ(form->lastStationRow(), 0);
}

TEST_F(ManagerTest, KeyboardMovesKeepTheSelectedRowVisible) {
    auto form = open(longList(60));
    form->resize(600, 350);
    form->show();
    FavouritesListView* view = form->favouritesView();
    view->setFocus();
    struct Row {
        Qt::Key key;
        int presses;
    };
    const Row table[] = {{Qt::Key_Down, 20},  {Qt::Key_PageDown, 2}, {Qt::Key_End, 1},
                         {Qt::Key_PageUp, 1}, {Qt::Key_Up, 25},      {Qt::Key_Home, 1}};
    view->selectRow(1);
    int previous = 1;
    for (const Row& row : table) {
        for (int i = 0; i < row.presses; ++i)
            QTest::keyClick(view, row.key);
        const int selected = view->selectedRow();
        EXPECT_NE(selected, previous) << "key " << row.key << " moved nothing";
        EXPECT_TRUE(rowFullyVisible(view, selected)) << "key " << row.key << ", row " << selected;
        previous = selected;
    }
    // The player's previous and next move the selection the same way.
    form->selectCurrentListRow(45);
    EXPECT_TRUE(rowFullyVisible(view, 45));
}

TEST_F(ManagerTest, KeysActOnlyWhenTheirPressReachedTheList) {
    enum Step { Press, Release, RepeatPress, RepeatRelease };
    struct Row {
        const char* what;
        Qt::Key key;
        std::vector<Step> steps;
        int plays, questions;
    };
    const Row table[] = {
        {"Enter", Qt::Key_Return, {Press, Release}, 1, 0},
        {"keypad Enter", Qt::Key_Enter, {Press, Release}, 1, 0},
        {"Enter whose press closed a dialog", Qt::Key_Return, {Release}, 0, 0},
        {"held Enter",
         Qt::Key_Return,
         {Press, RepeatRelease, RepeatPress, RepeatRelease, RepeatPress, Release},
         1,
         0},
        {"Delete", Qt::Key_Delete, {Press, Release}, 0, 1},
        {"Delete whose press closed a dialog", Qt::Key_Delete, {Release}, 0, 0},
        {"held Delete", Qt::Key_Delete, {Press, RepeatRelease, RepeatPress, Release}, 0, 1},
        {"a release for another key's press", Qt::Key_Return, {Press}, 0, 0},
    };
    answer = 7; // No: nothing is deleted
    for (const Row& row : table) {
        SCOPED_TRACE(row.what);
        auto form = open(kFavourites);
        form->show();
        FavouritesListView* view = form->favouritesView();
        view->setFocus();
        view->selectRow(1); // station r1
        plays = 0;
        questions.clear();
        for (Step step : row.steps) {
            const bool repeat = step == RepeatPress || step == RepeatRelease;
            const bool press = step == Press || step == RepeatPress;
            QKeyEvent event(press ? QEvent::KeyPress : QEvent::KeyRelease, row.key, Qt::NoModifier,
                            QString(), repeat);
            QApplication::sendEvent(view, &event);
        }
        if (row.steps.size() == 1 && row.steps[0] == Press) {
            QKeyEvent other(QEvent::KeyRelease, Qt::Key_Delete, Qt::NoModifier);
            QApplication::sendEvent(view, &other);
        }
        EXPECT_EQ(plays, row.plays);
        EXPECT_EQ(questions.size(), row.questions);
    }
}

TEST_F(ManagerTest, CommitsKeepTheTopRow) {
    struct Row {
        const char* what;
        std::function<void(TForm2&)> act;
        const char* row23; // the name in row 23 afterwards
    };
    const Row table[] = {
        {"edit OK",
         [](TForm2& form) {
             TEditForm* edit = form.editForm();
             edit->prepareEdit(*form.selectedRecord());
             edit->nameEdit()->setText(QStringLiteral("renamed"));
             edit->PngBitBtn1Click();
         },
         "renamed"},
        {"delete", [](TForm2& form) { form.ToolButton3Click(); }, "s23"},
        {"drop", [](TForm2& form) { form.dropRow(23, 21); }, "s21"},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.what);
        auto form = open(longList(60));
        form->resize(600, 350);
        form->show();
        FavouritesListView* view = form->favouritesView();
        view->scrollToTopRow(20);
        view->selectRow(23); // s22
        ASSERT_EQ(view->topRow(), 20);
        row.act(*form);
        EXPECT_EQ(form->favourites().stations()[23].Name, row.row23);
        EXPECT_EQ(view->topRow(), 20);
    }
}

TEST_F(ManagerTest, FailedWriteKeepsTheDialogOpenWithWhatWasTyped) {
    // The program folder is swapped for a regular file: nothing can be written below it,
    // whoever runs the test.
    const QString app = dir.filePath(QStringLiteral("app"));
    ASSERT_TRUE(QDir().mkpath(app));
    const QString moved = dir.filePath(QStringLiteral("moved"));
    auto breakFolder = [&] {
        ASSERT_TRUE(QDir().rename(app, moved));
        writeBytes(app, "a file, not a folder");
    };
    auto repairFolder = [&] {
        ASSERT_TRUE(QFile::remove(app));
        ASSERT_TRUE(QDir().rename(moved, app));
    };
    for (int page : {TEditForm::kStationPage, TEditForm::kGroupPage}) {
        SCOPED_TRACE(page);
        writeBytes(app + QStringLiteral("/stations.xml"), kFavourites);
        LibraryStartup startup;
        startup.appPath = app + QLatin1Char('/');
        ManagerDialogs dialogs;
        dialogs.message = [this](const QString& text) {
            messages << text;
        };
        PlayerLink link;
        link.showNotification = [this](const QString& text) {
            notes << text;
        };
        TForm2 form(startup, link, dialogs);
        form.show();
        TEditForm* edit = form.editForm();
        QLineEdit* name = page == TEditForm::kGroupPage ? edit->groupNameEdit() : edit->nameEdit();
        if (page == TEditForm::kGroupPage)
            edit->prepareNewGroup();
        else
            edit->prepareNewStation();
        edit->show();
        name->setText(QStringLiteral("Typed"));
        messages.clear();
        notes.clear();

        breakFolder();
        edit->PngBitBtn1Click();
        EXPECT_TRUE(edit->isVisible()) << "the dialog stays open";
        EXPECT_EQ(name->text(), "Typed");
        ASSERT_FALSE(messages.isEmpty());
        EXPECT_TRUE(messages.first().contains("Can't write")) << messages.first().toStdString();
        EXPECT_TRUE(notes.isEmpty()) << "nothing was added";
        repairFolder();
        EXPECT_EQ(outline(app + QStringLiteral("/stations.xml")), "Rock[r1,r2] News[n1] Talk[t1]");

        // With the folder back, OK again stores the same entry once.
        child<QLineEdit>(form, "FSEdit")->setText(QStringLiteral("r")); // reload from disk
        child<QLineEdit>(form, "FSEdit")->clear();
        edit->PngBitBtn1Click();
        EXPECT_FALSE(edit->isVisible());
        EXPECT_EQ(outline(app + QStringLiteral("/stations.xml")),
                  page == TEditForm::kGroupPage ? "Typed[] Rock[r1,r2] News[n1] Talk[t1]"
                                                : "Rock[r1,r2,Typed] News[n1] Talk[t1]");
        EXPECT_EQ(notes.size(), page == TEditForm::kStationPage ? 1 : 0);
    }
}

TEST_F(ManagerTest, BackupMessageSaysOnlyWhatHappened) {
    auto form = open(kFavourites);
    for (bool written : {true, false}) {
        CommitResult result;
        result.written = written;
        result.backupPath = QStringLiteral("/somewhere/stations.xml.broken-1");
        result.error = written ? QString() : QStringLiteral("Can't write it.");
        messages.clear();
        form->applyCommit(result);
        ASSERT_FALSE(messages.isEmpty());
        EXPECT_TRUE(messages.first().contains(result.backupPath));
        EXPECT_EQ(messages.first().contains("written"), written) << messages.first().toStdString();
        EXPECT_EQ(messages.contains("Can't write it."), !written);
    }
}

} // namespace

namespace {

TEST_F(ManagerTest, NamesShowAsTextInMenusAndConfirmations) {
    struct Row {
        const char* name;
        const char* menuText;
    };
    const Row table[] = {
        {"News & Talk", "News && Talk"}, {"&&", "&&&&"},   {"Rock", "Rock"},
        {"a\tb\r\nc", "a b  c"},         {"&x&", "&&x&&"}, {"", ""},
    };
    QMenu menu;
    for (const Row& row : table) {
        const QString name = QString::fromUtf8(row.name);
        EXPECT_EQ(menuText(name), QString::fromUtf8(row.menuText)) << row.name;
        QAction* item = menu.addAction(menuText(name));
        EXPECT_TRUE(QKeySequence::mnemonic(item->text()).isEmpty()) << row.name;
        if (!name.contains(QLatin1Char('\t')) && !name.contains(QLatin1Char('\n'))) {
            EXPECT_EQ(item->iconText(), name) << "shown as typed";
        }
    }

    // The real confirmation shows a station's name and info as plain text.
    writeBytes(path(), "<r><group Name=\"G\" rolled=\"0\"><station><Name>&lt;b&gt;Bold&lt;/b&gt; "
                       "&amp; Co</Name><Info>&lt;i&gt;</Info></station></group></r>");
    LibraryStartup startup;
    startup.appPath = dir.path() + QLatin1Char('/');
    TForm2 form(startup, PlayerLink{});
    form.show();
    form.favouritesView()->selectRow(1);
    QString shown;
    Qt::TextFormat format = Qt::AutoText;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_TRUE(box);
        if (auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"))) {
            shown = label->text();
            format = label->textFormat();
        }
        box->button(QMessageBox::No)->click();
    });
    form.ToolButton3Click();
    EXPECT_EQ(shown, "<b>Bold</b> & Co\r\n<i>");
    EXPECT_EQ(format, Qt::PlainText);
    EXPECT_EQ(outline(path()), "G[<b>Bold</b> & Co]") << "No deletes nothing";
}

TEST_F(ManagerTest, EditDialogShowsEveryControlWhole) {
    const QStringList problems = layout_check::atNormalAndDoubleFont([&](qreal scale) {
        auto form = open(
            QByteArray(kFavourites)
                .replace("News", "A group name long enough to widen a box that fits its contents"));
        TEditForm& edit = *form->editForm();
        QStringList found;
        for (int page : {TEditForm::kStationPage, TEditForm::kGroupPage}) {
            if (page == TEditForm::kGroupPage)
                edit.prepareNewGroup();
            else
                edit.prepareNewStation();
            edit.show();
            found << layout_check::clippedControls(
                edit, QStringLiteral("edit_x%1_%2").arg(scale).arg(page));
            if (auto* memo = edit.infoMemo();
                memo->isVisible() &&
                memo->viewport()->height() < 2 * memo->fontMetrics().lineSpacing())
                found << QStringLiteral("Memo1 holds less than two lines");
            edit.hide();
        }
        EXPECT_GE(edit.width(), 380);
        EXPECT_GE(edit.height(), 193);
        EXPECT_EQ(edit.minimumSize(), edit.maximumSize()) << "a fixed dialog border";
        return found;
    });
    EXPECT_TRUE(problems.isEmpty()) << problems.join(QStringLiteral("; ")).toStdString();
}

} // namespace
