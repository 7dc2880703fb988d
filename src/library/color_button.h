#pragma once
// The group dialog's colour button (GColorButton): shows the colour, drops down a palette
// and a "..." entry that opens the full colour chooser. Its value is a colour value
// (0x00BBGGRR).

#include <QToolButton>

#include <cstdint>

namespace tl {

class ColorButton : public QToolButton {
    Q_OBJECT
public:
    explicit ColorButton(QWidget* parent = nullptr);

    uint32_t colorRef() const { return color_; }
    void setColorRef(uint32_t color);

Q_SIGNALS:
    void colorChanged(uint32_t color);

private:
    void chooseMore();
    uint32_t color_ = 0;
};

QColor colorFromRef(uint32_t ref);
uint32_t refFromColor(const QColor& color);

} // namespace tl
