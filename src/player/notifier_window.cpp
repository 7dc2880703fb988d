#include "player/notifier_window.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>

namespace tl {

THintForm::THintForm(int delayMs, QWidget* parent)
    : SkinWindow(SkinRole::Notifier, parent,
                 Qt::FramelessWindowHint | Qt::Tool | Qt::WindowStaysOnTopHint |
                     Qt::WindowDoesNotAcceptFocus) {
    setObjectName(QStringLiteral("HintForm"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    resize(284, 111);
    SkinControl label;
    label.objectName = QStringLiteral("HintLabel");
    label.tag = 1;
    label.keyword = QStringLiteral("notifier");
    label.bounds = QRect(0, 0, 284, 111);
    controls().add(std::move(label));
    // A display time of 0 or less would close every notification at once, or (negative) never
    // run the timer that ends the quiet time after a theme load: the default stands in.
    timer_.setInterval(delayMs > 0 ? delayMs : kDefaultDelayMs);
    connect(&timer_, &QTimer::timeout, this, &THintForm::HintTimerTimer);
    // A left click on the label or the window closes it (controlClicked is left-only).
    connect(this, &SkinWindow::controlClicked, this, [this](SkinControl*) { FormClick(); });
    connect(this, &SkinWindow::backgroundReleased, this, [this](QMouseEvent* event) {
        if (event->button() == Qt::LeftButton) {
            FormClick();
        }
    });
}

QString THintForm::text() const {
    const SkinControl* c = controls().find(u"HintLabel");
    return c != nullptr ? c->caption : QString();
}

void THintForm::showText(const QString& text) {
    if (shown_) {
        return;
    }
    if (SkinControl* c = controls().find(u"HintLabel")) {
        c->caption = text;
    }
    shown_ = true;
    place();
    Refresh();
    FadeIn();
    timer_.start();
}

void THintForm::showTextNow(const QString& text) {
    if (!shown_ || !isVisible() || fading()) {
        // Nothing steady is up: show it as any text, fading in.
        shown_ = false;
        showText(text);
        return;
    }
    if (SkinControl* c = controls().find(u"HintLabel")) {
        c->caption = text;
    }
    Refresh();
    timer_.start(); // the full display time for the new text
}

void THintForm::place() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return;
    }
    // The right edge of the whole screen, the bottom of the work area.
    const QRect work = screen->availableGeometry();
    const int left = screen->geometry().width() - width();
    const int top = work.top() + work.height() - height();
    move(left, top);
}

void THintForm::themeLoaded() {
    shown_ = true;
    timer_.start();
}

void THintForm::HintTimerTimer() {
    if (!shown_) {
        return;
    }
    if (isVisible()) {
        FadeOut(true);
    }
    timer_.stop();
    shown_ = false;
}

void THintForm::FormClick() {
    FadeOut(true);
    shown_ = false;
}

} // namespace tl
