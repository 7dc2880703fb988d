#include "library/edit_dialog.h"

#include "library/color_button.h"
#include "library/edit_logic.h"
#include "library/favourites.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTextDocument>
#include <QVBoxLayout>

#include <algorithm>

namespace tl {

namespace {
const QColor kRefusedBackground(255, 221, 221); // colour value 14540287
}

TEditForm::TEditForm(EditFormHost& host, QWidget* parent) : QDialog(parent), manager_(host) {
    setObjectName(QStringLiteral("TEditForm"));
    setModal(true);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto* layout = new QVBoxLayout(this);
    PageControl = new QStackedWidget(this);
    PageControl->setObjectName(QStringLiteral("PageControl"));

    auto* stationPage = new QWidget;
    auto* form = new QFormLayout(stationPage);
    form->setContentsMargins(0, 0, 0, 0);
    GroupsCB = new QComboBox(stationPage);
    GroupsCB->setObjectName(QStringLiteral("GroupsCB"));
    // Group names are the user's: a long one is cut in the box rather than widening the dialog.
    GroupsCB->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    GroupsCB->setMinimumContentsLength(16);
    Edit1 = new QLineEdit(stationPage);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit2 = new QLineEdit(stationPage);
    Edit2->setObjectName(QStringLiteral("Edit2"));
    Memo1 = new QPlainTextEdit(stationPage);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Two lines high at the font in use (fitToContents).
    VideoCheckBox = new QCheckBox(QStringLiteral("Video Stream"), stationPage);
    VideoCheckBox->setObjectName(QStringLiteral("VideoCheckBox"));
    BitrateCB = new QComboBox(stationPage);
    BitrateCB->setObjectName(QStringLiteral("BitrateCB"));
    BitrateCB->addItems(bitrateChoices());
    auto* lastLine = new QHBoxLayout;
    lastLine->addWidget(VideoCheckBox);
    lastLine->addStretch();
    lastLine->addWidget(new QLabel(QStringLiteral("Bitrate"), stationPage));
    lastLine->addWidget(BitrateCB);
    form->addRow(QStringLiteral("Group"), GroupsCB);
    form->addRow(QStringLiteral("Name"), Edit1);
    form->addRow(QStringLiteral("URL"), Edit2);
    form->addRow(QStringLiteral("Info"), Memo1);
    form->addRow(lastLine);
    PageControl->addWidget(stationPage);

    auto* groupPage = new QWidget;
    auto* groupForm = new QFormLayout(groupPage);
    groupForm->setContentsMargins(0, 0, 0, 0);
    GNameEdit = new QLineEdit(groupPage);
    GNameEdit->setObjectName(QStringLiteral("GNameEdit"));
    GColorButton = new ColorButton(groupPage);
    groupForm->addRow(QStringLiteral("Name"), GNameEdit);
    groupForm->addRow(QStringLiteral("Color"), GColorButton);
    PageControl->addWidget(groupPage);
    layout->addWidget(PageControl, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setDefault(true); // Enter on OK clicks it
    Button2 = new QPushButton(QStringLiteral("Cancel"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    layout->addLayout(buttons);

    connect(Button1, &QPushButton::clicked, this, &TEditForm::PngBitBtn1Click);
    connect(Button2, &QPushButton::clicked, this, &TEditForm::PngBitBtn2Click);
}

int TEditForm::page() const {
    return PageControl->currentIndex();
}

void TEditForm::setPage(int p) {
    PageControl->setCurrentIndex(p);
}

void TEditForm::prepareNewStation() {
    setPage(kStationPage);
    editMode_ = kEditModeAdd;
    target_.reset();
    Edit1->clear();
    Edit2->clear();
    Memo1->clear();
    BitrateCB->setCurrentIndex(8); // "112"
    const QClipboard* clipboard = QGuiApplication::clipboard();
    Edit2->setText(urlFromClipboard(clipboard ? clipboard->text() : QString()));
    // The video box keeps its state from the last use.
}

void TEditForm::prepareNewGroup() {
    setPage(kGroupPage);
    editMode_ = kEditModeAdd;
    target_.reset();
}

void TEditForm::prepareEdit(const TStation& row) {
    editMode_ = kEditModeEdit;
    target_ = row;
    if (row.isGroup()) {
        setPage(kGroupPage);
        GNameEdit->setText(row.Name);
        GColorButton->setColorRef(row.Color);
    } else {
        setPage(kStationPage);
        BitrateCB->setCurrentIndex(bitrateChoiceIndex(row.Bitrate));
        Edit1->setText(row.Name);
        Edit2->setText(row.Url);
        Memo1->setPlainText(row.Info);
        VideoCheckBox->setChecked(row.Video);
    }
}

void TEditForm::prepareSearchResult(const QString& name, const QString& url,
                                    const QString& bitrate) {
    // EditMode stays as it is: OK sets it to "add" while the search tab is shown.
    target_ = manager_.selectedRecord();
    setPage(kStationPage);
    Edit1->setText(name);
    Edit2->setText(url);
    Memo1->clear();
    BitrateCB->setCurrentIndex(bitrateChoiceIndex(bitrate));
}

void TEditForm::preparePlayingStation(const QString& name, const QString& url, const QString& info,
                                      bool video) {
    editMode_ = kEditModeAdd;
    target_.reset();
    setPage(kStationPage);
    Edit1->setText(name);
    Edit2->setText(url);
    Memo1->setPlainText(info);
    VideoCheckBox->setChecked(video);
}

void TEditForm::openForNewStation() {
    prepareNewStation();
    runModal();
}

void TEditForm::openForNewGroup() {
    prepareNewGroup();
    runModal();
}

void TEditForm::openForEdit(const TStation& row) {
    prepareEdit(row);
    runModal();
}

void TEditForm::PngSpeedButton1Click(const QString& name, const QString& url,
                                     const QString& bitrate) {
    prepareSearchResult(name, url, bitrate);
    runModal();
}

void TEditForm::openForPlayingStation(const QString& name, const QString& url, const QString& info,
                                      bool video) {
    preparePlayingStation(name, url, info, video);
    runModal();
}

void TEditForm::setVisible(bool visible) {
    if (visible)
        fitToContents();
    QDialog::setVisible(visible);
}

void TEditForm::fitToContents() {
    // At least the classic 380 x 193, and large enough for every control at the font in use
    // (a large desktop font or scale must not cut them); the border stays fixed.
    const QFontMetrics metrics = Memo1->fontMetrics();
    const int frame = 2 * Memo1->frameWidth();
    const int margins = qRound(2 * Memo1->document()->documentMargin());
    Memo1->setFixedHeight(std::max(2 * metrics.lineSpacing() + frame + margins,
                                   Memo1->minimumSizeHint().height())); // its scroll bar, whole
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    layout()->activate();
    setFixedSize(layout()->totalSizeHint().expandedTo(QSize(380, 193)));
}

int TEditForm::runModal() {
    return exec();
}

void TEditForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TEditForm::FillGroups() {
    GroupsCB->clear();
    GroupsCB->addItems(manager_.favourites().groupNames());
    GroupsCB->setCurrentIndex(GroupsCB->count() > 0 ? 0 : -1);
}

void TEditForm::FormShow() {
    if (page() == kGroupPage) {
        setWindowTitle(QStringLiteral("Edit Group"));
        GNameEdit->setFocus();
    } else {
        setWindowTitle(QStringLiteral("Edit Station"));
        FillGroups();
        GroupsCB->setFocus();
    }
}

void TEditForm::markName(QLineEdit* edit, bool refused) {
    QPalette pal = edit->palette();
    pal.setColor(QPalette::Base, refused ? kRefusedBackground
                                         : edit->style()->standardPalette().color(QPalette::Base));
    edit->setPalette(pal);
}

bool TEditForm::nameFieldMarked() const {
    const QLineEdit* edit = page() == kGroupPage ? GNameEdit : Edit1;
    return edit->palette().color(QPalette::Base) == kRefusedBackground;
}

void TEditForm::PngBitBtn1Click() {
    const int topRow = manager_.rememberTopRow(); // the commit's rebuild keeps the list still
    EditOkResult result;
    QLineEdit* nameField = page() == kGroupPage ? GNameEdit : Edit1;
    if (page() == kGroupPage) {
        result = groupOk(manager_.favourites(), editMode_,
                         GroupInput{GNameEdit->text(), GColorButton->colorRef()}, target_);
    } else {
        StationInput input;
        input.fields.url = Edit2->text();
        input.fields.name = Edit1->text();
        input.fields.info = Memo1->toPlainText();
        input.fields.bitrate =
            BitrateCB->currentIndex() >= 0 ? BitrateCB->currentText() : QString();
        input.fields.video = VideoCheckBox->isChecked();
        input.groupChoice = GroupsCB->currentIndex();
        result = stationOk(manager_.favourites(), editMode_, manager_.searchPageShowing(), input,
                           target_);
    }
    if (result.outcome == EditOutcome::NameMissing) {
        manager_.showMessage(result.message);
        markName(nameField, true);
        return;
    }
    markName(nameField, false);
    if (result.outcome != EditOutcome::Committed) {
        manager_.showMessage(result.message);
        return;
    }
    manager_.applyCommit(result.commit, topRow);
    if (!result.commit.written)
        return; // the error is shown; what was typed stays for another try
    if (result.stationAdded)
        manager_.notify(kStationAdded);
    accept();
}

void TEditForm::PngBitBtn2Click() {
    reject();
}

void TEditForm::reject() {
    markName(Edit1, false);
    markName(GNameEdit, false);
    QDialog::reject();
}

} // namespace tl
