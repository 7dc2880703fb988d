#pragma once
// The station manager's "My Recordings" tab: ListView3 lists the MP3 and Ogg files of the
// recordings folder, opens one with the desktop's default application and deletes one after a
// confirmation. It drives the manager's own list view and tool buttons; the manager calls back
// through its recordings hooks. Created by the composition root after the manager; UI thread.

#include <QObject>
#include <QStringList>
#include <QStyledItemDelegate>

#include <functional>

class QStandardItemModel;
class QTreeView;

namespace tl {

class TForm2;
struct ListTheme;

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
    RecordingsTab(TForm2& manager, Links links);

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

    TForm2& manager_;
    Links links_;
    QTreeView* view_;           // the manager's ListView3
    QStandardItemModel* model_; // child of view_
};

} // namespace tl
