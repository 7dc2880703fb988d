#include "player/lyrics_window.h"

#include <QMouseEvent>
#include <QWindow>

namespace tl {

TLyricsForm::TLyricsForm(QWidget* parent)
    : SkinWindow(SkinRole::Lyrics, parent, Qt::FramelessWindowHint | Qt::Window) {
    setObjectName(QStringLiteral("LyricsForm"));
    auto add = [this](const char* name, int tag, const char* keyword, SkinControlKind kind) {
        SkinControl c;
        c.objectName = QString::fromLatin1(name);
        c.tag = tag;
        c.keyword = QString::fromLatin1(keyword);
        c.kind = kind;
        c.fontColor = Qt::white;
        controls().add(std::move(c));
    };
    add("ArtistLbl", 1, "artist", SkinControlKind::Label);
    add("SongLbl", 1, "songname", SkinControlKind::Label);
    add("LyricsView", 0, "lyrics", SkinControlKind::ListBox);
    add("closeButton", 181, "close", SkinControlKind::Label);
    if (SkinControl* close = controls().find(u"closeButton")) {
        close->pressable = true;
        close->caption = QStringLiteral("X");
    }
    connect(this, &SkinWindow::controlClicked, this, [this](SkinControl* c) {
        if (c->objectName == u"closeButton") {
            closeButtonClick();
        }
    });
    connect(this, &SkinWindow::backgroundPressed, this, [this](QMouseEvent*) {
        if (windowHandle() != nullptr) {
            windowHandle()->startSystemMove();
        }
    });
}

void TLyricsForm::closeButtonClick() {
    FadeOut(true);
}

} // namespace tl
