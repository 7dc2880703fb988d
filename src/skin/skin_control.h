#pragma once
// The controls of a skinned window as plain data: the window hit-tests them for the mouse and
// keyboard, the compositor reads them to draw the window. They are not child widgets.
//
// Owned by the window that shows them; read and written on the UI thread only.

#include <QColor>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

#include <vector>

namespace tl {

// What a control is, for the theme loader and the compositor: labels (text lines and image
// buttons), the volume slider, the volume knob and the lyrics window's list. Other kinds are
// neither themed nor drawn.
enum class SkinControlKind { Label, Slider, Knob, ListBox, Other };

struct SkinControl {
    QString objectName; // the component name ("Label3", "Button1", ...)
    int tag = 0;        // image slot (1 = text line, 100 + slot for image buttons, 20 volume)
    QString keyword;    // the theme section it is bound to ("song", "play", ...)
    QString caption;
    bool visible = true;
    bool enabled = true;
    QRect bounds;         // in window pixels
    bool pressed = false; // the left button is held on it (or the pressed marker is set)
    QColor fontColor = Qt::white;
    int fontSize = 8; // pixels
    bool bold = false;
    int componentIndex = 0; // index among the window's components (for hover fades)

    SkinControlKind kind = SkinControlKind::Label;
    bool pressable = false; // shows the pressed frame while the left button is held on it
    // Slider and knob: the value shown (frame or thumb position) and the slider's maximum.
    int position = 0;
    int maximum = 10;
    // Slider: the track and thumb sizes the theme gives it, for the window's own dragging.
    QSize trackSize;
    QSize thumbSize;
    // List box: its items, and how far (pixels) the text is scrolled up inside its bounds.
    QStringList lines;
    int scrollY = 0;
};

class ControlModel {
public:
    SkinControl& add(SkinControl control) {
        control.componentIndex = static_cast<int>(controls_.size());
        controls_.push_back(std::move(control));
        return controls_.back();
    }
    // nullptr when no control has that name.
    SkinControl* find(QStringView objectName) {
        for (auto& c : controls_) {
            if (c.objectName == objectName) {
                return &c;
            }
        }
        return nullptr;
    }
    const SkinControl* find(QStringView objectName) const {
        return const_cast<ControlModel*>(this)->find(objectName);
    }
    // The topmost visible control under the point, or nullptr for the window itself.
    SkinControl* hitTest(QPoint point) {
        for (auto it = controls_.rbegin(); it != controls_.rend(); ++it) {
            if (it->visible && it->bounds.contains(point)) {
                return &*it;
            }
        }
        return nullptr;
    }
    std::vector<SkinControl>& controls() { return controls_; }
    const std::vector<SkinControl>& controls() const { return controls_; }

private:
    std::vector<SkinControl> controls_; // stable once the window is built (no reallocation after)
};

} // namespace tl
