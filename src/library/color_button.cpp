#include "library/color_button.h"

#include <QColorDialog>
#include <QMenu>
#include <QPainter>
#include <QPixmap>

namespace tl {

QColor colorFromRef(uint32_t ref) {
    return QColor(static_cast<int>(ref & 0xFF), static_cast<int>((ref >> 8) & 0xFF),
                  static_cast<int>((ref >> 16) & 0xFF));
}

uint32_t refFromColor(const QColor& color) {
    return static_cast<uint32_t>(color.red()) | (static_cast<uint32_t>(color.green()) << 8) |
           (static_cast<uint32_t>(color.blue()) << 16);
}

namespace {

QIcon swatch(const QColor& color, QSize size) {
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.fillRect(pixmap.rect().adjusted(1, 1, -1, -1), color);
    p.setPen(Qt::darkGray);
    p.drawRect(pixmap.rect().adjusted(0, 0, -1, -1));
    return QIcon(pixmap);
}

} // namespace

ColorButton::ColorButton(QWidget* parent) : QToolButton(parent) {
    setObjectName(QStringLiteral("GColorButton"));
    setPopupMode(QToolButton::MenuButtonPopup);
    setIconSize(QSize(40, 14));
    auto* menu = new QMenu(this);
    static const QRgb palette[] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
                                   0x008080, 0x808080, 0xC0C0C0, 0xFF0000, 0x00FF00, 0xFFFF00,
                                   0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF, 0x666666, 0xFF8000};
    for (QRgb rgb : palette) {
        const QColor c(rgb);
        QAction* a = menu->addAction(swatch(c, QSize(16, 16)), c.name());
        connect(a, &QAction::triggered, this, [this, c] { setColorRef(refFromColor(c)); });
    }
    menu->addSeparator();
    connect(menu->addAction(QStringLiteral("...")), &QAction::triggered, this,
            &ColorButton::chooseMore);
    setMenu(menu);
    connect(this, &QToolButton::clicked, this, &ColorButton::chooseMore);
    setColorRef(0x800000);
}

void ColorButton::setColorRef(uint32_t color) {
    color_ = color & 0x00FFFFFFu;
    setIcon(swatch(colorFromRef(color_), iconSize()));
    Q_EMIT colorChanged(color_);
}

void ColorButton::chooseMore() {
    const QColor chosen = QColorDialog::getColor(colorFromRef(color_), this);
    if (chosen.isValid())
        setColorRef(refFromColor(chosen));
}

} // namespace tl
