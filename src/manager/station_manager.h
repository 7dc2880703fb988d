#pragma once
// TForm2, the station manager window: tool bar, filter box, the three tabs (favourites,
// search, recordings), status line. It owns the favourites document and the edit dialog.
//
// Created once at start-up by the composition root and kept until exit; closing only hides
// it. Everything runs on the UI thread. The player reaches it through the public methods
// below; it reaches the player only through PlayerLink.

#include "common/player_link.h"
#include "common/player_types.h"
#include "directory/sort_state.h"
#include "library/edit_dialog.h"
#include "library/favourites.h"
#include "recording/recordings_tab.h"
#include "skin/list_theme.h"

#include <QWidget>

#include <functional>
#include <optional>

class QLabel;
class QLineEdit;
class QMenu;
class QTabWidget;
class QToolButton;
class QTreeView;

namespace tl {

class FavouritesListView;
class FavouritesModel;
class SearchTab;
class TEditForm;

// Modal questions and messages; tests replace them so nothing blocks.
struct ManagerDialogs {
    // Yes/No confirmation; returns 6 (Yes) or 7 (No), 0 when it could not be shown.
    std::function<int(const QString& title, const QString& instruction, const QString& content)>
        confirm;
    std::function<void(const QString& text)> message;
    // File to import; empty when cancelled.
    std::function<QString()> chooseImportFile;
};

class TForm2 : public QWidget, public EditFormHost, public RecordingsHost {
    Q_OBJECT
public:
    static constexpr int kFavouritesPage = 0;
    static constexpr int kSearchPage = 1;
    static constexpr int kRecordingsPage = 2;

    TForm2(const LibraryStartup& startup, PlayerLink link, ManagerDialogs dialogs = {},
           QWidget* parent = nullptr);
    ~TForm2() override;

    // ---- for the player -----------------------------------------------------------------
    // The station the play command takes: a selected station row on the favourites tab
    // (Category 0, Index = row). A group row, no selection, or another tab: nullopt (the
    // search tab answers through setSearchSelection once the results view exists).
    std::optional<StationChoice> selectedStation() const;
    int currentPage() const;
    bool searchPageShowing() const override { return currentPage() == kSearchPage; }
    bool recordingsPageShowing() const override { return currentPage() == kRecordingsPage; }
    // Shows a tab; its change handler runs when the tab changes.
    void setCurrentPage(int index);
    // The selected favourites row, -1 when none (LastStation "Index" at close).
    int lastStationRow() const;
    QRect savedGeometry() const; // StationsX/Y/W/H
    // Previous/next: the rows of the current tab's list and its selection (-1 none).
    int currentListRowCount() const;
    int currentListSelectedRow() const;
    // Selects a row of the current tab's list and runs that list's click handler.
    void selectCurrentListRow(int row);
    void ListBox2Click();
    void ListBox2DblClick();
    // "Add current station to Favourites".
    void AddPlayingStation(const NowPlaying& playing);
    // A search result's "Add to Favourites" (PngSpeedButton1Click).
    void AddSearchResult(const QString& name, const QString& url, const QString& bitrate);
    bool IsFavouriteUrl(const QString& url); // posts the notifier text when found

    // The search tab's answers; set by the tab at creation.
    std::function<std::optional<StationChoice>()> searchSelection;
    std::function<int()> searchRowCount;
    std::function<int()> searchSelectedRow;
    std::function<void(int)> searchSelectRow;
    std::function<void(const QString& filter)> searchFilterChanged;
    std::function<void()> addSearchResultClicked; // ToolButton2
    // Hooks for the recordings tab, filled by the recordings list.
    std::function<void()> listRecordings;
    std::function<void(int row)> recordingsSelectRow; // selects and runs its click handler
    std::function<void()> deleteRecording;            // ToolButton3 on the recordings tab
    QTreeView* recordingsView() const override { return ListView3; }
    QWidget& recordingsOwner() override { return *this; }
    void setRecordingsHooks(Hooks hooks) override {
        listRecordings = std::move(hooks.listRecordings);
        recordingsSelectRow = std::move(hooks.selectRow);
        deleteRecording = std::move(hooks.deleteRecording);
    }
    void repaintSkin() override {
        if (link_.repaintSkin)
            link_.repaintSkin();
    }
    // The status line: rows followed by " stations".
    void setStatus(int rows) override;

    // The composition root may hand the player's side over after creating both windows.
    void setPlayerLink(PlayerLink link) { link_ = std::move(link); }

    // ---- the window's own parts -----------------------------------------------------------
    int TaskDialog(const QString& title, const QString& instruction,
                   const QString& content) override;
    void Wait(bool ready);
    bool HasVerticalScrollBar() const;
    bool CompositionEnabled() const { return false; } // no desktop glass on this platform
    bool FilterActive() const { return filterActive_; }

    FavouritesDocument& favourites() override { return favs_; }
    FavouritesListView* favouritesView() const { return ListView2; }
    FavouritesModel* favouritesModel() const { return model_; }
    TEditForm* editForm() const { return editForm_; }
    const ListTheme& theme() const override { return theme_; }
    const PlayerLink& link() const { return link_; }
    SearchTab* searchTab() const { return search_; }
    // Header-click sorting state shared by the results and the recordings list.
    SortState& sortState() override { return sortState_; }

    std::optional<TStation> selectedRecord() const override;
    void showMessage(const QString& text) override;
    void notify(const QString& text) override;
    // Shows what a commit reported (backup place, write failure, load error) and rebuilds
    // the list; topRow is the row to bring back to the top.
    void applyCommit(const CommitResult& result, int topRow = 0) override;
    // The row a commit brings back to the top: the top visible row while a row is selected,
    // else 0.
    int rememberTopRow() const override;

    // Handlers (public so that the player and the tests can run them).
    void PageControl1Change(int index);
    void FSEditChange(const QString& text);
    void FSClearButtonClick();
    void ToolButton3Click();
    void Edit2Click();
    void FromXMLfile1Click();
    void jvBitmapButton1click();
    void NewGroupBtnClick();
    void toggleGroup(int row);
    void dropRow(int dragged, int target);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildUi(const LibraryStartup& startup);
    void FormCreate(const LibraryStartup& startup);
    void LoadFavs(const QString& filterText);
    void applyLoad(const LoadResult& result, int topRow);
    void PopupMenu1Popup(const QPoint& globalPos);
    void onRowReleased(int row);
    void onKeyReleased(int key);

    PlayerLink link_;
    ManagerDialogs dialogs_;
    ListTheme theme_;
    FavouritesDocument favs_;
    bool filterActive_ = false;
    bool waiting_ = false; // Wait(false) holds the hourglass cursor
    SortState sortState_;
    SearchTab* search_ = nullptr;

    QToolButton* ToolButton1 = nullptr;
    QToolButton* NewGroupBtn = nullptr;
    QToolButton* ToolButton2 = nullptr;
    QToolButton* ToolButton3 = nullptr;
    QMenu* AddStatiMenu = nullptr;
    QLineEdit* FSEdit = nullptr;
    QToolButton* FSClearButton = nullptr;
    QTabWidget* PageControl1 = nullptr;
    FavouritesListView* ListView2 = nullptr;
    FavouritesModel* model_ = nullptr;
    QTreeView* ListView1 = nullptr;
    QTreeView* ListView3 = nullptr;
    QLabel* statlabl = nullptr;
    QMenu* PopupMenu1 = nullptr;
    TEditForm* editForm_ = nullptr;
};

} // namespace tl
