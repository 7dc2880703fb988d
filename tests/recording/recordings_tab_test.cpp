// The "My Recordings" tab on a real station manager, offscreen: what it lists, deleting with
// the confirmation, opening, sorting with the shared direction, and previous/next.

#include "../qt_app.h"
#include "directory/sort_state.h"
#include "manager/station_manager.h"
#include "recording/recordings_tab.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTreeView>

#include <gtest/gtest.h>

using namespace tl;

namespace {

class RecordingsTabTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { tl::test::ensureApp<QApplication>("test_recordings_tab"); }

    void SetUp() override {
        QFile(dir.filePath("stations.xml")).open(QIODevice::WriteOnly);
        folder = dir.path() + "/rec/";
        QDir().mkpath(folder);
        for (const char* name : {"a.mp3", "b.ogg", "c.wav", "d.MP3", "e.mp3.txt", "f.ogg"})
            QFile(folder + name).open(QIODevice::WriteOnly);
        QDir().mkpath(folder + "x.mp3");
        LibraryStartup startup;
        startup.appPath = dir.path() + "/";
        ManagerDialogs dialogs;
        dialogs.confirm = [this](const QString& title, const QString& instruction,
                                 const QString& content) {
            questions << title + "|" + instruction + "|" + content;
            return answer;
        };
        dialogs.message = [this](const QString& text) {
            messages << text;
        };
        PlayerLink link;
        link.setPrevNextEnabled = [](bool, bool) {
        };
        form = std::make_unique<TForm2>(startup, link, dialogs);
        tab = new RecordingsTab(*form, {.folder = [this] { return folder; },
                                        .appPath = dir.path() + "/",
                                        .open = [this](const QString& p) { opened << p; },
                                        .stopIfRecording =
                                            [this](const QString& p) {
                                                if (p != recording)
                                                    return false;
                                                stopped << p;
                                                recording.clear();
                                                return true;
                                            }});
        form->findChild<QTabWidget*>("PageControl1")->setCurrentIndex(TForm2::kRecordingsPage);
    }

    QStringList names() const {
        QStringList out;
        for (const QString& p : tab->rows())
            out << p.mid(folder.size());
        return out;
    }
    QStringList sortedNames() const {
        QStringList n = names();
        n.sort();
        return n;
    }
    QString status() const { return form->findChild<QLabel*>("statlabl")->text(); }
    bool enabled(const char* button) const {
        return form->findChild<QToolButton*>(button)->isEnabled();
    }

    QTemporaryDir dir;
    QString folder;
    std::unique_ptr<TForm2> form;
    RecordingsTab* tab = nullptr; // child of form
    QStringList questions, messages, opened;
    QString recording; // the file the recorder writes
    QStringList stopped;
    int answer = 6;
};

TEST_F(RecordingsTabTest, ListsMp3AndOggEntriesOnly) {
    EXPECT_EQ(sortedNames(), (QStringList{"a.mp3", "b.ogg", "f.ogg", "x.mp3"}));
    EXPECT_TRUE(tab->rows().first().startsWith(folder));
    EXPECT_EQ(status(), "4 stations");
    EXPECT_EQ(tab->selectedRow(), -1);
    EXPECT_FALSE(enabled("ToolButton3"));
    EXPECT_EQ(tab->view()->visualRect(tab->view()->model()->index(0, 0)).height(), 34);
    EXPECT_EQ(tab->view()->model()->headerData(0, Qt::Horizontal).toString(),
              "Recordings from radio");

    // The folder going away empties the list; the default folder serves an empty setting.
    folder = dir.path() + "/gone/";
    tab->ListRecordings();
    EXPECT_TRUE(tab->rows().isEmpty());
    EXPECT_EQ(status(), "0 stations");
    folder.clear();
    QDir().mkpath(dir.path() + "/Recordings");
    QFile(dir.path() + "/Recordings/z.ogg").open(QIODevice::WriteOnly);
    tab->ListRecordings();
    EXPECT_EQ(tab->rows(), QStringList{dir.path() + "/Recordings/z.ogg"});
}

TEST_F(RecordingsTabTest, ClickOpenAndDelete) {
    tab->ListView3DblClick(); // nothing selected: nothing opens
    tab->deleteSelected();
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_TRUE(questions.isEmpty());

    const int a = static_cast<int>(names().indexOf("a.mp3"));
    form->selectCurrentListRow(a); // previous/next on this tab: select and click
    EXPECT_TRUE(enabled("ToolButton3"));
    EXPECT_FALSE(enabled("ToolButton1"));
    EXPECT_FALSE(enabled("ToolButton2"));
    tab->ListView3DblClick();
    EXPECT_EQ(opened, QStringList{folder + "a.mp3"});

    struct Row {
        const char* name;
        int answer;
        bool gone;
        int messages;
        bool recorded = false;   // the recorder is writing it
        bool goneBefore = false; // removed behind the list's back
    } rows[] = {
        {"a.mp3", 7, false, 0},       // No keeps it
        {"a.mp3", 6, true, 0},        // Yes removes it and refreshes
        {"x.mp3", 6, false, 1},       // a folder cannot be removed: it stays listed, and we say so
        {"b.ogg", 7, false, 0, true}, // No: the recording goes on
        {"b.ogg", 6, true, 0, true},  // Yes: the recording stops first, then the file goes
        {"f.ogg", 6, true, 0, false, true}, // already gone: the row goes, no error
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        questions.clear();
        messages.clear();
        stopped.clear();
        recording = r.recorded ? folder + r.name : QString();
        answer = r.answer;
        const qsizetype before = tab->rows().size();
        form->selectCurrentListRow(static_cast<int>(names().indexOf(r.name)));
        if (r.goneBefore)
            QFile::remove(folder + r.name);
        form->ToolButton3Click(); // the tool bar's delete on this tab
        EXPECT_EQ(stopped,
                  r.recorded && r.answer == 6 ? QStringList{folder + r.name} : QStringList{});
        EXPECT_EQ(questions,
                  QStringList{QString("Confirmation|Are You sure wish to delete this record?|") +
                              r.name});
        EXPECT_EQ(QFileInfo::exists(folder + r.name), !r.gone);
        EXPECT_EQ(names().contains(r.name), !r.gone);
        EXPECT_EQ(tab->rows().size(), before - (r.gone ? 1 : 0));
        EXPECT_EQ(messages.size(), r.messages);
        EXPECT_EQ(status(), QString("%1 stations").arg(tab->rows().size()));
    }
}

TEST_F(RecordingsTabTest, HeaderSortsWithTheSharedDirection) {
    tab->view()->header()->sectionClicked(0); // first click: -1, larger first
    EXPECT_EQ(form->sortState().SortDirection, -1);
    EXPECT_EQ(names(), (QStringList{"x.mp3", "f.ogg", "b.ogg", "a.mp3"}));
    tab->ListView1ColumnClick(0);
    EXPECT_EQ(names(), (QStringList{"a.mp3", "b.ogg", "f.ogg", "x.mp3"}));
    form->sortState().flip(); // the search results' header was clicked in between
    tab->ListView1ColumnClick(0);
    EXPECT_EQ(form->sortState().SortDirection, 1);
    EXPECT_EQ(names().first(), "a.mp3");
}

} // namespace
