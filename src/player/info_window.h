#pragma once
// TInfoForm: the station information window. Shows, read-only and selectable, the playing
// station's name, song, genre and stream address. The player's title change calls FormShow()
// on every new title whether or not the window is visible; an open window keeps the last values
// after stop.

#include "common/player_types.h"

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace tl {

class TInfoForm : public QDialog {
    Q_OBJECT
public:
    // nowPlaying is the player window's, which outlives this window.
    explicit TInfoForm(const NowPlaying& nowPlaying, QWidget* parent = nullptr);

    // Fills the fields from the player's NowPlaying: Name is StationName, or Info when the
    // station has no name (a station started from the last address at start-up).
    void FormShow();
    void Button1Click(); // Close

    // Sized by its contents each time it is shown (fitToContents).
    void setVisible(bool visible) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    // At least the classic 377 x 145 and as large as the labels, fields and button need at the
    // font in use; the border stays fixed.
    void fitToContents();

    const NowPlaying& nowPlaying_;
    QLineEdit* Edit1_ = nullptr; // Name
    QLineEdit* Edit2_ = nullptr; // Song
    QLineEdit* Edit3_ = nullptr; // Genre
    QLineEdit* Edit5_ = nullptr; // Stream URL
    QPushButton* Button1_ = nullptr;
};

} // namespace tl
