#pragma once
// The volume knob's logic: a rotary value over 300 degrees, from 240 degrees (lower left,
// Min) clockwise over the top to -60 degrees (lower right, Max). Angles are counter-clockwise
// from the positive x axis, in whole degrees. Positions, angles and the square side follow the
// skin engine's rounding (nearest, ties to even).
//
// A plain class: the TKnob widget (and the player window, whose compositor draws the knob's
// frame) feed it mouse, wheel, key and resize events and read its state. UI thread only.

#include <QLineF>
#include <QPoint>
#include <QSize>

#include <functional>

namespace tl {

// The side of the knob's square after a resize to width x height, from the previous side:
// growing either dimension grows the square, shrinking either shrinks it.
int knobSquareSide(int previousSide, int width, int height);

class KnobModel {
public:
    static constexpr int kStartAngle = 240; // Min
    static constexpr int kEndAngle = -60;   // Max
    static constexpr int kSweep = 300;

    enum class Key { PageUp, PageDown, Home, End, Left, Right, Up, Down };

    KnobModel();

    int min() const { return min_; }
    int max() const { return max_; }
    int position() const { return position_; }
    int pageSize() const { return pageSize_; }
    bool springLoaded() const { return springLoaded_; }
    float step() const { return step_; }
    int angle() const { return angle_; }
    int lastAngle() const { return lastAngle_; }
    bool dragging() const { return dragging_; }
    int side() const { return side_; }
    int radius() const { return side_ / 2; }
    // The value the position label shows (the value under the pointer while it hovers).
    int labelValue() const { return labelValue_; }

    // Each runs one update and fires the change callback, also when nothing changed.
    void setPosition(int value);
    void setMin(int value);
    void setMax(int value);
    void setRange(int minimum, int maximum); // min then max, one change notification each
    void setPageSize(int value) { pageSize_ = value; }
    void setSpringLoaded(bool value);

    int angleToPosition(int angleDegrees) const;
    // The angle under a point of the knob's square (client coordinates), with the gap at the
    // bottom snapped to the nearer end.
    int angleAt(QPoint point) const;

    // Mouse and keyboard. mouseMove returns the value under the pointer (for the label).
    int mouseMove(QPoint point);
    // Left button: starts a drag when the point lies inside the inscribed circle. Returns
    // whether a drag started (the widget then takes the focus).
    bool leftButtonDown(QPoint point);
    void buttonUp();
    void mouseLeft() { labelValue_ = position_; }
    void focusLost();
    void key(Key k);
    // Wheel notches: positive turns up.
    void wheel(int notches);

    // The square's new side for a resize; returns it.
    int resize(int width, int height);

    // The pointer line of the widget's own painting, for the current angle.
    QLineF pointerLine() const;

    std::function<void()> onChange;

private:
    void update(int p, int minimum, int maximum);
    void recomputeStep();

    int min_ = 0;
    int max_ = 127;
    int position_ = 0;
    int pageSize_ = 10;
    bool springLoaded_ = false;
    float step_ = 0;
    int angle_ = kStartAngle;
    int lastAngle_ = kStartAngle;
    bool dragging_ = false;
    int side_ = 40;
    int labelValue_ = 0;
};

} // namespace tl
