#pragma once
// Checks that a shown dialog's controls are whole at the font in use: every visible label,
// button, check box, combo box, slider and text field is at least as large as its size hint
// (text fields: their minimum size hint), overlaps no other such control and lies inside the
// dialog. Header-only, shared by the GUI tests of several subsystems.

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QString>
#include <QStringList>
#include <QStyle>
#include <QWidget>
#include <QtGlobal>

#include <algorithm>
#include <utility>

namespace tl::layout_check {

// The problems found in dialog (which must be shown); empty when every control is whole.
// With TL_DIALOG_SHOTS naming a folder, the dialog's picture is saved there as shotName.png,
// for a person to look at.
inline QStringList clippedControls(QWidget& dialog, const QString& shotName = {}) {
    QApplication::processEvents();
    QStringList clipped;
    QList<std::pair<QString, QRect>> placed;
    for (QWidget* w : dialog.findChildren<QWidget*>()) {
        const bool text = qobject_cast<QLineEdit*>(w) || qobject_cast<QPlainTextEdit*>(w);
        const bool fixed = qobject_cast<QLabel*>(w) || qobject_cast<QAbstractButton*>(w) ||
                           qobject_cast<QComboBox*>(w) || qobject_cast<QAbstractSlider*>(w);
        // A combo box's parts and a text field's scroll bars belong to their owner.
        if (!w->isVisible() || (!text && !fixed) || qobject_cast<QComboBox*>(w->parent()) ||
            qobject_cast<QScrollBar*>(w))
            continue;
        const QSize hint = w->sizeHint();
        QSize least = text ? w->minimumSizeHint() : hint;
        // A wrapping label needs its height for the width it was given, not for its hint's.
        if (auto* label = qobject_cast<QLabel*>(w); label != nullptr && label->wordWrap())
            least = QSize(label->minimumSizeHint().width(), label->heightForWidth(w->width()));
        // A push button needs its text and the style's margins; the style's wider minimum for
        // dialog buttons does not apply to a narrow "..." button.
        if (auto* button = qobject_cast<QPushButton*>(w)) {
            QStyle* style = button->style();
            least.setWidth(std::min(
                least.width(),
                button->fontMetrics().horizontalAdvance(button->text()) +
                    2 * (style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button) +
                         style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button))));
        }
        const QRect inDialog(w->mapTo(&dialog, QPoint(0, 0)), w->size());
        QString name = w->objectName();
        if (auto* label = qobject_cast<QLabel*>(w); label != nullptr && name.isEmpty())
            name = label->text().section(u'\n', 0, 0);
        for (const auto& [other, rect] : placed)
            if (rect.intersects(inDialog))
                clipped << name + QStringLiteral(" overlaps ") + other;
        placed.append({name, inDialog});
        if (w->height() < least.height() || w->width() < least.width() ||
            !dialog.rect().contains(inDialog))
            clipped << QStringLiteral("%1 %2x%3 at %4,%5 (needs %6x%7)")
                           .arg(name)
                           .arg(w->width())
                           .arg(w->height())
                           .arg(inDialog.x())
                           .arg(inDialog.y())
                           .arg(least.width())
                           .arg(least.height());
    }
    if (const QString shots = qEnvironmentVariable("TL_DIALOG_SHOTS");
        !shots.isEmpty() && !shotName.isEmpty())
        dialog.grab().save(QDir(shots).filePath(shotName + QStringLiteral(".png")));
    return clipped;
}

// Runs check once at the application font and once at twice its size, restoring the font.
// check receives the scale and returns the problems it found.
template <typename Check> QStringList atNormalAndDoubleFont(Check check) {
    const QFont normal = QApplication::font();
    QStringList problems;
    for (qreal scale : {1.0, 2.0}) {
        QFont font = normal;
        font.setPointSizeF(normal.pointSizeF() * scale);
        QApplication::setFont(font);
        QApplication::processEvents(); // existing widgets take the font through posted events
        for (const QString& problem : check(scale))
            problems << QStringLiteral("font x%1: %2").arg(scale).arg(problem);
    }
    QApplication::setFont(normal);
    return problems;
}

} // namespace tl::layout_check
