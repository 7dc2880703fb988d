#pragma once
// The favourites list (ListView2): a list model over the rows of the last load, a delegate
// that draws every row from the list theme, and the view that turns mouse and keys into the
// manager's actions. The view never changes the favourites itself; it reports what the
// user did through signals and the model's drop callback, and TForm2 acts.

#include "library/favourites.h"
#include "skin/list_theme.h"

#include <QAbstractListModel>
#include <QListView>
#include <QStyledItemDelegate>

#include <functional>

class QHeaderView;

namespace tl {

class FavouritesModel : public QAbstractListModel {
    Q_OBJECT
public:
    static constexpr const char* kMimeType = "application/x-tunelark-favourites-row";

    explicit FavouritesModel(FavouritesDocument& favs, QObject* parent = nullptr);

    // Called after every load of the document: the rows are rebuilt.
    void reload();
    const TStation* record(int row) const { return favs_.row(row); }

    // Drop of row `dragged` onto row `target` (-1: below the last row). Set by the manager.
    std::function<void(int dragged, int target)> onDrop;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    Qt::DropActions supportedDropActions() const override;
    Qt::DropActions supportedDragActions() const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    // The drop target is `parent` when dropping onto a row; a drop between rows counts as a
    // drop onto the row below (`row`), and -1 past the last row.
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;

private:
    FavouritesDocument& favs_;
};

class FavouritesDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    FavouritesDelegate(const ListTheme& theme, QObject* parent = nullptr);

    void setTheme(const ListTheme& theme) { theme_ = &theme; }
    void setDropTarget(int row) { dropTarget_ = row; }
    int dropTarget() const { return dropTarget_; }
    void setNowPlayingUrl(std::function<QString()> fn) { nowPlayingUrl_ = std::move(fn); }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    const ListTheme* theme_;
    int dropTarget_ = -1;
    std::function<QString()> nowPlayingUrl_;
};

class FavouritesListView : public QListView {
    Q_OBJECT
public:
    explicit FavouritesListView(QWidget* parent = nullptr);

    int selectedRow() const;
    void selectRow(int row); // -1 clears the selection
    int topRow() const;
    void scrollToTopRow(int row);
    void scrollToSelection(); // brings the selected row into view, scrolling as little as needed
    bool isDragging() const { return dragging_; }
    FavouritesDelegate* favouritesDelegate() const;

Q_SIGNALS:
    void rowReleased(int row, Qt::MouseButton button); // mouse released over a row, no drag
    void keyReleased(int key); // released after its own press here; auto-repeat is ignored
    void contextMenuWanted(const QPoint& globalPos);

protected:
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void updateGeometries() override;

private:
    QHeaderView* header_ = nullptr; // column captions above the rows
    void setDropTarget(int row);
    bool dragging_ = false;
    // The key whose press reached this list and whose release is still to come. A release
    // without it (the press went to a dialog that has closed since) does nothing.
    int pressedKey_ = 0;
};

} // namespace tl
