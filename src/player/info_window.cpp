#include "player/info_window.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace tl {

namespace {

// Both windows open centred on the desktop (a parent would centre them on itself).
void centreOnScreen(QWidget* window) {
    if (window->parentWidget() == nullptr && window->screen() != nullptr) {
        window->move(window->screen()->availableGeometry().center() - window->rect().center());
    }
}

} // namespace

TInfoForm::TInfoForm(const NowPlaying& nowPlaying, QWidget* parent)
    : QDialog(parent), nowPlaying_(nowPlaying) {
    setWindowTitle(QStringLiteral("Station Information"));

    auto* grid = new QGridLayout;
    const auto addRow = [&](int row, const QString& caption, const char* name) {
        auto* label = new QLabel(caption, this);
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QString::fromLatin1(name));
        edit->setReadOnly(true);
        edit->setFrame(false);
        // At least the classic width; a long text scrolls inside rather than widening the window.
        edit->setMinimumWidth(276);
        // Borderless in the window's face colour: reads as text that can be selected and copied.
        QPalette palette = edit->palette();
        palette.setColor(QPalette::Base, palette.color(QPalette::Window));
        edit->setPalette(palette);
        label->setBuddy(edit);
        grid->addWidget(label, row, 0);
        grid->addWidget(edit, row, 1);
        return edit;
    };
    Edit1_ = addRow(0, QStringLiteral("Name"), "Edit1");
    Edit2_ = addRow(1, QStringLiteral("Song"), "Edit2");
    Edit3_ = addRow(2, QStringLiteral("Genre"), "Edit3");
    Edit5_ = addRow(3, QStringLiteral("Stream URL"), "Edit5");

    Button1_ = new QPushButton(QStringLiteral("Close"), this);
    Button1_->setObjectName(QStringLiteral("Button1"));
    connect(Button1_, &QPushButton::clicked, this, [this] { Button1Click(); });
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button1_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addStretch();
    layout->addLayout(buttons);
    fitToContents();
}

void TInfoForm::FormShow() {
    Edit1_->setText(nowPlaying_.StationName.isEmpty() ? nowPlaying_.Info : nowPlaying_.StationName);
    Edit2_->setText(nowPlaying_.StreamTitle);
    Edit3_->setText(nowPlaying_.Genre);
    Edit5_->setText(nowPlaying_.Url);
    for (QLineEdit* edit : {Edit1_, Edit2_, Edit3_, Edit5_}) {
        edit->setCursorPosition(0); // show the start of long texts
    }
}

void TInfoForm::Button1Click() {
    close();
}

void TInfoForm::setVisible(bool visible) {
    if (visible)
        fitToContents();
    QDialog::setVisible(visible);
}

void TInfoForm::fitToContents() {
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    // The font may have changed since the last fit: drop every layout's remembered sizes.
    for (QLayout* each : findChildren<QLayout*>())
        each->invalidate();
    layout()->activate();
    setFixedSize(layout()->totalSizeHint().expandedTo(QSize(377, 145)));
}

void TInfoForm::showEvent(QShowEvent* event) {
    FormShow();
    centreOnScreen(this);
    QDialog::showEvent(event);
}

} // namespace tl
