#include "skin/knob_model.h"

#include "common/numeric.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

namespace tl {

int knobSquareSide(int previousSide, int width, int height) {
    int s = previousSide;
    if (s < height || s < width) {
        s = std::max(height, width);
    } else if (height < s || width < s) {
        s = std::min(height, width);
    }
    return s;
}

namespace {
int saturatingAdd(int a, int b) {
    return static_cast<int>(std::clamp<int64_t>(int64_t{a} + b, INT32_MIN, INT32_MAX));
}
} // namespace

KnobModel::KnobModel() {
    recomputeStep();
    angle_ = kStartAngle;
    lastAngle_ = kStartAngle;
    labelValue_ = position_;
}

void KnobModel::recomputeStep() {
    const int64_t span = int64_t{max_} - int64_t{min_};
    step_ = span == 0 ? 0.0f : static_cast<float>(kSweep) / static_cast<float>(span);
}

void KnobModel::update(int p, int minimum, int maximum) {
    if (minimum != min_) {
        min_ = minimum;
        recomputeStep();
    }
    if (maximum != max_) {
        max_ = maximum;
        recomputeStep();
    }
    if (step_ >= 0) {
        p = std::clamp(p, min_, std::max(min_, max_));
    } else {
        // Max below Min: keep the value inside the range all the same.
        p = std::clamp(p, max_, min_);
    }
    position_ = p;
    angle_ = kStartAngle -
             roundHalfEven((static_cast<double>(position_) - min_) * static_cast<double>(step_));
    labelValue_ = position_;
    if (onChange) {
        onChange();
    }
}

void KnobModel::setPosition(int value) {
    update(value, min_, max_);
}
void KnobModel::setMin(int value) {
    update(position_, value, max_);
}
void KnobModel::setMax(int value) {
    update(position_, min_, value);
}

void KnobModel::setRange(int minimum, int maximum) {
    setMin(minimum);
    setMax(maximum);
}

void KnobModel::setSpringLoaded(bool value) {
    springLoaded_ = value;
    if (value) {
        setPosition(0);
    }
}

int KnobModel::angleToPosition(int angleDegrees) const {
    if (step_ == 0) {
        return min_;
    }
    return roundHalfEven((kStartAngle - angleDegrees) / static_cast<double>(step_)) + min_;
}

int KnobModel::angleAt(QPoint point) const {
    const int cx = side_ / 2;
    const int cy = side_ / 2;
    int angle = 0;
    if (point.x() == cx) {
        angle = point.y() > cy ? kStartAngle : 90;
    } else {
        const double t = static_cast<double>(cy - point.y()) / static_cast<double>(point.x() - cx);
        angle = roundHalfEven(std::atan(t) * 180.0 / std::numbers::pi);
        if (point.x() < cx) {
            angle = (angle + 540) % 360;
        }
    }
    // The gap at the bottom snaps to the nearer end.
    if (angle > kStartAngle && angle <= 270) {
        angle = kStartAngle;
    }
    if (angle < kEndAngle) {
        angle = kEndAngle;
    }
    return angle;
}

int KnobModel::mouseMove(QPoint point) {
    lastAngle_ = angleAt(point);
    const int v = angleToPosition(lastAngle_);
    if (dragging_ && v != position_) {
        setPosition(v);
    }
    labelValue_ = v;
    return v;
}

bool KnobModel::leftButtonDown(QPoint point) {
    const double r = side_ / 2.0;
    if (r <= 0) {
        return false;
    }
    const double dx = (point.x() + 0.5 - r) / r;
    const double dy = (point.y() + 0.5 - r) / r;
    if (dx * dx + dy * dy > 1.0) {
        return false;
    }
    // The press point itself decides, also when no move was reported before it.
    lastAngle_ = angleAt(point);
    dragging_ = true;
    setPosition(angleToPosition(lastAngle_));
    return true;
}

void KnobModel::buttonUp() {
    if (!dragging_) {
        return;
    }
    if (springLoaded_) {
        setPosition(0);
    } else {
        const int v = angleToPosition(lastAngle_);
        if (v != position_) {
            setPosition(v);
        }
    }
    dragging_ = false;
}

void KnobModel::focusLost() {
    dragging_ = false;
    if (springLoaded_) {
        setPosition(0);
    }
}

void KnobModel::key(Key k) {
    switch (k) {
    case Key::PageUp:
        setPosition(saturatingAdd(position_, pageSize_));
        break;
    case Key::PageDown:
        setPosition(saturatingAdd(position_, -pageSize_));
        break;
    case Key::End:
        setPosition(max_);
        break;
    case Key::Home:
        setPosition(min_);
        break;
    case Key::Left:
    case Key::Down:
        setPosition(saturatingAdd(position_, -1));
        break;
    case Key::Up:
    case Key::Right:
        setPosition(saturatingAdd(position_, 1));
        break;
    }
}

void KnobModel::wheel(int notches) {
    if (notches != 0) {
        setPosition(saturatingAdd(position_, notches));
    }
}

int KnobModel::resize(int width, int height) {
    side_ = knobSquareSide(side_, width, height);
    return side_;
}

QLineF KnobModel::pointerLine() const {
    const double a = angle_ * std::numbers::pi / 180.0;
    const int r = radius();
    const auto at = [&](int length) {
        return QPointF(r + roundHalfEven(length * std::cos(a)),
                       r - roundHalfEven(length * std::sin(a)));
    };
    return QLineF(at(r - 11), at(r - 5));
}

} // namespace tl
