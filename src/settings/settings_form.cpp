#include "settings/settings_form.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

namespace tl {

namespace {

// Both windows open centred on the desktop (a parent would centre them on itself).
void centreOnScreen(QWidget* window) {
    if (window->parentWidget() == nullptr && window->screen() != nullptr) {
        window->move(window->screen()->availableGeometry().center() - window->rect().center());
    }
}

template <typename W> W* named(W* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

} // namespace

TSettingsForm::TSettingsForm(SettingsSeams seams, QWidget* parent)
    : QDialog(parent), seams_(std::move(seams)) {
    setWindowTitle(QStringLiteral("Settings"));
    setModal(true);

    auto* general = named(new QGroupBox(QStringLiteral("General"), this), "GroupBox1");
    CheckBox1_ = named(new QCheckBox(QStringLiteral("Minimize to tray"), general), "CheckBox1");
    PlayOnStartCB_ =
        named(new QCheckBox(QStringLiteral("Resume play on start"), general), "PlayOnStartCB");
    auto* generalLayout = new QVBoxLayout(general);
    generalLayout->addWidget(CheckBox1_);
    generalLayout->addWidget(PlayOnStartCB_);

    auto* theme = named(new QGroupBox(QStringLiteral("Theme"), this), "GroupBox2");
    SkinBox_ = named(new QComboBox(theme), "SkinBox");
    // Theme names are folder names: a long one is cut in the box rather than widening the dialog.
    SkinBox_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    SkinBox_->setMinimumContentsLength(16);
    Label5_ = named(new QLabel(QStringLiteral("Edit theme"), theme), "Label5");
    Label6_ = named(new QLabel(QStringLiteral("Open theme folder"), theme), "Label6");
    for (QLabel* label : {Label5_, Label6_}) {
        label->setCursor(Qt::PointingHandCursor);
        label->installEventFilter(this);
    }
    auto* themeLayout = new QVBoxLayout(theme);
    themeLayout->addWidget(SkinBox_);
    auto* themeLinks = new QHBoxLayout;
    themeLinks->addWidget(Label5_);
    themeLinks->addStretch();
    themeLinks->addWidget(Label6_);
    themeLayout->addLayout(themeLinks);

    auto* recording = named(new QGroupBox(QStringLiteral("Recording"), this), "GroupBox3");
    encoderbox_ = named(new QComboBox(recording), "encoderbox");
    bitBox_ = named(new QComboBox(recording), "bitBox");
    bitBox_->addItems(encoderBitrateChoices());
    LimitBitrateCB_ = named(
        new QCheckBox(QStringLiteral("Use stream quality if stream has lower bitrate "), recording),
        "LimitBitrateCB");
    CheckBox4_ =
        named(new QCheckBox(QStringLiteral("Custom recording folder"), recording), "CheckBox4");
    folderEdit_ = named(new QLineEdit(recording), "folderEdit");
    Button2_ = named(new QPushButton(QStringLiteral("..."), recording), "Button2");
    auto* recordingLayout = new QGridLayout(recording);
    recordingLayout->addWidget(new QLabel(QStringLiteral("Encoder"), recording), 0, 0);
    recordingLayout->addWidget(encoderbox_, 0, 1, 1, 2);
    recordingLayout->addWidget(new QLabel(QStringLiteral("Quality"), recording), 1, 0);
    recordingLayout->addWidget(bitBox_, 1, 1);
    recordingLayout->addWidget(new QLabel(QStringLiteral("kbps"), recording), 1, 2);
    recordingLayout->addWidget(LimitBitrateCB_, 2, 0, 1, 3);
    recordingLayout->addWidget(CheckBox4_, 3, 0, 1, 3);
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(folderEdit_);
    folderRow->addWidget(Button2_);
    recordingLayout->addLayout(folderRow, 4, 0, 1, 3);

    auto* notifier = named(new QGroupBox(QStringLiteral("Notifier"), this), "GroupBox4");
    CheckBox2_ = named(new QCheckBox(QStringLiteral("Show notifier"), notifier), "CheckBox2");
    TrackBar1_ = named(new QSlider(Qt::Horizontal, notifier), "TrackBar1");
    TrackBar1_->setRange(kNotifierSliderMin, kNotifierSliderMax);
    TrackBar1_->setSingleStep(5);
    TrackBar1_->setTickPosition(QSlider::TicksBelow);
    TrackBar1_->setTickInterval(1);
    auto* notifierLayout = new QVBoxLayout(notifier);
    notifierLayout->addWidget(CheckBox2_);
    notifierLayout->addWidget(new QLabel(QStringLiteral("Duration of display"), notifier));
    notifierLayout->addWidget(TrackBar1_);

    Button3_ = named(new QPushButton(QStringLiteral("OK"), this), "Button3");
    Button4_ = named(new QPushButton(QStringLiteral("Cancel"), this), "Button4");
    Button1_ = named(new QPushButton(QStringLiteral("Apply"), this), "Button1");
    Button3_->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button3_);
    buttons->addWidget(Button4_);
    buttons->addWidget(Button1_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(general);
    layout->addWidget(theme);
    layout->addWidget(recording);
    layout->addWidget(notifier);
    layout->addStretch();
    layout->addLayout(buttons);

    connect(CheckBox4_, &QCheckBox::toggled, this, [this] { CheckBox4Click(); });
    connect(LimitBitrateCB_, &QCheckBox::toggled, this, [this] { CheckBox4Click(); });
    connect(Button1_, &QPushButton::clicked, this, [this] { PngBitBtn1Click(); });
    connect(Button3_, &QPushButton::clicked, this, [this] { Button3Click(); });
    connect(Button4_, &QPushButton::clicked, this, [this] { Button4Click(); });
    connect(Button2_, &QPushButton::clicked, this, [this] { PngBitBtn2Click(); });
    CheckBox4Click();
    fitToContents();
}

void TSettingsForm::FormCreate() {
    const QStringList themes = listThemes(seams_.appPath);
    SkinBox_->clear();
    SkinBox_->addItems(themes);
    SkinBox_->setCurrentIndex(indexOfIgnoringCase(themes, seams_.settings.Theme));

    // The stored theme is loaded whether or not the list has it.
    if (seams_.loadSkin) {
        seams_.loadSkin(themeFolder(seams_.appPath, seams_.settings.Theme));
    }

    encoders_ = seams_.pathEnv.isEmpty() ? availableEncoders(seams_.appPath)
                                         : availableEncoders(seams_.appPath, seams_.pathEnv);
    encoderbox_->clear();
    encoderbox_->addItems(encoders_);
    encoderbox_->setCurrentIndex(-1);

    if (seams_.settings.PlayOnStart && seams_.playOnStart) {
        seams_.playOnStart();
    }
}

void TSettingsForm::FormShow() {
    setDialogState(
        dialogStateFor(seams_.settings, seams_.recorder, seams_.appPath, encoders_, dialogState()));
}

void TSettingsForm::setVisible(bool visible) {
    if (visible)
        fitToContents();
    QDialog::setVisible(visible);
}

void TSettingsForm::fitToContents() {
    // "..." stays a narrow button beside the folder field: its text and the style's margins,
    // not the width of a dialog button.
    const int margins = 2 * (style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, Button2_) +
                             style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, Button2_));
    Button2_->setFixedWidth(
        std::max(28, Button2_->fontMetrics().horizontalAdvance(Button2_->text()) + margins));
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    // The font may have changed since the last fit: drop every layout's remembered sizes.
    for (QLayout* each : findChildren<QLayout*>())
        each->invalidate();
    layout()->activate();
    setFixedSize(layout()->totalSizeHint().expandedTo(QSize(297, 457)));
}

void TSettingsForm::showEvent(QShowEvent* event) {
    FormShow();
    centreOnScreen(this);
    QDialog::showEvent(event);
}

void TSettingsForm::PngBitBtn1Click() {
    lastApply_ = applySettings(dialogState(), seams_.appPath, seams_.settings, seams_.recorder);
    if (!lastApply_.saved) {
        // The running values took the change already; say once (OK is Apply then close) that
        // the file did not, and why.
        QMessageBox::warning(this, QStringLiteral("Settings"), lastApply_.error);
    }
    if (seams_.loadSkin) {
        seams_.loadSkin(lastApply_.skinFolder);
    }
}

void TSettingsForm::Button3Click() {
    PngBitBtn1Click();
    accept();
}

void TSettingsForm::Button4Click() {
    reject();
}

void TSettingsForm::CheckBox4Click() {
    const bool custom = CheckBox4_->isChecked();
    folderEdit_->setEnabled(custom);
    Button2_->setEnabled(custom);
}

void TSettingsForm::PngBitBtn2Click() {
    const QString title = QStringLiteral("Choose directory for recordings");
    const QString start = folderEdit_->text().isEmpty() ? seams_.appPath : folderEdit_->text();
    QString chosen = seams_.chooseFolder ? seams_.chooseFolder(this, title, start)
                                         : QFileDialog::getExistingDirectory(this, title, start);
    if (chosen.isEmpty()) {
        return; // cancelled
    }
    chosen = QDir::fromNativeSeparators(chosen);
    if (!chosen.endsWith(QLatin1Char('/'))) {
        chosen += QLatin1Char('/');
    }
    folderEdit_->setText(chosen);
}

void TSettingsForm::Label5Click() {
    openLocal(themeFolder(seams_.appPath, SkinBox_->currentText()) + QStringLiteral("theme.ini"));
}

void TSettingsForm::Label6Click() {
    openLocal(themeFolder(seams_.appPath, SkinBox_->currentText()));
}

void TSettingsForm::openLocal(const QString& path) {
    const QUrl url = QUrl::fromLocalFile(path);
    if (seams_.openUrl) {
        seams_.openUrl(url);
    } else {
        QDesktopServices::openUrl(url);
    }
}

bool TSettingsForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (watched == Label5_) {
            Label5Click();
            return true;
        }
        if (watched == Label6_) {
            Label6Click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

SettingsDialogState TSettingsForm::dialogState() const {
    SettingsDialogState state;
    state.minimizeToTray = CheckBox1_->isChecked();
    state.playOnStart = PlayOnStartCB_->isChecked();
    state.theme = SkinBox_->currentIndex() < 0 ? QString() : SkinBox_->currentText();
    state.encoder = encoderbox_->currentIndex() < 0 ? QString() : encoderbox_->currentText();
    state.bitrate = bitBox_->currentIndex() < 0 ? QString() : bitBox_->currentText();
    state.limitBitrate = LimitBitrateCB_->isChecked();
    state.customFolder = CheckBox4_->isChecked();
    state.folder = folderEdit_->text();
    state.showNotifier = CheckBox2_->isChecked();
    state.notifierSeconds = TrackBar1_->value();
    return state;
}

void TSettingsForm::setDialogState(const SettingsDialogState& state) {
    CheckBox1_->setChecked(state.minimizeToTray);
    PlayOnStartCB_->setChecked(state.playOnStart);
    selectText(SkinBox_, state.theme);
    selectText(encoderbox_, state.encoder);
    selectText(bitBox_, state.bitrate);
    LimitBitrateCB_->setChecked(state.limitBitrate);
    CheckBox4_->setChecked(state.customFolder);
    CheckBox4Click();
    folderEdit_->setText(state.folder);
    CheckBox2_->setChecked(state.showNotifier);
    TrackBar1_->setValue(state.notifierSeconds);
}

void TSettingsForm::selectText(QComboBox* box, const QString& text) {
    box->setCurrentIndex(
        text.isEmpty() ? -1 : box->findText(text, Qt::MatchFixedString | Qt::MatchCaseSensitive));
}

} // namespace tl
