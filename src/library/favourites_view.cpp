#include "library/favourites_view.h"

#include <QDrag>
#include <QDragMoveEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStandardItemModel>

namespace tl {

// ---- model ---------------------------------------------------------------------------------

FavouritesModel::FavouritesModel(FavouritesDocument& favs, QObject* parent)
    : QAbstractListModel(parent), favs_(favs) {}

void FavouritesModel::reload() {
    beginResetModel();
    endResetModel();
}

int FavouritesModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : favs_.rowCount();
}

QVariant FavouritesModel::data(const QModelIndex& index, int role) const {
    const TStation* rec = record(index.row());
    if (!rec || !index.isValid())
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return rec->Name;
    case Qt::ToolTipRole:
        return rec->isGroup() ? groupCaption(*rec) : rec->Info;
    default:
        return {};
    }
}

Qt::ItemFlags FavouritesModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
}

Qt::DropActions FavouritesModel::supportedDropActions() const {
    return Qt::MoveAction;
}
Qt::DropActions FavouritesModel::supportedDragActions() const {
    return Qt::MoveAction;
}

QStringList FavouritesModel::mimeTypes() const {
    return {QString::fromLatin1(kMimeType)};
}

QMimeData* FavouritesModel::mimeData(const QModelIndexList& indexes) const {
    if (indexes.isEmpty())
        return nullptr;
    auto* mime = new QMimeData;
    mime->setData(QString::fromLatin1(kMimeType), QByteArray::number(indexes.first().row()));
    return mime;
}

bool FavouritesModel::dropMimeData(const QMimeData* data, Qt::DropAction, int row, int,
                                   const QModelIndex& parent) {
    if (!data || !data->hasFormat(QString::fromLatin1(kMimeType)))
        return false;
    bool ok = false;
    const int dragged = data->data(QString::fromLatin1(kMimeType)).toInt(&ok);
    if (!ok)
        return false;
    int target = parent.isValid() ? parent.row() : row;
    if (target >= rowCount())
        target = -1;
    if (onDrop)
        onDrop(dragged, target);
    return true;
}

// ---- delegate ------------------------------------------------------------------------------

FavouritesDelegate::FavouritesDelegate(const ListTheme& theme, QObject* parent)
    : QStyledItemDelegate(parent), theme_(&theme) {}

QSize FavouritesDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const {
    return {1, kRowHeight};
}

namespace {

QColor fromColorRef(uint32_t ref) {
    return QColor(static_cast<int>(ref & 0xFF), static_cast<int>((ref >> 8) & 0xFF),
                  static_cast<int>((ref >> 16) & 0xFF));
}

void drawCaps(QPainter* p, const ListTheme& t, int left, int top, int right, int l, int c, int r) {
    const auto& img = t.rowImages;
    p->drawImage(QPoint(left, top), img[static_cast<std::size_t>(l)]);
    if (right - 32 > 32)
        p->drawImage(QRect(32, top, right - 64, kRowImageHeight), img[static_cast<std::size_t>(c)]);
    p->drawImage(QPoint(right - 32, top), img[static_cast<std::size_t>(r)]);
}

// One line, transparent, cut at a word with an ellipsis when it does not fit.
void drawBoxText(QPainter* p, const QRect& box, const QString& text, const QColor& color) {
    if (box.width() <= 0)
        return;
    QString line = text;
    line.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    p->setPen(color);
    p->drawText(box, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                p->fontMetrics().elidedText(line, Qt::ElideRight, box.width()));
}

} // namespace

void FavouritesDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
    const auto* model = qobject_cast<const FavouritesModel*>(index.model());
    const TStation* rec = model ? model->record(index.row()) : nullptr;
    if (!rec)
        return;
    const auto* view = qobject_cast<const QAbstractItemView*>(option.widget);
    const ListTheme& t = *theme_;
    const int top = option.rect.top();
    const int left = option.rect.left();
    // The viewport already leaves out a vertical scroll bar.
    const int width = view ? view->viewport()->width() : option.rect.right() + 1;
    const int right = width + left;
    const int c0 = std::max(0, width - kBitrateColumnWidth);
    const int c1 = kBitrateColumnWidth;

    painter->save();
    painter->setFont(option.font);
    const int h = painter->fontMetrics().height();

    if (rec->isGroup()) {
        const QColor color = fromColorRef(rec->Color);
        painter->fillRect(QRect(0, top, right, kRowImageHeight), color);
        drawCaps(painter, t, left, top, right, ListTheme::kGroupL, ListTheme::kGroupC,
                 ListTheme::kGroupR);
        if (rec->Rolled == 0)
            painter->drawImage(QPoint(right - 32, top), t.rowImages[ListTheme::kArrowExpanded]);
        else if (rec->Rolled == 1)
            painter->drawImage(QPoint(right - 32, top), t.rowImages[ListTheme::kArrowCollapsed]);
        const QRect nameBox(38, top + 8, c0 - 38, h);
        const QColor outline = groupNameOutline(color);
        for (const QPoint d : {QPoint(-1, 0), QPoint(1, 0), QPoint(0, -1), QPoint(0, 1)})
            drawBoxText(painter, nameBox.translated(d), groupCaption(*rec), outline);
        drawBoxText(painter, nameBox, groupCaption(*rec), color);
    } else {
        const bool selected = option.state & QStyle::State_Selected;
        if (selected) {
            drawCaps(painter, t, left, top, right, ListTheme::kListL, ListTheme::kListC,
                     ListTheme::kListR);
        } else {
            painter->drawImage(
                QRect(0, top, right, kRowImageHeight),
                t.rowImages[index.row() % 2 == 0 ? ListTheme::kList1 : ListTheme::kList2]);
        }
        const QColor nameColor = selected ? t.selFontColor : t.fontColor;
        const QColor infoColor = selected ? t.selInfoFontColor : t.infoFontColor;
        painter->drawImage(QPoint(left + 4, top + 5),
                           t.icons[rec->Video ? ListTheme::kIconVideo : ListTheme::kIconAudio]);
        if (nowPlayingUrl_ && !rec->Url.isEmpty() && rec->Url == nowPlayingUrl_())
            painter->drawImage(QPoint(left + 15, top + 15), t.nowPlaying);
        drawBoxText(painter, QRect(32, top + 2, c0 - 32, h), rec->Name, nameColor);
        drawBoxText(painter, QRect(32, top + 2 + h, c0 - 32, h), rec->Info, infoColor);
        drawBoxText(painter, QRect(c0, top + 2, c1, h), bitrateText(*rec), nameColor);
    }
    if (index.row() == dropTarget_)
        painter->fillRect(QRect(0, top, width, 2), Qt::black);
    painter->restore();
}

// ---- view ----------------------------------------------------------------------------------

FavouritesListView::FavouritesListView(QWidget* parent) : QListView(parent) {
    setObjectName(QStringLiteral("ListView2"));
    setUniformItemSizes(true);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(false);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::MoveAction);
    setAutoScroll(false); // the drag-over handler scrolls itself, one row per event
    setFrameShape(QFrame::NoFrame);

    // The report view's column captions: the station column fills the width, the bitrate
    // column keeps its 85 pixels, as the rows are drawn.
    header_ = new QHeaderView(Qt::Horizontal, this);
    header_->setObjectName(QStringLiteral("ListView2Header"));
    auto* captions = new QStandardItemModel(0, 2, header_);
    captions->setHorizontalHeaderLabels(
        {QStringLiteral("Favourite station information"), QStringLiteral("Bitrate")});
    header_->setModel(captions);
    header_->setSectionResizeMode(0, QHeaderView::Stretch);
    header_->setSectionResizeMode(1, QHeaderView::Fixed);
    header_->resizeSection(1, kBitrateColumnWidth);
    header_->setSectionsClickable(false);
}

void FavouritesListView::updateGeometries() {
    const int h = header_->sizeHint().height();
    if (viewportMargins().top() != h)
        setViewportMargins(0, h, 0, 0);
    const QRect vg = viewport()->geometry();
    header_->setGeometry(vg.left(), vg.top() - h, vg.width(), h);
    QListView::updateGeometries();
}

FavouritesDelegate* FavouritesListView::favouritesDelegate() const {
    return qobject_cast<FavouritesDelegate*>(itemDelegate());
}

int FavouritesListView::selectedRow() const {
    if (!selectionModel())
        return -1;
    const QModelIndexList rows = selectionModel()->selectedIndexes();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void FavouritesListView::selectRow(int row) {
    if (!model() || !selectionModel())
        return;
    if (row < 0 || row >= model()->rowCount()) {
        selectionModel()->clearSelection();
        return;
    }
    const QModelIndex index = model()->index(row, 0);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
}

int FavouritesListView::topRow() const {
    const QModelIndex index = indexAt(QPoint(1, 1));
    return index.isValid() ? index.row() : 0;
}

void FavouritesListView::scrollToTopRow(int row) {
    if (!model() || row <= 0 || row >= model()->rowCount())
        return;
    // Right after a model reset the rows are laid out later and the scroll range is still
    // empty; lay them out now so that the value is not cut to 0.
    executeDelayedItemsLayout();
    updateGeometries();
    verticalScrollBar()->setValue(row); // scrolling is per row
}

void FavouritesListView::setDropTarget(int row) {
    if (auto* d = favouritesDelegate(); d && d->dropTarget() != row) {
        d->setDropTarget(row);
        viewport()->update();
    }
}

void FavouritesListView::startDrag(Qt::DropActions) {
    const int row = selectedRow();
    if (row < 0 || !model())
        return;
    QMimeData* mime = model()->mimeData({model()->index(row, 0)});
    if (!mime)
        return;
    auto* drag = new QDrag(this);
    drag->setMimeData(mime);
    dragging_ = true;
    drag->exec(Qt::MoveAction, Qt::MoveAction);
    dragging_ = false;
    setDropTarget(-1);
}

void FavouritesListView::dragEnterEvent(QDragEnterEvent* event) {
    event->acceptProposedAction();
}

void FavouritesListView::dragMoveEvent(QDragMoveEvent* event) {
    event->acceptProposedAction();
    const int y = event->position().toPoint().y();
    QScrollBar* bar = verticalScrollBar();
    if (y < 20)
        bar->setValue(bar->value() - 1);
    else if (y > viewport()->height() - 20)
        bar->setValue(bar->value() + 1);
    const QModelIndex target = indexAt(event->position().toPoint());
    setDropTarget(target.isValid() ? target.row() : -1);
}

void FavouritesListView::dragLeaveEvent(QDragLeaveEvent* event) {
    setDropTarget(-1);
    event->accept();
}

void FavouritesListView::dropEvent(QDropEvent* event) {
    setDropTarget(-1);
    // Only moves inside this list count; anything else is accepted and ignored.
    event->acceptProposedAction();
    if (event->source() != this || !model())
        return;
    const QModelIndex target = indexAt(event->position().toPoint());
    model()->dropMimeData(event->mimeData(), Qt::MoveAction,
                          target.isValid() ? -1 : model()->rowCount(), 0, target);
}

void FavouritesListView::mouseReleaseEvent(QMouseEvent* event) {
    QListView::mouseReleaseEvent(event);
    if (dragging_)
        return;
    const QPoint pos = event->position().toPoint();
    const QModelIndex index = indexAt(pos);
    if (index.isValid())
        Q_EMIT rowReleased(index.row(), event->button());
    if (event->button() == Qt::RightButton)
        Q_EMIT contextMenuWanted(viewport()->mapToGlobal(pos));
}

void FavouritesListView::scrollToSelection() {
    const int row = selectedRow();
    if (row >= 0)
        scrollTo(model()->index(row, 0), QAbstractItemView::EnsureVisible);
}

void FavouritesListView::keyPressEvent(QKeyEvent* event) {
    if (!event->isAutoRepeat())
        pressedKey_ = event->key();
    const QModelIndex before = currentIndex();
    QListView::keyPressEvent(event);
    // Auto-scroll is off for the drag's own scrolling, so follow keyboard moves here.
    if (currentIndex() != before)
        scrollToSelection();
}

void FavouritesListView::keyReleaseEvent(QKeyEvent* event) {
    QListView::keyReleaseEvent(event);
    if (event->isAutoRepeat() || event->key() != pressedKey_)
        return;
    pressedKey_ = 0; // before the signal: its handler may run a modal dialog
    Q_EMIT keyReleased(event->key());
}

void FavouritesListView::focusOutEvent(QFocusEvent* event) {
    pressedKey_ = 0;
    QListView::focusOutEvent(event);
}

void FavouritesListView::contextMenuEvent(QContextMenuEvent* event) {
    // Mouse menus open on the button's release (after a group toggles); keyboard ones here.
    if (event->reason() != QContextMenuEvent::Mouse)
        Q_EMIT contextMenuWanted(event->globalPos());
    event->accept();
}

void FavouritesListView::resizeEvent(QResizeEvent* event) {
    QListView::resizeEvent(event);
    viewport()->update();
}

} // namespace tl
