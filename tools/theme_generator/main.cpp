// Draws the program's own themes and writes each into <output>/<theme name>/: the PNG images
// and theme.ini. Also draws the station manager's set and the About window's logo.
//   theme_generator <output folder>
//   theme_generator --interface <folder>       the station manager's images and theme.ini
//   theme_generator --logo <logo.png>          the About window's logo
//   theme_generator --preview <theme folder> <image.png>   renders a player window with sample
//                                                          texts, for looking at a theme
#include "common/ini_file.h"
#include "player/player_controller.h"
#include "settings/about_form.h"
#include "skin/compositor.h"
#include "skin/list_theme.h"
#include "skin/theme_art.h"

#include <QDir>
#include <QGuiApplication>
#include <QPainter>
#include <QTextStream>

namespace {

tl::ControlModel playerControls() {
    tl::ControlModel m;
    tl::PlayerController::buildControls(m);
    const std::pair<const char*, const char*> samples[] = {
        {"Label3", "Nightingale Quartet \u2013 Evening Song Over the Hills (Live)"},
        {"Label5", "128 kbps"},
        {"Label8", "MP3"},
        {"Label4", "Lark FM \u2013 Chillout"},
        {"Label7", "12:07"},
    };
    for (const auto& [name, text] : samples) {
        m.find(QString::fromLatin1(name))->caption = QString::fromUtf8(text);
    }
    for (const char* name : {"TrackBar1", "Volume"}) {
        m.find(QString::fromLatin1(name))->position = 6;
    }
    m.find(u"Volume")->bounds = QRect(0, 0, 40, 40);
    return m;
}

int preview(const QString& folder, const QString& out) {
    tl::ControlModel model = playerControls();
    tl::TMyAbout about(model, tl::SkinRole::Player);
    about.LoadTheme(folder, false);
    about.SetStateImage(u"play", QStringLiteral("51.png"));
    about.VisualKind = 0;
    const int bars[] = {14, 18, 20, 16, 12, 15, 10, 8, 11, 6, 4, 7, 5, 3, 2, 4, 3, 2, 1, 1};
    for (int i = 0; i < 20; ++i) {
        about.SpectrumBars[static_cast<size_t>(i)] = bars[i];
    }
    QImage art(64, 64, QImage::Format_ARGB32_Premultiplied);
    {
        QPainter p(&art);
        QLinearGradient g(0, 0, 64, 64);
        g.setColorAt(0, QColor(0xe0, 0x8a, 0x3c));
        g.setColorAt(1, QColor(0x6b, 0x2a, 0x7a));
        p.fillRect(art.rect(), g);
        p.setBrush(QColor(255, 240, 200));
        p.setPen(Qt::NoPen);
        p.drawEllipse(QPointF(40, 24), 10, 10);
    }
    about.LoadAlbumArt(art);
    // Pointer over "next".
    if (const tl::SkinControl* next = model.find(u"Label2")) {
        about.setCursorPos(next->bounds.center());
    }
    about.Render(nullptr);
    // On a checker so the shape and shadow can be judged.
    QImage sheet(about.size().width() + 40, about.size().height() * 2 + 60,
                 QImage::Format_ARGB32_Premultiplied);
    QPainter p(&sheet);
    p.fillRect(sheet.rect(), QColor(0x7a, 0x86, 0x94));
    p.drawImage(20, 20, about.surface());
    p.fillRect(QRect(0, about.size().height() + 40, sheet.width(), about.size().height() + 20),
               QColor(0xee, 0xee, 0xee));
    model.find(u"RecLabel")->enabled = false;
    about.setCursorPos(std::nullopt);
    about.SetStateImage(u"play", QStringLiteral("5.png"));
    about.SetStateImage(u"mute", QStringLiteral("31.png"));
    model.find(u"Label1")->pressed = true;
    about.VisualKind = 1;
    about.Levels = {24000, 18000};
    about.ClearAlbumArt();
    about.Render(nullptr);
    p.drawImage(20, about.size().height() + 50, about.surface());
    p.end();

    // The notifier and the lyrics window beside it.
    tl::ControlModel hintModel;
    tl::SkinControl hint;
    hint.objectName = QStringLiteral("HintLabel");
    hint.tag = 1;
    hint.keyword = QStringLiteral("notifier");
    hint.caption =
        QStringLiteral("Lark FM \u2013 Chillout\nNightingale Quartet \u2013 Evening Song");
    hintModel.add(hint);
    tl::TMyAbout hintAbout(hintModel, tl::SkinRole::Notifier);
    hintAbout.LoadTheme(folder, false);
    tl::ControlModel lyricsModel;
    tl::SkinControl close;
    close.objectName = QStringLiteral("closeButton");
    close.tag = 181;
    close.keyword = QStringLiteral("close");
    close.caption = QStringLiteral("X");
    lyricsModel.add(close);
    tl::SkinControl list;
    list.objectName = QStringLiteral("LyricsView");
    list.kind = tl::SkinControlKind::ListBox;
    list.bounds = QRect(24, 50, 330, 340);
    list.fontSize = 13;
    list.lines = {QStringLiteral("Over the hills the evening falls,"),
                  QStringLiteral("a lark still sings where the river calls.")};
    lyricsModel.add(list);
    tl::TMyAbout lyricsAbout(lyricsModel, tl::SkinRole::Lyrics);
    lyricsAbout.LoadTheme(folder, false);
    QImage full(
        sheet.width() + lyricsAbout.size().width() + 20,
        std::max(sheet.height() + hintAbout.size().height() + 20, lyricsAbout.size().height() + 40),
        QImage::Format_ARGB32_Premultiplied);
    QPainter f(&full);
    f.fillRect(full.rect(), QColor(0x7a, 0x86, 0x94));
    f.drawImage(0, 0, sheet);
    f.drawImage(20, sheet.height(), hintAbout.surface());
    f.drawImage(sheet.width(), 20, lyricsAbout.surface());
    f.end();
    return full.save(out) ? 0 : 1;
}

int writeInterface(const QString& folder) {
    QTextStream err(stderr);
    if (!QDir().mkpath(folder)) {
        err << "cannot create " << folder << "\n";
        return 1;
    }
    const tl::InterfaceSet set = tl::drawInterfaceSet();
    for (const auto& [name, image] : set.images) {
        if (!image.save(QDir(folder).filePath(name), "PNG")) {
            err << "cannot write " << name << "\n";
            return 1;
        }
    }
    if (!tl::writeFileAtomically(QDir(folder).filePath(QStringLiteral("theme.ini")),
                                 set.ini.toUtf8())) {
        err << "cannot write theme.ini\n";
        return 1;
    }
    QTextStream(stdout) << "wrote " << folder << "\n";
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    QTextStream err(stderr);
    if (args.size() == 4 && args[1] == u"--preview") {
        return preview(args[2], args[3]);
    }
    if (args.size() == 3 && args[1] == u"--interface") {
        return writeInterface(args[2]);
    }
    if (args.size() == 3 && args[1] == u"--logo") {
        return tl::drawLogo().save(args[2], "PNG") ? 0 : 1;
    }
    if (args.size() != 2) {
        err << "usage: theme_generator <output folder>\n"
               "       theme_generator --preview <theme folder> <image.png>\n"
               "       theme_generator --interface <folder>\n"
               "       theme_generator --logo <logo.png>\n";
        return 2;
    }
    for (const auto design : {tl::ThemeDesign::Nocturne, tl::ThemeDesign::Daybreak}) {
        const tl::GeneratedTheme theme = tl::drawTheme(design);
        const QString folder = QDir(args[1]).filePath(theme.name);
        if (!QDir().mkpath(folder)) {
            err << "cannot create " << folder << "\n";
            return 1;
        }
        for (const auto& [name, image] : theme.images) {
            if (!image.save(QDir(folder).filePath(name), "PNG")) {
                err << "cannot write " << name << "\n";
                return 1;
            }
        }
        if (!tl::writeFileAtomically(QDir(folder).filePath(QStringLiteral("theme.ini")),
                                     theme.ini.toUtf8())) {
            err << "cannot write theme.ini\n";
            return 1;
        }
        QTextStream(stdout) << "wrote " << folder << "\n";
    }
    return 0;
}
