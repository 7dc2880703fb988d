#pragma once
// TKnob: the volume knob as a widget. Its logic is KnobModel; this class turns mouse, wheel,
// key, focus and resize events into model calls and paints the knob on ordinary windows. In the
// player window it is placed over the knob's control and paints nothing (setPaintsFace(false)):
// it takes the mouse and the keyboard while the compositor draws the theme's frame.
//
// UI thread only. The position label, when set, is not owned; the knob forgets it when the
// label is destroyed.

#include "skin/knob_model.h"

#include <QColor>
#include <QPointer>
#include <QWidget>

#include <QLabel>

namespace tl {

class TKnob : public QWidget {
    Q_OBJECT

public:
    explicit TKnob(QWidget* parent = nullptr);

    KnobModel& model() { return model_; }
    const KnobModel& model() const { return model_; }

    int position() const { return model_.position(); }
    void setPosition(int value) { model_.setPosition(value); }
    void setMin(int value) { model_.setMin(value); }
    void setMax(int value) { model_.setMax(value); }
    void setRange(int minimum, int maximum) { model_.setRange(minimum, maximum); }
    void setPageSize(int value) { model_.setPageSize(value); }
    void setSpringLoaded(bool value) { model_.setSpringLoaded(value); }

    QColor lineColor() const { return lineColor_; }
    // Ignores the button-face colour, which would make the pointer invisible.
    void setLineColor(const QColor& color);

    void setPositionLabel(QLabel* label);
    QLabel* positionLabel() const { return label_; }
    void setCaption(const QString& caption);
    QString caption() const { return caption_; }

    // false: the widget is transparent and paints nothing (a compositor draws the knob).
    void setPaintsFace(bool paints);
    bool paintsFace() const { return paintsFace_; }
    // false: wheel events go on to the parent window instead of turning the knob.
    void setWheelEnabled(bool enabled) { wheelEnabled_ = enabled; }

    QSize sizeHint() const override { return {40, 40}; }

Q_SIGNALS:
    // After every assignment of the position, minimum or maximum (OnChange).
    void changed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void showLabelValue(int value);

    KnobModel model_;
    QColor lineColor_;
    QPointer<QLabel> label_;
    QString caption_;
    bool paintsFace_ = true;
    bool wheelEnabled_ = true;
    int wheelRemainder_ = 0;
};

} // namespace tl
