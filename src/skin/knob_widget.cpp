#include "skin/knob_widget.h"

#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

namespace tl {

TKnob::TKnob(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent, true);
    lineColor_ = palette().color(QPalette::Active, QPalette::Highlight);
    model_.onChange = [this] {
        showLabelValue(model_.position());
        update();
        Q_EMIT changed();
    };
    resize(40, 40);
}

void TKnob::setLineColor(const QColor& color) {
    if (color == palette().color(QPalette::Button)) {
        return;
    }
    lineColor_ = color;
    update();
}

void TKnob::setPositionLabel(QLabel* label) {
    label_ = label;
    if (label_) {
        showLabelValue(model_.position());
    }
}

void TKnob::setCaption(const QString& caption) {
    caption_ = caption;
    showLabelValue(model_.labelValue());
}

void TKnob::setPaintsFace(bool paints) {
    paintsFace_ = paints;
    setAttribute(Qt::WA_OpaquePaintEvent, paints);
    setAttribute(Qt::WA_NoSystemBackground, !paints);
    update();
}

void TKnob::showLabelValue(int value) {
    if (label_) {
        label_->setText(QStringLiteral("%1 %2").arg(value).arg(caption_));
    }
}

void TKnob::paintEvent(QPaintEvent*) {
    if (!paintsFace_) {
        return;
    }
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, true);
    const QPalette& pal = palette();
    const QColor face = pal.color(QPalette::Button);
    const QColor shadow = pal.color(QPalette::Dark);
    const QColor light = pal.color(QPalette::Light);
    const int w = width();
    const int h = height();
    p.fillRect(rect(), pal.color(QPalette::Window));

    // Face with a lit upper-left rim and a shaded lower-right one.
    p.setPen(face);
    p.setBrush(face);
    p.drawEllipse(QRectF(2, 2, w - 4, h - 4));
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(light, 2));
    p.drawArc(QRectF(2, 2, w - 2, h - 2), 45 * 16, 180 * 16);
    p.setPen(QPen(shadow, 2));
    p.drawArc(QRectF(1, 1, w - 2, h - 2), 225 * 16, 180 * 16);

    // Ring, darker on the upper-left half while focused.
    p.setPen(QPen(isEnabled() ? QColor(Qt::black) : shadow, 1));
    p.drawEllipse(QRectF(0.5, 0.5, w - 1, h - 1));
    p.setPen(QPen(hasFocus() ? QColor(Qt::black) : shadow, 1));
    p.drawArc(QRectF(0.5, 0.5, w - 1, h - 1), 45 * 16, 180 * 16);

    // Pointer, with a highlight line one pixel down and right.
    const QLineF line = model_.pointerLine();
    p.setPen(QPen(light, 1));
    p.drawLine(line.translated(1, 1));
    p.setPen(QPen(lineColor_, 1));
    p.drawLine(line);
}

void TKnob::mouseMoveEvent(QMouseEvent* event) {
    showLabelValue(model_.mouseMove(event->position().toPoint()));
    QWidget::mouseMoveEvent(event);
}

void TKnob::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && model_.leftButtonDown(event->position().toPoint())) {
        setFocus(Qt::MouseFocusReason);
        update();
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void TKnob::mouseReleaseEvent(QMouseEvent* event) {
    model_.buttonUp();
    QWidget::mouseReleaseEvent(event);
}

void TKnob::leaveEvent(QEvent* event) {
    model_.mouseLeft();
    showLabelValue(model_.position());
    QWidget::leaveEvent(event);
}

void TKnob::keyPressEvent(QKeyEvent* event) {
    using Key = KnobModel::Key;
    switch (event->key()) {
    case Qt::Key_PageUp:
        model_.key(Key::PageUp);
        break;
    case Qt::Key_PageDown:
        model_.key(Key::PageDown);
        break;
    case Qt::Key_End:
        model_.key(Key::End);
        break;
    case Qt::Key_Home:
        model_.key(Key::Home);
        break;
    case Qt::Key_Left:
        model_.key(Key::Left);
        break;
    case Qt::Key_Down:
        model_.key(Key::Down);
        break;
    case Qt::Key_Up:
        model_.key(Key::Up);
        break;
    case Qt::Key_Right:
        model_.key(Key::Right);
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

void TKnob::wheelEvent(QWheelEvent* event) {
    if (!wheelEnabled_) {
        event->ignore();
        return;
    }
    // One step per notch (120 units); high-resolution wheels add up to whole notches.
    wheelRemainder_ += event->angleDelta().y();
    const int notches = wheelRemainder_ / 120;
    wheelRemainder_ -= notches * 120;
    model_.wheel(notches);
    event->accept();
}

void TKnob::resizeEvent(QResizeEvent* event) {
    const int side = model_.resize(width(), height());
    if (side != width() || side != height()) {
        resize(side, side);
    }
    QWidget::resizeEvent(event);
}

void TKnob::focusInEvent(QFocusEvent* event) {
    update();
    QWidget::focusInEvent(event);
}

void TKnob::focusOutEvent(QFocusEvent* event) {
    model_.focusLost();
    update();
    QWidget::focusOutEvent(event);
}

void TKnob::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) {
        if (label_) {
            label_->setEnabled(isEnabled());
        }
        update();
    }
    QWidget::changeEvent(event);
}

void TKnob::showEvent(QShowEvent* event) {
    if (label_) {
        label_->setVisible(true);
    }
    QWidget::showEvent(event);
}

void TKnob::hideEvent(QHideEvent* event) {
    if (label_) {
        label_->setVisible(false);
    }
    QWidget::hideEvent(event);
}

} // namespace tl
