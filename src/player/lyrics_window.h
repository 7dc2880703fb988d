#pragma once
// TLyricsForm: a skinned window with the artist, the song and a list of lines. Created at
// start-up with its own compositor; nothing opens it yet. UI thread only.

#include "skin/skin_window.h"

namespace tl {

class TLyricsForm : public SkinWindow {
    Q_OBJECT
public:
    explicit TLyricsForm(QWidget* parent = nullptr);
    void closeButtonClick();
};

} // namespace tl
