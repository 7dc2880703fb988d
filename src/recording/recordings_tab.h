#pragma once
// The station manager's "My Recordings" tab: ListView3 lists the MP3 and Ogg files of the
// recordings folder, opens one with the desktop's default application and deletes one after a
// confirmation. It drives the manager's own list view and tool buttons (RecordingsHost); the
// manager calls back through the hooks it is handed. Created by the composition root after the
// manager; UI thread.

#include <QObject>
#include <QStringList>
#include <QStyledItemDelegate>

#include <functional>

class QStandardItemModel;
class QTreeView;
class QWidget;

namespace tl {

struct ListTheme;
struct SortState;

// What the tab needs from the station manager, which owns the list view, the tool buttons and
// the tab (its QObject parent). All calls on the UI thread.
class RecordingsHost {
public:
    struct Hooks {
        std::function<void()> listRecordings;
        std::function<void(int row)> selectRow; // selects and runs its click handler
        std::function<void()> deleteRecording;  // ToolButton3 on the recordings tab
    };
    virtual ~RecordingsHost() = default;
    virtual QWidget& recordingsOwner() = 0; // parent of the tab; holds ToolButton1..3
    virtual QTreeView* recordingsView() const = 0;
    virtual const ListTheme& theme() const = 0;
    virtual SortState& sortState() = 0; // shared with the search results
    virtual bool recordingsPageShowing() const = 0;
    virtual void setStatus(int rows) = 0;
    virtual void repaintSkin() = 0;
    virtual int TaskDialog(const QString& title, const QString& instruction,
                           const QString& content) = 0;
    virtual void showMessage(const QString& text) = 0;
    virtual void setRecordingsHooks(Hooks hooks) = 0;
};

// The entries of a folder listing that are recordings: an extension (from the last ".") of
// exactly ".mp3" or ".ogg", case-sensitive. Folders count as well; order is kept.
QStringList RecordingEntries(const QStringList& names);

// Draws a recordings row: the row images and colours of the favourites list, the file name
// without its folder, and the MP3 or Ogg icon.
class RecordingsDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    RecordingsDelegate(const ListTheme& theme, QObject* parent = nullptr);
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    const ListTheme* theme_;
};

class RecordingsTab : public QObject {
    Q_OBJECT
public:
    struct Links {
        // The recordings folder setting (may be empty: the default folder is used).
        std::function<QString()> folder;
        QString appPath; // ends in "/"
        // Opens a file with the desktop's default application; QDesktopServices when empty.
        std::function<void(const QString& path)> open;
        // Before a file is deleted: stops the recording writing it, if any (true then).
        std::function<bool(const QString& path)> stopIfRecording;
    };

    // Installs itself on manager's ListView3 and its recordings hooks. Header clicks sort
    // with the manager's sort state, shared with the search results.
    RecordingsTab(RecordingsHost& manager, Links links);

    // Refills the list from the folder (empty when the folder does not exist).
    void ListRecordings();
    void ListView3Click();
    void ListView3DblClick();
    // Delete on this tab: asks, stops the recording that writes the file, removes it and
    // refills (also when it had already gone, so the list never shows a missing file).
    void deleteSelected();
    // A header click: flips the shared direction and sorts the rows by caption.
    void ListView1ColumnClick(int column);
    void selectRow(int row);

    QStringList rows() const; // full paths, as listed
    int selectedRow() const;
    QTreeView* view() const { return view_; }

private:
    QString folder() const;

    RecordingsHost& manager_;
    Links links_;
    QTreeView* view_;           // the manager's ListView3
    QStandardItemModel* model_; // child of view_
};

} // namespace tl
