#pragma once
// The station manager's "Search Stations" tab: the search controls (service, genre or text,
// count, Find), the results list ListView1 with its owner-drawn rows, sorting by header click,
// playing a result and adding it to the favourites.
//
// Created by the station manager, which owns it and hands it what it needs through
// SearchTabHost; it reaches the player only through the manager's PlayerLink. Everything runs
// on the UI thread; the download runs on the fetcher's worker thread and reports back here.

#include "common/player_link.h"
#include "common/player_types.h"
#include "directory/directory_fetch.h"
#include "directory/directory_page.h"
#include "directory/sort_state.h"
#include "directory/station_logos.h"
#include "skin/list_theme.h"

#include <QAbstractTableModel>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <QWidget>

#include <functional>
#include <optional>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QMenu;
class QPushButton;

namespace tl {

// What the tab needs from the station manager. Empty members are not called.
struct SearchTabHost {
    std::function<void(bool ready)> wait;               // the manager's busy state
    std::function<void(const QString& text)> setStatus; // the status line
    std::function<bool()> searchPageShowing;
    // Tool bar: ToolButton1 and ToolButton3 off, ToolButton2 (add to favourites) as given.
    std::function<void(bool addEnabled)> setToolButtons;
    // IsFavouriteUrl, then the edit dialog with name, address and bitrate.
    std::function<void(const QString& name, const QString& url, const QString& bitrate)>
        addToFavourites;
};

// What the tab reads from config.ini at creation.
struct SearchStartup {
    QString appPath;                         // config.ini's [Directory] lives there
    int serviceIndex = kServiceRadioBrowser; // Last/ServiceIndex
    int searchResCount = 0;                  // General/SearchResCount
};

// One row of the results list: caption, the two sub-items, and the index of its record in
// SearchResults (-1 for the placeholder row).
struct ResultRow {
    QString caption;
    QStringList subItems;
    int stateIndex = -1;
};

class ResultsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    void setRows(std::vector<ResultRow> rows);
    const std::vector<ResultRow>& rows() const { return rows_; }
    void setCaptions(const QStringList& captions);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::vector<ResultRow> rows_;
    QStringList captions_{QStringLiteral("Station"), QStringLiteral("Bitrate"),
                          QStringLiteral("Listeners")};
};

class SearchTab;

// Draws a whole row (the first column spans it) from the row's SearchResults entry.
class ResultsDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    ResultsDelegate(const SearchTab& tab, QObject* parent);
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    const SearchTab& tab_;
};

class SearchTab : public QWidget {
    Q_OBJECT
public:
    static constexpr int kRowHeight = 32;

    // theme, link and sort belong to the manager and outlive the tab.
    SearchTab(const SearchStartup& startup, const ListTheme& theme, const PlayerLink& link,
              SortState& sort, SearchTabHost host, QWidget* parent = nullptr);
    ~SearchTab() override;

    // ---- for the manager and the player ---------------------------------------------------
    // The selected result for the play command (Category 1); nullopt with no selection or on
    // the placeholder row.
    std::optional<StationChoice> selection() const;
    // The same for the play command that plays it now: a result of the JSON directory
    // counts as played there (whichever control started the play).
    std::optional<StationChoice> playSelection();
    int rowCount() const;
    int selectedRow() const;
    void selectRow(int row); // -1 clears; runs ListBox1Click
    void applyFilter(const QString& filter);
    int serviceIndex() const; // the chosen service, -1 with none
    int countIndex() const;   // the count box's index
    // Called whenever the service or the count changes (the player stores both at close).
    std::function<void(int serviceIndex, int countIndex)> onChoiceChanged;

    // ---- state the delegate and the tests read -------------------------------------------
    const std::vector<TStat>& SearchResults() const { return results_; }
    bool showsPlaceholder() const;
    const ListTheme& theme() const { return theme_; }
    QString nowPlayingUrl() const;
    // The logo fetched for a result's Favicon; null when there is none (yet).
    const QImage* logoFor(const QString& favicon) const;
    const StationLogos& logos() const { return logos_; }
    QTreeView* listView() const { return ListView1; }
    ResultsModel* model() const { return model_; }
    const DirectoryFetcher& fetcher() const { return fetcher_; }

    // ---- handlers ------------------------------------------------------------------------
    void ServerBoxChange();
    void PngBitBtn1Click(); // Find
    void HTTPGet1DoneStream(const QByteArray& body, int service, const QString& server);
    void HTTPGet1Error();
    void ListView1ColumnClick(int column);
    void ListBox1Click();
    void ListView1DblClick();
    void PopupMenu2Popup(const QPoint& globalPos);
    void PngSpeedButton1Click(); // add the selected result to the favourites
    void Wait(bool ready);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildUi();
    void fillRows(const QString& filter);
    void setStatusRows(int rows);
    void keepStationColumnWide();
    const TStat* selectedRecord() const;

    const ListTheme& theme_;
    const PlayerLink& link_;
    SortState& sort_;
    SearchTabHost host_;
    DirectoryFetcher fetcher_;
    StationLogos logos_;
    QHash<QString, QImage> logoImages_; // by Favicon address
    std::vector<TStat> results_;
    int resultsService_ = -1; // the service the results came from
    QString resultsServer_;   // JSON directory: the server that answered
    QString skippedNote_;     // what the status line adds about left-out stations

    QComboBox* ServerBox = nullptr;
    QComboBox* Edit1 = nullptr;
    QLabel* Label1 = nullptr;
    QComboBox* rbox = nullptr;
    QPushButton* PngSpeedButton1 = nullptr;
    QCheckBox* BrokenBox = nullptr; // "Show broken stations" (JSON directory)
    QTreeView* ListView1 = nullptr;
    ResultsModel* model_ = nullptr;
    QMenu* PopupMenu2 = nullptr;
    QAction* MenuItem1 = nullptr;
};

} // namespace tl
