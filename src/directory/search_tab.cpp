#include "directory/search_tab.h"

#include "common/ini_file.h"
#include "directory/directory_query.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace tl {

// ---- model ---------------------------------------------------------------------------------

void ResultsModel::setRows(std::vector<ResultRow> rows) {
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
}

void ResultsModel::setCaptions(const QStringList& captions) {
    captions_ = captions;
    Q_EMIT headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
}

int ResultsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int ResultsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 3;
}

QVariant ResultsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || role != Qt::DisplayRole) {
        return {};
    }
    const ResultRow& row = rows_[static_cast<std::size_t>(index.row())];
    if (index.column() == 0) {
        return row.caption;
    }
    return row.subItems.value(index.column() - 1);
}

QVariant ResultsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole) {
        return captions_.value(section);
    }
    return {};
}

// ---- delegate ------------------------------------------------------------------------------

ResultsDelegate::ResultsDelegate(const SearchTab& tab, QObject* parent)
    : QStyledItemDelegate(parent), tab_(tab) {}

QSize ResultsDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    return QSize(option.rect.width(), SearchTab::kRowHeight);
}

void ResultsDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const {
    const auto& rows = tab_.model()->rows();
    if (index.column() != 0 || index.row() < 0 || index.row() >= static_cast<int>(rows.size())) {
        return;
    }
    const ListTheme& th = tab_.theme();
    const QRect R = option.rect;
    const int top = R.top();
    const int X = tab_.listView()->viewport()->width() + R.left();
    const bool selected = (option.state & QStyle::State_Selected) != 0;
    painter->save();
    painter->setRenderHint(QPainter::SmoothPixmapTransform);

    // Background: the selected row's caps and middle, otherwise alternating rows.
    if (selected) {
        painter->drawImage(QPoint(R.left(), top), th.rowImages[ListTheme::kListL]);
        painter->drawImage(QRect(32, top, std::max(0, X - 64), 32),
                           th.rowImages[ListTheme::kListC]);
        painter->drawImage(QPoint(X - 32, top), th.rowImages[ListTheme::kListR]);
    } else {
        painter->drawImage(
            QRect(0, top, X, 32),
            th.rowImages[index.row() % 2 == 0 ? ListTheme::kList1 : ListTheme::kList2]);
    }
    const QColor nameColour = selected ? th.selFontColor : th.fontColor;
    const QColor infoColour = selected ? th.selInfoFontColor : th.infoFontColor;

    painter->setFont(option.font);
    const QFontMetrics fm(option.font);
    const int TH = fm.boundingRect(QStringLiteral("W")).height();
    const QHeaderView* header = tab_.listView()->header();
    const int W0 = header->sectionSize(0);
    const int W1 = header->sectionSize(1);
    const int W2 = header->sectionSize(2);
    auto text = [&](const QString& s, const QColor& colour, const QRect& box) {
        painter->setPen(colour);
        painter->setClipRect(box);
        painter->drawText(box, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                          fm.elidedText(s, Qt::ElideRight, box.width()));
        painter->setClipping(false);
    };

    const ResultRow& row = rows[static_cast<std::size_t>(index.row())];
    if (tab_.showsPlaceholder()) {
        painter->drawImage(QPoint(R.left() + 4, top + 5), th.icons[1]);
        // The theme's name colour rather than black: the rows may be dark.
        text(row.caption, nameColour, QRect(32, top + 2, W0 - 32, TH));
        painter->restore();
        return;
    }
    const auto& results = tab_.SearchResults();
    if (row.stateIndex < 0 || row.stateIndex >= static_cast<int>(results.size())) {
        painter->restore();
        return;
    }
    const TStat& r = results[static_cast<std::size_t>(row.stateIndex)];
    text(r.Name, nameColour, QRect(32, top + 2, W0 - 32, TH));
    if (const QImage* logo = tab_.logoFor(r.Favicon)) {
        // Stored at twice the icon place, so it stays crisp at 1x and 2x; centred, kept square.
        const QSize fit = logo->size().scaled(24, 24, Qt::KeepAspectRatio);
        painter->drawImage(
            QRect(QPoint(R.left() + 4 + (24 - fit.width()) / 2, top + 5 + (24 - fit.height()) / 2),
                  fit),
            *logo);
    } else {
        painter->drawImage(QPoint(R.left() + 4, top + 5), th.icons[0]);
    }
    if (!r.Url.isEmpty() && r.Url == tab_.nowPlayingUrl()) {
        painter->drawImage(QPoint(R.left() + 15, top + 15), th.nowPlaying);
    }
    text(r.OnAir, infoColour, QRect(32, top + 2 + TH, W0 - 32, TH));
    if (!r.Quality.isEmpty()) // an unknown bitrate shows nothing rather than " kbps"
        text(r.Quality + QStringLiteral(" kbps"), nameColour, QRect(W0, top + 2, W1, TH));
    text(r.Detail, nameColour, QRect(W0 + W1, top + 2, W2, TH));
    painter->restore();
}

// ---- tab -----------------------------------------------------------------------------------

SearchTab::SearchTab(const SearchStartup& startup, const ListTheme& theme, const PlayerLink& link,
                     SortState& sort, SearchTabHost host, QWidget* parent)
    : QWidget(parent), theme_(theme), link_(link), sort_(sort), host_(std::move(host)),
      fetcher_(
          DirectoryConfig::fromIni(IniFile::load(startup.appPath + QStringLiteral("config.ini")))),
      logos_(LogoCache(LogoCache::defaultFolder())) {
    setObjectName(QStringLiteral("SearchTab"));
    buildUi();

    // The stored choices; a service the box does not offer falls back to the default one.
    int service = ServerBox->findData(startup.serviceIndex);
    if (service < 0) {
        service = ServerBox->findData(kDefaultServiceIndex);
    }
    ServerBox->setCurrentIndex(service);
    rbox->setCurrentIndex(ResultCountForIndex(startup.searchResCount) ? startup.searchResCount : 0);
    Edit1->addItems(DirectoryGenres());
    Edit1->setCurrentIndex(0);
    Edit1->setEditText(QStringLiteral("80s"));

    connect(ServerBox, &QComboBox::currentIndexChanged, this, [this] { ServerBoxChange(); });
    connect(rbox, &QComboBox::currentIndexChanged, this, [this] {
        if (onChoiceChanged)
            onChoiceChanged(serviceIndex(), countIndex());
    });
    fetcher_.onDone = [this](const DirectoryReply& reply) {
        if (reply.ok) {
            HTTPGet1DoneStream(reply.body, reply.service, reply.server);
        } else {
            HTTPGet1Error();
            // The rows are gone: say why instead of keeping the old count.
            if (host_.setStatus)
                host_.setStatus(QStringLiteral("Search failed: ") + reply.error);
        }
    };
    logos_.onReady = [this](const QString& url, const QImage& logo) {
        logoImages_.insert(url, logo);
        ListView1->viewport()->update();
    };
    fetcher_.onAsking = [this](const QString& server) {
        if (host_.setStatus)
            host_.setStatus(QStringLiteral("Searching ") + server + QStringLiteral("..."));
    };
}

SearchTab::~SearchTab() = default;

void SearchTab::buildUi() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("SearchPanel"));
    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(4, 4, 4, 4);
    ServerBox = new QComboBox(panel);
    ServerBox->setObjectName(QStringLiteral("ServerBox"));
    const DirectoryConfig& config = fetcher_.config();
    for (int service : kOfferedServices)
        ServerBox->addItem(config.caption(service), service);
    Edit1 = new QComboBox(panel);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setEditable(true);
    Edit1->setInsertPolicy(QComboBox::NoInsert);
    Edit1->setMaxVisibleItems(20);
    Edit1->setMinimumWidth(120);
    Label1 = new QLabel(QStringLiteral("Show"), panel);
    Label1->setObjectName(QStringLiteral("Label1"));
    rbox = new QComboBox(panel);
    rbox->setObjectName(QStringLiteral("rbox"));
    rbox->addItems(ResultCountCaptions());
    PngSpeedButton1 = new QPushButton(QStringLiteral("Find"), panel);
    PngSpeedButton1->setObjectName(QStringLiteral("PngSpeedButton1"));
    BrokenBox = new QCheckBox(QStringLiteral("Show broken stations"), panel);
    BrokenBox->setObjectName(QStringLiteral("BrokenBox"));
    BrokenBox->setToolTip(
        QStringLiteral("Also list stations the directory found off the air at its last check"));
    row->addWidget(ServerBox);
    row->addWidget(Edit1, 1);
    row->addWidget(Label1);
    row->addWidget(rbox);
    row->addWidget(PngSpeedButton1);
    row->addWidget(BrokenBox);
    layout->addWidget(panel);

    ListView1 = new QTreeView(this);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    model_ = new ResultsModel(ListView1);
    ListView1->setModel(model_);
    ListView1->setItemDelegate(new ResultsDelegate(*this, ListView1));
    ListView1->setRootIsDecorated(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setFrameShape(QFrame::NoFrame);
    ListView1->setContextMenuPolicy(Qt::CustomContextMenu);
    ListView1->setIconSize(QSize(32, 32));
    QPalette pal = ListView1->palette();
    pal.setColor(QPalette::Base, theme_.background);
    ListView1->setPalette(pal);
    QHeaderView* header = ListView1->header();
    header->setStretchLastSection(false);
    header->setSectionsClickable(true);
    header->setSectionsMovable(false);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    header->setSectionResizeMode(1, QHeaderView::Interactive);
    header->setSectionResizeMode(2, QHeaderView::Interactive);
    header->resizeSection(1, 60);
    header->resizeSection(2, 100);
    keepStationColumnWide();
    connect(header, &QHeaderView::sectionResized, this, [this] { keepStationColumnWide(); });
    layout->addWidget(ListView1, 1);

    PopupMenu2 = new QMenu(this);
    PopupMenu2->setObjectName(QStringLiteral("PopupMenu2"));
    MenuItem1 = PopupMenu2->addAction(QStringLiteral("Add to Favourites"));
    MenuItem1->setObjectName(QStringLiteral("MenuItem1"));

    for (QWidget* w : {static_cast<QWidget*>(ServerBox), static_cast<QWidget*>(Edit1),
                       static_cast<QWidget*>(Edit1->lineEdit()), static_cast<QWidget*>(rbox)})
        w->installEventFilter(this);
    connect(PngSpeedButton1, &QPushButton::clicked, this, &SearchTab::PngBitBtn1Click);
    connect(header, &QHeaderView::sectionClicked, this, &SearchTab::ListView1ColumnClick);
    connect(ListView1, &QTreeView::clicked, this, [this] { ListBox1Click(); });
    connect(ListView1->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { ListBox1Click(); });
    connect(ListView1, &QTreeView::doubleClicked, this, [this] { ListView1DblClick(); });
    connect(ListView1, &QTreeView::customContextMenuRequested, this, [this](const QPoint& pos) {
        PopupMenu2Popup(ListView1->viewport()->mapToGlobal(pos));
    });
    connect(MenuItem1, &QAction::triggered, this, &SearchTab::PngSpeedButton1Click);
}

bool SearchTab::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) &&
            (watched == ServerBox || watched == Edit1 || watched == Edit1->lineEdit() ||
             watched == rbox)) {
            PngBitBtn1Click(); // Edit1KeyPress
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

// ---- state ---------------------------------------------------------------------------------

int SearchTab::serviceIndex() const {
    return ServerBox->currentIndex() < 0 ? -1 : ServerBox->currentData().toInt();
}

int SearchTab::countIndex() const {
    return rbox->currentIndex();
}

bool SearchTab::showsPlaceholder() const {
    return !results_.empty() && results_.front().Url == QLatin1String(kNotFoundUrl);
}

const QImage* SearchTab::logoFor(const QString& favicon) const {
    if (favicon.isEmpty()) {
        return nullptr;
    }
    const auto it = logoImages_.constFind(favicon);
    return it == logoImages_.constEnd() ? nullptr : &*it;
}

QString SearchTab::nowPlayingUrl() const {
    return link_.nowPlayingStationUrl ? link_.nowPlayingStationUrl() : QString();
}

int SearchTab::rowCount() const {
    return model_->rowCount();
}

int SearchTab::selectedRow() const {
    const QModelIndexList rows = ListView1->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.front().row();
}

void SearchTab::selectRow(int row) {
    if (row < 0 || row >= rowCount()) {
        ListView1->selectionModel()->clearSelection();
    } else {
        const QModelIndex index = model_->index(row, 0);
        ListView1->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                                QItemSelectionModel::Rows);
        ListView1->scrollTo(index);
    }
    ListBox1Click();
}

const TStat* SearchTab::selectedRecord() const {
    const int row = selectedRow();
    if (row < 0 || showsPlaceholder()) {
        return nullptr;
    }
    const int state = model_->rows()[static_cast<std::size_t>(row)].stateIndex;
    if (state < 0 || state >= static_cast<int>(results_.size())) {
        return nullptr;
    }
    return &results_[static_cast<std::size_t>(state)];
}

std::optional<StationChoice> SearchTab::selection() const {
    const TStat* r = selectedRecord();
    if (!r) {
        return std::nullopt;
    }
    StationChoice choice;
    choice.Category = 1;
    choice.Name = r->Name;
    choice.Url = r->Url;
    choice.IsVideo = r->Video;
    return choice;
}

std::optional<StationChoice> SearchTab::playSelection() {
    const TStat* r = selectedRecord();
    if (r != nullptr && resultsService_ == kServiceRadioBrowser) {
        fetcher_.countClick(resultsServer_, r->StationUuid);
    }
    return selection();
}

void SearchTab::keepStationColumnWide() {
    // "Station" stretches over what the other columns leave, and never below 300 pixels.
    const QHeaderView* header = ListView1->header();
    const int scrollBar = ListView1->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    ListView1->setMinimumWidth(300 + header->sectionSize(1) + header->sectionSize(2) + scrollBar +
                               2 * ListView1->frameWidth());
}

void SearchTab::setStatusRows(int rows) {
    if (host_.setStatus) {
        host_.setStatus(QString::number(rows) + QStringLiteral(" stations") + skippedNote_);
    }
}

void SearchTab::fillRows(const QString& filter) {
    std::vector<ResultRow> rows;
    if (showsPlaceholder()) {
        rows.push_back({QString::fromLatin1(kNotFoundCaption), {QString()}, -1});
    } else {
        for (std::size_t i = 0; i < results_.size(); ++i) {
            const TStat& r = results_[i];
            if (!filter.isEmpty() && !r.OnAir.contains(filter, Qt::CaseInsensitive) &&
                !r.Name.contains(filter, Qt::CaseInsensitive)) {
                continue;
            }
            rows.push_back({r.OnAir, {r.Quality, r.Detail}, static_cast<int>(i)});
        }
    }
    model_->setRows(std::move(rows));
    for (int i = 0; i < model_->rowCount(); ++i) {
        ListView1->setFirstColumnSpanned(i, QModelIndex(), true);
    }
}

void SearchTab::applyFilter(const QString& filter) {
    fillRows(filter);
    ListBox1Click();
}

// ---- search --------------------------------------------------------------------------------

void SearchTab::ServerBoxChange() {
    Edit1->clear();
    rbox->setEnabled(true);
    const int service = serviceIndex();
    if (service == kServiceShoutcast || service == kServiceXiph ||
        service == kServiceRadioBrowser) {
        Edit1->addItems(DirectoryGenres());
        Edit1->setEditable(true);
    }
    Edit1->setCurrentIndex(Edit1->count() > 0 ? 0 : -1);
    if (onChoiceChanged) {
        onChoiceChanged(service, countIndex());
    }
}

void SearchTab::PngBitBtn1Click() {
    model_->setRows({});
    const int count = ResultCountForIndex(countIndex()).value_or(kResultCounts[0]);
    const DirectoryQuery query =
        BuildDirectoryQuery(serviceIndex(), Edit1->currentText(), count, DirectoryGenres(),
                            fetcher_.config(), !BrokenBox->isChecked());
    Wait(false);
    fetcher_.start(query); // ends a running download first
}

void SearchTab::HTTPGet1DoneStream(const QByteArray& body, int service, const QString& server) {
    const int count = ResultCountForIndex(countIndex()).value_or(kResultCounts[0]);
    std::vector<TStat> records;
    skippedNote_.clear();
    if (service == kServiceRadioBrowser) {
        std::optional<StationPage> page =
            ReadRadioBrowserStations(body, count, BrokenBox->isChecked());
        if (page) {
            records = std::move(page->records);
            QStringList left;
            if (page->unplayable > 0)
                left << QStringLiteral("%1 with an unplayable address").arg(page->unplayable);
            if (page->broken > 0)
                left << QStringLiteral("%1 broken").arg(page->broken);
            if (!left.isEmpty())
                skippedNote_ = QStringLiteral(" (skipped: ") + left.join(QStringLiteral(", ")) +
                               QStringLiteral(")");
        }
    } else {
        records = ParseDirectoryPage(PageLines(body), service, count, fetcher_.config().roots());
    }
    model_->setCaptions(ResultColumnCaptions(service));
    results_ = std::move(records);
    resultsService_ = service;
    resultsServer_ = server;
    if (results_.empty()) {
        TStat none;
        none.Url = QString::fromLatin1(kNotFoundUrl);
        results_.push_back(none);
    }
    for (const TStat& r : results_) {
        logos_.request(r.Favicon); // cached ones show at once, the others when they arrive
    }
    fillRows(QString());
    setStatusRows(rowCount());
    ListView1->setFocus();
    selectRow(0);
    Wait(true);
}

void SearchTab::HTTPGet1Error() {
    // Nothing of an earlier search may come back through the filter under a failed one.
    results_.clear();
    resultsServer_.clear();
    fillRows(QString());
    ListBox1Click();
    Wait(true);
}

void SearchTab::Wait(bool ready) {
    PngSpeedButton1->setEnabled(ready);
    Edit1->setEnabled(ready);
    rbox->setEnabled(ready && serviceIndex() != kServiceWebTv);
    if (host_.wait) {
        host_.wait(ready);
    }
}

// ---- results list --------------------------------------------------------------------------

void SearchTab::ListView1ColumnClick(int column) {
    const int d = sort_.flip();
    std::function<int(const SortRow&, const SortRow&)> compare;
    const bool numeric =
        resultsService_ == kServiceShoutcast || resultsService_ == kServiceRadioBrowser;
    if (column == 0) {
        compare = [d](const SortRow& a, const SortRow& b) {
            return CompareCaptions(a, b, d);
        };
    } else if (numeric && column == 1) {
        compare = [d](const SortRow& a, const SortRow& b) {
            return CompareBitrates(a, b, d);
        };
    } else if (resultsService_ == kServiceShoutcast && column == 2) {
        compare = [d](const SortRow& a, const SortRow& b) {
            return CompareListeners(a, b, d);
        };
    } else if (resultsService_ != kServiceShoutcast) {
        sort_.SortSubItem = column - 1;
        const int sub = sort_.SortSubItem;
        compare = [d, sub](const SortRow& a, const SortRow& b) {
            return CompareSubItems(a, b, sub, d);
        };
    } else {
        return; // no such column: only the direction has changed
    }

    const int selected = selectedRow();
    const int selectedState =
        selected >= 0 ? model_->rows()[static_cast<std::size_t>(selected)].stateIndex : -2;
    std::vector<ResultRow> rows = model_->rows();
    std::stable_sort(rows.begin(), rows.end(), [&compare](const ResultRow& a, const ResultRow& b) {
        return compare(SortRow{a.caption, a.subItems}, SortRow{b.caption, b.subItems}) < 0;
    });
    int reselect = -1;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].stateIndex == selectedState) {
            reselect = static_cast<int>(i);
        }
    }
    model_->setRows(std::move(rows));
    for (int i = 0; i < model_->rowCount(); ++i) {
        ListView1->setFirstColumnSpanned(i, QModelIndex(), true);
    }
    if (reselect >= 0) {
        selectRow(reselect);
    }
}

void SearchTab::ListBox1Click() {
    const int rows = rowCount();
    const int sel = selectedRow();
    const bool showing = !host_.searchPageShowing || host_.searchPageShowing();
    if (host_.setToolButtons) {
        host_.setToolButtons(sel >= 0 && showing);
    }
    const bool streamOpen = link_.isStreamOpen && link_.isStreamOpen();
    if (rows == 0) {
        if (link_.setPrevNextEnabled)
            link_.setPrevNextEnabled(false, false);
        // The play control also stops what plays: it stays usable while a stream is open.
        if (!streamOpen && link_.setPlayEnabled)
            link_.setPlayEnabled(false);
        return;
    }
    if (link_.setPrevNextEnabled)
        link_.setPrevNextEnabled(sel != 0, sel != rows - 1);
    if (sel >= 0 && link_.setPlayEnabled)
        link_.setPlayEnabled(true);
    if (link_.repaintSkin)
        link_.repaintSkin();
}

void SearchTab::ListView1DblClick() {
    const TStat* r = selectedRecord();
    if (!r) {
        return;
    }
    // The play command takes the result through playSelection(), which counts the play.
    link_.playSelectedStation();
}

void SearchTab::PopupMenu2Popup(const QPoint& globalPos) {
    MenuItem1->setEnabled(selectedRow() >= 0 && !showsPlaceholder());
    PopupMenu2->popup(globalPos);
}

void SearchTab::PngSpeedButton1Click() {
    const TStat* r = selectedRecord();
    if (!r || !host_.addToFavourites) {
        return;
    }
    // Copies: the dialog runs modally and a search may replace the results meanwhile.
    const QString name = r->Name;
    const QString url = r->Url;
    const QString bitrate = r->Quality.toLower();
    host_.addToFavourites(name, url, bitrate);
}

} // namespace tl
