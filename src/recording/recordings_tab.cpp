#include "recording/recordings_tab.h"

#include "directory/sort_state.h"
#include "skin/list_theme.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QStandardItemModel>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>

#include <algorithm>

namespace tl {

namespace {

QString extensionOf(const QString& name) {
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot < 0 ? QString() : name.mid(dot);
}

QString fileNameOf(const QString& path) {
    return path.mid(path.lastIndexOf(u'/') + 1);
}

// Deletes the selected recording on the Delete key.
class DeleteKeyFilter : public QObject {
public:
    DeleteKeyFilter(RecordingsTab& tab, QObject* parent) : QObject(parent), tab_(tab) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyRelease &&
            static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
            tab_.deleteSelected();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    RecordingsTab& tab_;
};

} // namespace

QStringList RecordingEntries(const QStringList& names) {
    QStringList kept;
    for (const QString& name : names) {
        const QString ext = extensionOf(name);
        if (ext == u".mp3" || ext == u".ogg")
            kept << name;
    }
    return kept;
}

// ---- delegate ------------------------------------------------------------------------------

RecordingsDelegate::RecordingsDelegate(const ListTheme& theme, QObject* parent)
    : QStyledItemDelegate(parent), theme_(&theme) {}

QSize RecordingsDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const {
    return {1, kRowHeight};
}

void RecordingsDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
    const ListTheme& t = *theme_;
    const auto* view = qobject_cast<const QTreeView*>(option.widget);
    const int top = option.rect.top();
    const int left = option.rect.left();
    const int width = view ? view->viewport()->width() : option.rect.right() + 1;
    const int right = left + width;
    const int c0 = view ? view->header()->sectionSize(0) : width;
    const QString path = index.data().toString();

    painter->save();
    painter->setFont(option.font);
    const int h = painter->fontMetrics().height();
    const bool selected = option.state & (QStyle::State_Selected | QStyle::State_HasFocus);
    if (selected) {
        painter->drawImage(QPoint(left, top), t.rowImages[ListTheme::kListL]);
        if (right - 32 > 32)
            painter->drawImage(QRect(32, top, right - 64, kRowImageHeight),
                               t.rowImages[ListTheme::kListC]);
        painter->drawImage(QPoint(right - 32, top), t.rowImages[ListTheme::kListR]);
    } else {
        painter->drawImage(
            QRect(0, top, right, kRowImageHeight),
            t.rowImages[index.row() % 2 == 0 ? ListTheme::kList1 : ListTheme::kList2]);
    }
    const QRect box(32, top + 2, c0 - 32, h);
    if (box.width() > 0) {
        painter->setPen(selected ? t.selFontColor : t.fontColor);
        painter->drawText(
            box, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
            painter->fontMetrics().elidedText(fileNameOf(path), Qt::ElideRight, box.width()));
    }
    const QString ext = extensionOf(path);
    if (ext == u".mp3")
        painter->drawImage(QPoint(left + 4, top + 5), t.icons[ListTheme::kIconMp3]);
    else if (ext == u".ogg")
        painter->drawImage(QPoint(left + 4, top + 5), t.icons[ListTheme::kIconOgg]);
    painter->restore();
}

// ---- tab -----------------------------------------------------------------------------------

RecordingsTab::RecordingsTab(RecordingsHost& manager, Links links)
    : QObject(&manager.recordingsOwner()), manager_(manager), links_(std::move(links)),
      view_(manager.recordingsView()), model_(new QStandardItemModel(0, 1, view_)) {
    model_->setHorizontalHeaderLabels({QStringLiteral("Recordings from radio")});
    view_->setModel(model_);
    view_->setItemDelegate(new RecordingsDelegate(manager.theme(), view_));
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    view_->setUniformRowHeights(true);
    view_->header()->setStretchLastSection(true);
    view_->header()->setMinimumSectionSize(460);
    view_->header()->setSectionsClickable(true);
    QPalette pal = view_->palette();
    pal.setColor(QPalette::Base, manager.theme().background);
    view_->setPalette(pal);
    view_->installEventFilter(new DeleteKeyFilter(*this, this));

    connect(view_, &QTreeView::clicked, this, [this] { ListView3Click(); });
    connect(view_, &QTreeView::doubleClicked, this, [this] { ListView3DblClick(); });
    connect(view_->header(), &QHeaderView::sectionClicked, this,
            &RecordingsTab::ListView1ColumnClick);

    RecordingsHost::Hooks hooks;
    hooks.listRecordings = [this] {
        ListRecordings();
    };
    hooks.selectRow = [this](int row) {
        selectRow(row);
    };
    hooks.deleteRecording = [this] {
        deleteSelected();
    };
    manager.setRecordingsHooks(std::move(hooks));
}

QString RecordingsTab::folder() const {
    QString f = links_.folder ? links_.folder() : QString();
    if (f.trimmed().isEmpty())
        f = links_.appPath + QStringLiteral("Recordings/");
    if (!f.endsWith(u'/'))
        f += u'/';
    return f;
}

void RecordingsTab::ListRecordings() {
    model_->removeRows(0, model_->rowCount());
    const QString dir = folder();
    if (QFileInfo(dir).isDir()) {
        const QStringList names = QDir(dir).entryList(
            QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
        for (const QString& name : RecordingEntries(names)) {
            auto* item = new QStandardItem(dir + name);
            item->setEditable(false);
            model_->appendRow(item);
        }
    }
    if (manager_.recordingsPageShowing())
        manager_.setStatus(model_->rowCount());
}

int RecordingsTab::selectedRow() const {
    const QModelIndexList rows = view_->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

QStringList RecordingsTab::rows() const {
    QStringList out;
    for (int r = 0; r < model_->rowCount(); ++r)
        out << model_->item(r)->text();
    return out;
}

void RecordingsTab::selectRow(int row) {
    if (row >= 0 && row < model_->rowCount())
        view_->setCurrentIndex(model_->index(row, 0));
    else
        view_->selectionModel()->clearSelection();
    ListView3Click();
}

void RecordingsTab::ListView3Click() {
    auto button = [this](const char* name) {
        return manager_.recordingsOwner().findChild<QToolButton*>(QString::fromLatin1(name));
    };
    if (QToolButton* b = button("ToolButton1"))
        b->setEnabled(false);
    if (QToolButton* b = button("ToolButton2"))
        b->setEnabled(false);
    if (QToolButton* b = button("ToolButton3"))
        b->setEnabled(selectedRow() >= 0);
    manager_.repaintSkin();
}

void RecordingsTab::ListView3DblClick() {
    const int row = selectedRow();
    if (row < 0)
        return;
    const QString path = model_->item(row)->text();
    if (links_.open)
        links_.open(path);
    else
        QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void RecordingsTab::deleteSelected() {
    const int row = selectedRow();
    if (row < 0)
        return;
    const QString path = model_->item(row)->text();
    const int answer = manager_.TaskDialog(
        QStringLiteral("Confirmation"), QStringLiteral("Are You sure wish to delete this record?"),
        fileNameOf(path));
    if (answer != 6)
        return;
    // The encoder would go on writing into the deleted file and keep its space.
    if (links_.stopIfRecording)
        links_.stopIfRecording(path);
    if (QFile::remove(path) || !QFileInfo::exists(path))
        ListRecordings();
    else
        manager_.showMessage(QStringLiteral("Can't delete %1").arg(fileNameOf(path)));
}

void RecordingsTab::ListView1ColumnClick(int column) {
    const int d = manager_.sortState().flip();
    if (column != 0)
        return;
    std::vector<SortRow> sorted;
    for (const QString& p : rows())
        sorted.push_back({p, {}});
    std::stable_sort(sorted.begin(), sorted.end(), [d](const SortRow& a, const SortRow& b) {
        return CompareCaptions(a, b, d) < 0;
    });
    model_->removeRows(0, model_->rowCount());
    for (const SortRow& r : sorted) {
        auto* item = new QStandardItem(r.caption);
        item->setEditable(false);
        model_->appendRow(item);
    }
}

} // namespace tl
