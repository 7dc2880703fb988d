#pragma once
// THintForm, the notifier: a small skinned window that fades in at the bottom right of the
// screen with one line of text, stays for the display time and fades away. UI thread only.
//
// The placement happens on the UI thread (a window must not be moved from another thread).

#include "skin/skin_window.h"

#include <QTimer>

namespace tl {

class THintForm : public SkinWindow {
    Q_OBJECT
public:
    static constexpr int kDefaultDelayMs = 6000;
    // delayMs: how long a notification stays up (taken once, at creation); 0 or less takes
    // the default.
    explicit THintForm(int delayMs, QWidget* parent = nullptr);

    // Shows text when nothing is up yet; the caller has checked the other conditions.
    void showText(const QString& text);
    // Shows text at once, in place of a text that is up (also in the quiet time after a theme
    // load): for messages that must not wait behind a title.
    void showTextNow(const QString& text);
    // After a theme load nothing pops up until the timer has fired once.
    void themeLoaded();
    void HintTimerTimer();
    void FormClick();

    bool NotifierShown() const { return shown_; }
    QTimer& HintTimer() { return timer_; }
    QString text() const;

private:
    void place();

    QTimer timer_;
    bool shown_ = false;
};

} // namespace tl
