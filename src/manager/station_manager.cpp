#include "manager/station_manager.h"

#include "directory/search_tab.h"
#include "library/edit_dialog.h"
#include "library/favourites_actions.h"
#include "library/favourites_view.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace tl {

namespace {

QIcon iconOf(const QImage& image) {
    return QIcon(QPixmap::fromImage(image));
}

QToolButton* makeToolButton(QWidget* parent, const char* name, const QString& tip,
                            const QImage& image) {
    auto* button = new QToolButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setToolTip(tip);
    button->setIcon(iconOf(image));
    button->setIconSize(QSize(32, 32));
    button->setFixedSize(QSize(48, 48));
    button->setAutoRaise(true);
    return button;
}

QTreeView* makePlaceholderList(QWidget* parent, const char* name, const QStringList& columns) {
    auto* view = new QTreeView(parent);
    view->setObjectName(QString::fromLatin1(name));
    view->setRootIsDecorated(false);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    auto* model = new QStandardItemModel(0, static_cast<int>(columns.size()), view);
    model->setHorizontalHeaderLabels(columns);
    view->setModel(model);
    return view;
}

} // namespace

TForm2::TForm2(const LibraryStartup& startup, PlayerLink link, ManagerDialogs dialogs,
               QWidget* parent)
    : QWidget(parent, Qt::Window), link_(std::move(link)), dialogs_(std::move(dialogs)),
      // The densest screen decides whether the @2x pictures are used.
      theme_(LoadInterfaceTheme(startup.appPath + QStringLiteral("interface/"),
                                qApp->devicePixelRatio() >= 2.0 ? 2 : 1)),
      favs_(startup.appPath + QStringLiteral("stations.xml")) {
    setObjectName(QStringLiteral("TForm2"));
    setWindowTitle(QStringLiteral("Stations"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    buildUi(startup);
    applyInterfaceTheme(*this, theme_);
    FormCreate(startup);
}

TForm2::~TForm2() = default;

void TForm2::buildUi(const LibraryStartup& startup) {
    setMinimumSize(506, 350);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    // Tool bar with the filter panel at its right end.
    auto* coolBar = new QWidget(this);
    coolBar->setObjectName(QStringLiteral("CoolBar1"));
    auto* barLayout = new QHBoxLayout(coolBar);
    barLayout->setContentsMargins(0, 0, 4, 0);
    auto* toolBar = new QToolBar(coolBar);
    toolBar->setObjectName(QStringLiteral("ToolBar1"));
    toolBar->setIconSize(QSize(32, 32));
    toolBar->setFixedHeight(48);
    const auto& img = theme_.rowImages;
    ToolButton1 = makeToolButton(toolBar, "ToolButton1", QStringLiteral("New station"),
                                 img[ListTheme::kNewStation]);
    ToolButton1->setPopupMode(QToolButton::MenuButtonPopup);
    ToolButton1->setFixedSize(QSize(60, 48));
    AddStatiMenu = new QMenu(ToolButton1);
    AddStatiMenu->setObjectName(QStringLiteral("AddStatiMenu"));
    QAction* fromXml = AddStatiMenu->addAction(QStringLiteral("From XML file..."));
    fromXml->setObjectName(QStringLiteral("FromXMLfile1"));
    ToolButton1->setMenu(AddStatiMenu);
    NewGroupBtn = makeToolButton(toolBar, "NewGroupBtn", QStringLiteral("New group"),
                                 img[ListTheme::kNewGroup]);
    ToolButton2 = makeToolButton(toolBar, "ToolButton2", QStringLiteral("Add to favourites"),
                                 img[ListTheme::kAddFavourite]);
    ToolButton3 =
        makeToolButton(toolBar, "ToolButton3", QStringLiteral("Delete"), img[ListTheme::kDelete]);
    for (QToolButton* b : {ToolButton1, NewGroupBtn, ToolButton2, ToolButton3})
        toolBar->addWidget(b);
    barLayout->addWidget(toolBar, 1);

    auto* searchPanel = new QWidget(coolBar);
    searchPanel->setObjectName(QStringLiteral("SearchPanelBackground2"));
    searchPanel->setFixedSize(192, 48);
    auto* searchLayout = new QHBoxLayout(searchPanel);
    searchLayout->setContentsMargins(8, 0, 4, 0);
    searchLayout->setSpacing(2);
    FSEdit = new QLineEdit(searchPanel);
    FSEdit->setObjectName(QStringLiteral("FSEdit"));
    FSEdit->setPlaceholderText(QStringLiteral("Search"));
    FSEdit->setFrame(false);
    FSEdit->setMinimumWidth(119);
    FSEdit->installEventFilter(this);
    FSClearButton = new QToolButton(searchPanel);
    FSClearButton->setObjectName(QStringLiteral("FSClearButton"));
    FSClearButton->setIcon(iconOf(theme_.clearImage));
    FSClearButton->setIconSize(QSize(24, 24));
    FSClearButton->setFixedSize(QSize(24, 24));
    FSClearButton->setAutoRaise(true);
    searchLayout->addWidget(FSEdit, 1);
    searchLayout->addWidget(FSClearButton);
    barLayout->addWidget(searchPanel);
    layout->addWidget(coolBar);

    // The three tabs, in their fixed order.
    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    auto* favouritesTab = new QWidget;
    favouritesTab->setObjectName(QStringLiteral("TabSheet2"));
    auto* favLayout = new QVBoxLayout(favouritesTab);
    favLayout->setContentsMargins(0, 0, 0, 0);
    ListView2 = new FavouritesListView(favouritesTab);
    model_ = new FavouritesModel(favs_, ListView2);
    ListView2->setModel(model_);
    ListView2->setItemDelegate(new FavouritesDelegate(theme_, ListView2));
    ListView2->favouritesDelegate()->setNowPlayingUrl(
        [this]() { return link_.nowPlayingStationUrl ? link_.nowPlayingStationUrl() : QString(); });
    QPalette pal = ListView2->palette();
    pal.setColor(QPalette::Base, theme_.background);
    ListView2->setPalette(pal);
    favLayout->addWidget(ListView2);
    PageControl1->addTab(favouritesTab, QStringLiteral("My Favourites"));

    auto* searchTab = new QWidget;
    searchTab->setObjectName(QStringLiteral("TabSheet1"));
    auto* searchTabLayout = new QVBoxLayout(searchTab);
    searchTabLayout->setContentsMargins(0, 0, 0, 0);
    SearchTabHost host;
    host.wait = [this](bool ready) {
        Wait(ready);
    };
    host.setStatus = [this](const QString& text) {
        statlabl->setText(text);
    };
    host.searchPageShowing = [this] {
        return currentPage() == kSearchPage;
    };
    host.setToolButtons = [this](bool addEnabled) {
        ToolButton1->setEnabled(false);
        ToolButton3->setEnabled(false);
        ToolButton2->setEnabled(addEnabled);
    };
    host.addToFavourites = [this](const QString& name, const QString& url, const QString& rate) {
        AddSearchResult(name, url, rate);
    };
    search_ = new SearchTab({startup.appPath, startup.serviceIndex, startup.searchResCount}, theme_,
                            link_, sortState_, std::move(host), searchTab);
    search_->onChoiceChanged = [this](int service, int count) {
        if (link_.searchChoiceChanged)
            link_.searchChoiceChanged(service, count);
    };
    searchSelection = [this] {
        return search_->playSelection(); // asked by the play command only
    };
    searchRowCount = [this] {
        return search_->rowCount();
    };
    searchSelectedRow = [this] {
        return search_->selectedRow();
    };
    searchSelectRow = [this](int row) {
        search_->selectRow(row);
    };
    searchFilterChanged = [this](const QString& filter) {
        search_->applyFilter(filter);
    };
    addSearchResultClicked = [this] {
        search_->PngSpeedButton1Click();
    };
    ListView1 = search_->listView();
    searchTabLayout->addWidget(search_);
    PageControl1->addTab(searchTab, QStringLiteral("Search Stations"));

    auto* recordingsTab = new QWidget;
    recordingsTab->setObjectName(QStringLiteral("TabSheet3"));
    auto* recLayout = new QVBoxLayout(recordingsTab);
    recLayout->setContentsMargins(0, 0, 0, 0);
    ListView3 =
        makePlaceholderList(recordingsTab, "ListView3", {QStringLiteral("Recordings from radio")});
    recLayout->addWidget(ListView3);
    PageControl1->addTab(recordingsTab, QStringLiteral("My Recordings"));
    layout->addWidget(PageControl1, 1);

    auto* statusBar = new QWidget(this);
    statusBar->setObjectName(QStringLiteral("StatusBarBackground"));
    statusBar->setFixedHeight(21);
    statlabl = new QLabel(statusBar);
    statlabl->setObjectName(QStringLiteral("statlabl"));
    statlabl->move(3, 4);
    statlabl->setMinimumWidth(300);
    layout->addWidget(statusBar);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    QAction* edit = PopupMenu1->addAction(QStringLiteral("Edit..."));
    edit->setObjectName(QStringLiteral("Edit2"));
    PopupMenu1->addSeparator();
    QAction* del = PopupMenu1->addAction(QStringLiteral("Delete"));
    del->setObjectName(QStringLiteral("Delete1"));

    editForm_ = new TEditForm(*this, this);

    // Wiring.
    connect(ToolButton1, &QToolButton::clicked, this, &TForm2::jvBitmapButton1click);
    connect(fromXml, &QAction::triggered, this, &TForm2::FromXMLfile1Click);
    connect(NewGroupBtn, &QToolButton::clicked, this, &TForm2::NewGroupBtnClick);
    connect(ToolButton2, &QToolButton::clicked, this, [this] {
        if (addSearchResultClicked)
            addSearchResultClicked();
    });
    connect(ToolButton3, &QToolButton::clicked, this, &TForm2::ToolButton3Click);
    connect(edit, &QAction::triggered, this, &TForm2::Edit2Click);
    connect(del, &QAction::triggered, this, &TForm2::ToolButton3Click);
    connect(FSEdit, &QLineEdit::textChanged, this, &TForm2::FSEditChange);
    connect(FSClearButton, &QToolButton::clicked, this, &TForm2::FSClearButtonClick);
    connect(PageControl1, &QTabWidget::currentChanged, this, &TForm2::PageControl1Change);
    connect(ListView2, &QListView::clicked, this, [this] { ListBox2Click(); });
    connect(ListView2, &QListView::doubleClicked, this, [this] { ListBox2DblClick(); });
    connect(ListView2, &FavouritesListView::rowReleased, this,
            [this](int row, Qt::MouseButton) { onRowReleased(row); });
    connect(ListView2, &FavouritesListView::keyReleased, this, &TForm2::onKeyReleased);
    connect(ListView2, &FavouritesListView::contextMenuWanted, this, &TForm2::PopupMenu1Popup);
    model_->onDrop = [this](int dragged, int target) {
        dropRow(dragged, target);
    };
}

void TForm2::FormCreate(const LibraryStartup& startup) {
    setGeometry(startup.geometry);
    // Until the first showing the search tab is the active one, as laid out.
    {
        const QSignalBlocker block(PageControl1);
        PageControl1->setCurrentIndex(kSearchPage);
    }
    LoadFavs(QString());
    if (startup.lastCategory == 1) {
        if (link_.stationStatus)
            link_.stationStatus(startup.lastInfo);
    } else if (favs_.rowCount() > 0) {
        const int row =
            startup.lastIndex >= 0 && startup.lastIndex < favs_.rowCount() ? startup.lastIndex : 0;
        ListView2->selectRow(row);
        if (link_.stationStatus)
            link_.stationStatus(startup.lastInfo);
        ListBox2Click();
    }
    if (link_.setTimeText)
        link_.setTimeText(QStringLiteral("00:00"));
}

// ---- loading -----------------------------------------------------------------------------

int TForm2::rememberTopRow() const {
    return ListView2->selectedRow() >= 0 ? ListView2->topRow() : 0;
}

void TForm2::LoadFavs(const QString& filterText) {
    const int top = rememberTopRow();
    applyLoad(favs_.LoadFavs(filterText), top);
}

void TForm2::applyLoad(const LoadResult& result, int topRow) {
    model_->reload();
    ListView2->scrollToTopRow(topRow);
    // The status line belongs to the page on show: adding a search result to the favourites
    // must not replace the search's count with the favourites'.
    const bool favouritesShown =
        PageControl1 == nullptr || !isVisible() || currentPage() == kFavouritesPage;
    if (!result.statusText.isEmpty() && favouritesShown)
        statlabl->setText(result.statusText);
    if (!result.ok)
        showMessage(result.error);
}

void TForm2::applyCommit(const CommitResult& result, int topRow) {
    if (!result.backupPath.isEmpty())
        showMessage(result.written
                        ? QStringLiteral("The favourites file could not be read. It was kept as\n"
                                         "%1\nand a new favourites file was written.")
                              .arg(result.backupPath)
                        : QStringLiteral("The favourites file could not be read. It was moved "
                                         "to\n%1")
                              .arg(result.backupPath));
    if (!result.written) {
        showMessage(result.error);
        // The document may hold the unsaved change; show what the file holds.
        LoadFavs(QString());
        return;
    }
    applyLoad(result.load, topRow);
}

void TForm2::setStatus(int rows) {
    statlabl->setText(QString::number(rows) + QStringLiteral(" stations"));
}

// ---- for the player ----------------------------------------------------------------------

std::optional<TStation> TForm2::selectedRecord() const {
    if (const TStation* rec = favs_.row(ListView2->selectedRow()))
        return *rec;
    return std::nullopt;
}

std::optional<StationChoice> TForm2::selectedStation() const {
    if (currentPage() == kSearchPage)
        return searchSelection ? searchSelection() : std::nullopt;
    if (currentPage() != kFavouritesPage)
        return std::nullopt;
    const int row = ListView2->selectedRow();
    const TStation* rec = favs_.row(row);
    if (!rec || rec->isGroup())
        return std::nullopt;
    StationChoice choice;
    choice.Category = kFavouritesPage;
    choice.Index = row;
    choice.Name = rec->Name;
    choice.Url = rec->Url;
    choice.IsVideo = rec->Video;
    return choice;
}

int TForm2::currentPage() const {
    return PageControl1->currentIndex();
}

void TForm2::setCurrentPage(int index) {
    PageControl1->setCurrentIndex(index);
}

int TForm2::lastStationRow() const {
    return ListView2->selectedRow();
}

QRect TForm2::savedGeometry() const {
    return isMaximized() ? normalGeometry() : geometry();
}

int TForm2::currentListRowCount() const {
    switch (currentPage()) {
    case kFavouritesPage:
        return favs_.rowCount();
    case kSearchPage:
        return searchRowCount ? searchRowCount() : 0;
    default:
        return ListView3->model()->rowCount();
    }
}

int TForm2::currentListSelectedRow() const {
    switch (currentPage()) {
    case kFavouritesPage:
        return ListView2->selectedRow();
    case kSearchPage:
        return searchSelectedRow ? searchSelectedRow() : -1;
    default: {
        const QModelIndexList rows = ListView3->selectionModel()->selectedRows();
        return rows.isEmpty() ? -1 : rows.first().row();
    }
    }
}

void TForm2::selectCurrentListRow(int row) {
    switch (currentPage()) {
    case kFavouritesPage:
        ListView2->selectRow(row);
        ListView2->scrollToSelection();
        ListBox2Click();
        break;
    case kSearchPage:
        if (searchSelectRow)
            searchSelectRow(row);
        break;
    default:
        if (recordingsSelectRow)
            recordingsSelectRow(row);
        break;
    }
}

void TForm2::ListBox2Click() {
    const int rows = favs_.rowCount();
    const int sel = ListView2->selectedRow();
    if (link_.setPrevNextEnabled) {
        if (rows > 0)
            link_.setPrevNextEnabled(sel != 0, sel + 1 != rows);
        else
            link_.setPrevNextEnabled(false, false);
    }
    ToolButton1->setEnabled(sel >= 0);
    ToolButton3->setEnabled(sel >= 0);
    ToolButton2->setEnabled(false);
    const bool streamOpen = link_.isStreamOpen && link_.isStreamOpen();
    if (!streamOpen && link_.setPlayEnabled)
        link_.setPlayEnabled(sel >= 0);
    if (link_.repaintSkin)
        link_.repaintSkin();
}

void TForm2::ListBox2DblClick() {
    const TStation* rec = favs_.row(ListView2->selectedRow());
    if (!rec || rec->isGroup())
        return;
    link_.playSelectedStation();
}

bool TForm2::IsFavouriteUrl(const QString& url) {
    if (!favs_.IsFavouriteUrl(url))
        return false;
    notify(QStringLiteral("Station already available in Your Favourites!"));
    return true;
}

void TForm2::AddPlayingStation(const NowPlaying& playing) {
    if (IsFavouriteUrl(playing.StationUrl))
        return;
    editForm_->openForPlayingStation(playing.StreamTitle, playing.StationUrl, playing.Info,
                                     playing.IsVideo);
}

void TForm2::AddSearchResult(const QString& name, const QString& url, const QString& bitrate) {
    if (IsFavouriteUrl(url))
        return;
    editForm_->PngSpeedButton1Click(name, url, bitrate);
}

// ---- window ------------------------------------------------------------------------------

int TForm2::TaskDialog(const QString& title, const QString& instruction, const QString& content) {
    if (dialogs_.confirm)
        return dialogs_.confirm(title, instruction, content);
    QMessageBox box(QMessageBox::Question, title, instruction, QMessageBox::Yes | QMessageBox::No,
                    this);
    box.setTextFormat(Qt::PlainText);
    box.setInformativeText(content);
    // The content holds names and info as typed: show them as text, never as markup.
    if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
        label->setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes ? 6 : 7;
}

void TForm2::showMessage(const QString& text) {
    if (dialogs_.message)
        dialogs_.message(text);
    else {
        // Messages quote names and paths: plain text, so a "<" in them is shown as it is.
        QMessageBox box(QMessageBox::Information, QStringLiteral("Stations"), text, QMessageBox::Ok,
                        isVisible() ? this : nullptr);
        box.setTextFormat(Qt::PlainText);
        box.exec();
    }
}

void TForm2::notify(const QString& text) {
    if (link_.showNotification)
        link_.showNotification(text);
}

void TForm2::Wait(bool ready) {
    ToolButton1->setEnabled(ready);
    FSEdit->setEnabled(ready);
    if (ready == !waiting_)
        return; // the cursor is already right; override cursors stack
    waiting_ = !ready;
    if (ready)
        QApplication::restoreOverrideCursor();
    else
        QApplication::setOverrideCursor(Qt::WaitCursor);
}

bool TForm2::HasVerticalScrollBar() const {
    return ListView2->verticalScrollBar()->isVisible();
}

void TForm2::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (event->spontaneous())
        return;
    {
        const QSignalBlocker block(PageControl1);
        PageControl1->setCurrentIndex(kFavouritesPage);
    }
    PageControl1Change(kFavouritesPage);
}

void TForm2::closeEvent(QCloseEvent* event) {
    event->ignore();
    hide();
    if (link_.managerClosed)
        link_.managerClosed();
    if (link_.repaintSkin)
        link_.repaintSkin();
}

void TForm2::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    ListView2->viewport()->update();
    ListView1->viewport()->update();
    ListView3->viewport()->update();
}

bool TForm2::eventFilter(QObject* watched, QEvent* event) {
    if (watched == FSEdit && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        FSClearButtonClick();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TForm2::PageControl1Change(int index) {
    // Every tab change resets the filter and rebuilds the favourites unfiltered, before the
    // favourites tab selects its first row (a rebuild clears the selection).
    FSClearButtonClick();
    if (favs_.rowsFiltered())
        LoadFavs(QString());
    switch (index) {
    case kFavouritesPage:
        if (favs_.rowCount() == 0) {
            if (link_.setPrevNextEnabled)
                link_.setPrevNextEnabled(false, false);
        } else {
            ListView2->selectRow(0);
            ListBox2Click();
        }
        ToolButton1->setEnabled(true);
        NewGroupBtn->setEnabled(true);
        ToolButton2->setEnabled(false);
        ToolButton3->setEnabled(ListView2->selectedRow() >= 0);
        setStatus(favs_.rowCount());
        break;
    case kSearchPage: {
        const int rows = searchRowCount ? searchRowCount() : 0;
        if (rows > 0 && searchSelectRow)
            searchSelectRow(0);
        else if (link_.setPrevNextEnabled)
            link_.setPrevNextEnabled(false, false);
        ToolButton1->setEnabled(false);
        NewGroupBtn->setEnabled(false);
        ToolButton2->setEnabled((searchSelectedRow ? searchSelectedRow() : -1) >= 0);
        ToolButton3->setEnabled(false);
        setStatus(rows);
        break;
    }
    default: {
        if (ListView3->model()->rowCount() == 0) {
            for (QToolButton* b : {ToolButton1, NewGroupBtn, ToolButton2, ToolButton3})
                b->setEnabled(false);
            if (link_.setPrevNextEnabled)
                link_.setPrevNextEnabled(false, false);
        } else if (recordingsSelectRow) {
            recordingsSelectRow(0);
        }
        if (listRecordings)
            listRecordings();
        setStatus(ListView3->model()->rowCount());
        break;
    }
    }
    if (index == kRecordingsPage)
        ToolButton3->setEnabled(false);
    FSEdit->setEnabled(index != kRecordingsPage);
    FSClearButton->setEnabled(index != kRecordingsPage);
    if (link_.repaintSkin)
        link_.repaintSkin();
}

// ---- filter ------------------------------------------------------------------------------

void TForm2::FSEditChange(const QString& text) {
    const QString trimmed = text.trimmed();
    filterActive_ = !trimmed.isEmpty();
    const QString filter = filterActive_ ? trimmed : QString();
    favs_.setFilter(filter);
    if (currentPage() == kFavouritesPage) {
        LoadFavs(filter);
    } else if (currentPage() == kSearchPage) {
        if (searchFilterChanged)
            searchFilterChanged(filter);
    }
}

void TForm2::FSClearButtonClick() {
    filterActive_ = false;
    favs_.setFilter(QString());
    FSEdit->clear(); // runs FSEditChange when the text actually changes
    PageControl1->setFocus();
}

// ---- favourites actions --------------------------------------------------------------------

void TForm2::onRowReleased(int row) {
    if (ListView2->isDragging())
        return;
    const TStation* rec = favs_.row(row);
    if (rec && rec->isGroup())
        toggleGroup(row);
}

void TForm2::toggleGroup(int row) {
    const int top = rememberTopRow();
    if (auto result = toggleCollapse(favs_, row)) {
        applyCommit(result->commit, top);
        ListView2->selectRow(result->reselectRow);
        ListBox2Click();
    }
}

void TForm2::onKeyReleased(int key) {
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        const int row = ListView2->selectedRow();
        const TStation* rec = favs_.row(row);
        if (!rec)
            return;
        if (rec->isGroup())
            toggleGroup(row);
        else
            ListBox2DblClick();
    } else if (key == Qt::Key_Delete) {
        ToolButton3Click();
    }
}

void TForm2::dropRow(int dragged, int target) {
    if (target < 0 || target == dragged)
        return;
    const int top = rememberTopRow();
    if (auto result = ::tl::dropRow(favs_, dragged, target))
        applyCommit(*result, top);
}

void TForm2::ToolButton3Click() {
    if (currentPage() == kRecordingsPage && deleteRecording)
        deleteRecording();
    if (currentPage() != kFavouritesPage)
        return;
    const int row = ListView2->selectedRow();
    const std::optional<DeleteQuestion> question = deleteQuestion(favs_, row);
    if (!question)
        return;
    const int top = rememberTopRow();
    const bool yes = TaskDialog(question->title, question->instruction, question->content) == 6;
    if (auto result = deleteRow(favs_, row, yes))
        applyCommit(*result, top);
}

void TForm2::PopupMenu1Popup(const QPoint& globalPos) {
    const bool selected = ListView2->selectedRow() >= 0;
    for (QAction* a : PopupMenu1->actions())
        if (!a->isSeparator())
            a->setEnabled(selected);
    PopupMenu1->popup(globalPos);
}

void TForm2::Edit2Click() {
    if (auto rec = selectedRecord())
        editForm_->openForEdit(*rec);
}

void TForm2::jvBitmapButton1click() {
    editForm_->openForNewStation();
}

void TForm2::NewGroupBtnClick() {
    editForm_->openForNewGroup();
}

void TForm2::FromXMLfile1Click() {
    const QString path = dialogs_.chooseImportFile
                             ? dialogs_.chooseImportFile()
                             : QFileDialog::getOpenFileName(this, QStringLiteral("Open"));
    if (path.isEmpty())
        return;
    const int top = rememberTopRow();
    const ImportResult result = importAndCommit(favs_, path);
    if (result.failed)
        showMessage(QStringLiteral("Error!"));
    applyCommit(result.commit, top);
}

} // namespace tl
