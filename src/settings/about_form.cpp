#include "settings/about_form.h"

#include "settings/about_info.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QLabel>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QWindow>

#include <algorithm>

namespace tl {

TAboutForm::TAboutForm(AboutSeams seams, QWidget* parent)
    : QDialog(parent), seams_(std::move(seams)) {
    setObjectName(QStringLiteral("TAboutForm"));
    setWindowTitle(QStringLiteral("About"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setModal(true);

    AboutPanel = new QWidget(this);
    AboutPanel->setObjectName(QStringLiteral("AboutPanel"));
    AboutLabel = new QLabel(AboutPanel);
    AboutLabel->setObjectName(QStringLiteral("AboutLabel"));
    AboutLabel->setWordWrap(true);
    AboutLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    AboutLabel->setTextFormat(Qt::PlainText);
    AboutLabel->setText(AboutText(seams_.version));
    BitBtn2 = new QPushButton(QStringLiteral("Check for Updates"), AboutPanel);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setAutoDefault(false);
    BitBtn1 = new QPushButton(QStringLiteral("Close"), AboutPanel);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setDefault(true);

    if (seams_.updateBase.trimmed().isEmpty()) {
        // Better a button that says why than one that opens a page that is not there.
        BitBtn2->setEnabled(false);
        BitBtn2->setToolTip(QStringLiteral("This build names no release page to check for updates "
                                           "(TUNELARK_UPDATE_URL was empty when it was built)."));
    }

    connect(BitBtn2, &QPushButton::clicked, this, &TAboutForm::BitBtn2Click);
    connect(BitBtn1, &QPushButton::clicked, this, &TAboutForm::PngBitBtn1Click);
    fitToContents();
}

void TAboutForm::setVisible(bool visible) {
    if (visible)
        fitToContents();
    QDialog::setVisible(visible);
}

void TAboutForm::fitToContents() {
    // Classic layout: the text at (40, 10) in the panel, 281 x 144; both buttons 14 px below it,
    // "Check for Updates" (135 x 25) at its left edge and "Close" (81 x 25) at its right edge;
    // 4 px under the buttons, and 23 px between the panel and the window's bottom.
    constexpr int kLeft = 40, kTop = 10, kButtonGap = 14, kPanelTop = 140;
    const QSize check = BitBtn2->sizeHint().expandedTo(QSize(135, 25));
    const QSize close = BitBtn1->sizeHint().expandedTo(QSize(81, 25));
    const int textWidth = std::max(281, check.width() + 12 + close.width());
    const int textHeight = std::max(144, AboutLabel->heightForWidth(textWidth));
    AboutLabel->setGeometry(kLeft, kTop, textWidth, textHeight);
    const int buttonsTop = kTop + textHeight + kButtonGap;
    const int buttonHeight = std::max(check.height(), close.height());
    BitBtn2->setGeometry(kLeft, buttonsTop, check.width(), buttonHeight);
    BitBtn1->setGeometry(kLeft + textWidth - close.width(), buttonsTop, close.width(),
                         buttonHeight);
    const int width = std::max(359, kLeft + textWidth + 38);
    const int panelHeight = buttonsTop + buttonHeight + 4;
    AboutPanel->setGeometry(0, kPanelTop, width + 2, panelHeight);
    setFixedSize(width, std::max(360, kPanelTop + panelHeight + 23));
}

void TAboutForm::BitBtn2Click() {
    if (seams_.updateBase.trimmed().isEmpty())
        return;
    const QUrl url(UpdateAddress(seams_.updateBase, seams_.version));
    if (seams_.openUrl)
        seams_.openUrl(url);
    else
        QDesktopServices::openUrl(url); // a failure is not reported
}

void TAboutForm::PngBitBtn1Click() {
    close();
}

void TAboutForm::FormShow() {
    if (logo_.isNull())
        logo_ = QImage(seams_.appPath + QStringLiteral("logo.png"));
}

void TAboutForm::FormHide() {
    logo_ = QImage();
}

QPoint TAboutForm::logoPosition() const {
    // Centred on the outer width of the window, as the frame counts in.
    return {LogoLeft(frameGeometry().width(), logo_.width()), kLogoTop};
}

void TAboutForm::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
}

void TAboutForm::hideEvent(QHideEvent* event) {
    FormHide();
    QDialog::hideEvent(event);
}

void TAboutForm::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    if (logo_.isNull())
        return;
    QPainter p(this);
    p.drawImage(logoPosition(), logo_);
}

void TAboutForm::mousePressEvent(QMouseEvent* event) {
    // Dragged by the left button from any point of its own surface: the system's move first;
    // where the window manager refuses it, the window follows the pointer itself.
    if (event->button() != Qt::LeftButton) {
        QDialog::mousePressEvent(event);
        return;
    }
    drag_ = Drag{};
    event->accept();
    if (QWindow* w = windowHandle(); w != nullptr && w->startSystemMove())
        return;
    drag_.armed = true;
    drag_.pressGlobal = event->globalPosition().toPoint();
    drag_.startPos = pos();
}

void TAboutForm::mouseMoveEvent(QMouseEvent* event) {
    if (!drag_.armed || !event->buttons().testFlag(Qt::LeftButton)) {
        QDialog::mouseMoveEvent(event);
        return;
    }
    const QPoint delta = event->globalPosition().toPoint() - drag_.pressGlobal;
    if (drag_.moving || delta.manhattanLength() >= QApplication::startDragDistance()) {
        drag_.moving = true;
        move(drag_.startPos + delta);
    }
    event->accept();
}

void TAboutForm::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        drag_ = Drag{};
    QDialog::mouseReleaseEvent(event);
}

QImage drawLogo() {
    QImage image(200, 110, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    // A round badge in the default theme's slate and teal, with radio waves and a lark's
    // wing in flight.
    const QPointF centre(100, 48);
    QRadialGradient badge(centre + QPointF(-10, -12), 50);
    badge.setColorAt(0, QColor(0x3A, 0x44, 0x55));
    badge.setColorAt(1, QColor(0x14, 0x18, 0x1F));
    p.setPen(QPen(QColor(0x07, 0x09, 0x0D), 2));
    p.setBrush(badge);
    p.drawEllipse(centre, 40, 40);
    const QColor teal(0x4F, 0xD6, 0xC6);
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 3; ++i) {
        const double r = 12 + i * 8;
        QColor c = teal;
        c.setAlpha(255 - i * 70);
        p.setPen(QPen(c, 3, Qt::SolidLine, Qt::RoundCap));
        p.drawArc(QRectF(centre.x() - 8 - r, centre.y() + 8 - r, 2 * r, 2 * r), 20 * 16, 50 * 16);
    }
    QPainterPath wing;
    wing.moveTo(centre + QPointF(-24, 14));
    wing.cubicTo(centre + QPointF(-10, -6), centre + QPointF(6, -20), centre + QPointF(26, -22));
    wing.cubicTo(centre + QPointF(10, -10), centre + QPointF(2, 4), centre + QPointF(-24, 14));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xEF, 0xF4, 0xFB));
    p.drawPath(wing);
    p.setBrush(teal);
    p.drawEllipse(centre + QPointF(-8, 8), 4, 4);

    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(17);
    font.setBold(true);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 2);
    p.setFont(font);
    p.setPen(QColor(0x2D, 0x34, 0x42));
    p.drawText(QRectF(0, 88, 200, 22), Qt::AlignCenter, QStringLiteral("TUNELARK"));
    return image;
}

} // namespace tl
