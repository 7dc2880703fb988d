// TForm1's context menu with its "Favourites" submenu, and the tray icon. The window's
// drawing, input, drag and snap live in player_window.cpp. UI thread.

#include "player/player_window.h"

#include "player/player_commands.h"

#include <QAction>
#include <QCursor>
#include <QFile>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QSystemTrayIcon>

namespace tl {
namespace {

// The images of the player's menu (its image list), drawn for this program.
QIcon menuIcon(int index) {
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink(0x2f, 0x6f, 0xb0);
    p.setPen(QPen(ink, 1.6));
    p.setBrush(ink);
    switch (index) {
    case 0: // play
        p.drawPolygon(QPolygonF({QPointF(4, 3), QPointF(13, 8), QPointF(4, 13)}));
        break;
    case 1: // stop
        p.drawRect(QRectF(4, 4, 8, 8));
        break;
    case 2: // previous
        p.drawPolygon(QPolygonF({QPointF(12, 3), QPointF(5, 8), QPointF(12, 13)}));
        p.drawLine(QPointF(3.5, 3), QPointF(3.5, 13));
        break;
    case 3: // next
        p.drawPolygon(QPolygonF({QPointF(4, 3), QPointF(11, 8), QPointF(4, 13)}));
        p.drawLine(QPointF(12.5, 3), QPointF(12.5, 13));
        break;
    case 4: // recording
        p.setBrush(QColor(0xd0, 0x30, 0x30));
        p.setPen(QPen(QColor(0xd0, 0x30, 0x30), 1.4));
        p.drawRect(QRectF(5, 5, 6, 6));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
        break;
    case 5: // record
        p.setBrush(QColor(0xd0, 0x30, 0x30));
        p.setPen(Qt::NoPen);
        p.drawEllipse(QRectF(3, 3, 10, 10));
        break;
    case 6: // group
        p.setBrush(QColor(0xe0, 0xb0, 0x40));
        p.setPen(Qt::NoPen);
        p.drawRoundedRect(QRectF(2, 5, 12, 8), 1.5, 1.5);
        p.drawRect(QRectF(2, 3, 5, 3));
        break;
    case 7: // add to favourites
        p.setBrush(QColor(0xf0, 0xc0, 0x20));
        p.setPen(Qt::NoPen);
        p.drawPolygon(
            QPolygonF({QPointF(8, 1.5), QPointF(10, 6), QPointF(15, 6.3), QPointF(11, 9.5),
                       QPointF(12.5, 14.5), QPointF(8, 11.7), QPointF(3.5, 14.5), QPointF(5, 9.5),
                       QPointF(1, 6.3), QPointF(6, 6)}));
        break;
    case 8: // station information
        p.drawEllipse(QRectF(2, 2, 12, 12));
        p.setPen(QPen(Qt::white, 1.8));
        p.drawLine(QPointF(8, 7), QPointF(8, 11.5));
        p.drawPoint(QPointF(8, 4.8));
        break;
    case 9:    // favourites
    case 10: { // favourites/search
        QPainterPath heart;
        heart.moveTo(8, 13.5);
        heart.cubicTo(1, 8, 2, 2.5, 8, 5);
        heart.cubicTo(14, 2.5, 15, 8, 8, 13.5);
        p.setBrush(index == 9 ? QColor(0xd0, 0x40, 0x60) : ink);
        p.setPen(Qt::NoPen);
        p.drawPath(heart);
        break;
    }
    case 11: // settings
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(ink, 2.2));
        p.drawEllipse(QRectF(4, 4, 8, 8));
        for (int a = 0; a < 360; a += 45) {
            p.save();
            p.translate(8, 8);
            p.rotate(a);
            p.drawLine(QPointF(0, -5.5), QPointF(0, -7.5));
            p.restore();
        }
        break;
    case 12: // about
        p.drawEllipse(QRectF(2, 2, 12, 12));
        p.setPen(QPen(Qt::white, 1.6));
        p.setFont(QFont(QStringLiteral("DejaVu Sans"), 7, QFont::Bold));
        p.drawText(QRectF(2, 2, 12, 12), Qt::AlignCenter, QStringLiteral("?"));
        break;
    case 13: // exit
        p.setPen(QPen(QColor(0xc0, 0x30, 0x30), 2.2));
        p.drawLine(QPointF(4, 4), QPointF(12, 12));
        p.drawLine(QPointF(12, 4), QPointF(4, 12));
        break;
    default:
        break;
    }
    return QIcon(pm);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Menu and tray

void TForm1::buildMenu() {
    menu_ = new QMenu(this);
    menu_->setObjectName(QStringLiteral("PopupMenu1"));
    auto add = [this](const char* name, const char* caption, int image, auto slot) {
        QAction* a = menu_->addAction(QString::fromLatin1(caption));
        a->setObjectName(QString::fromLatin1(name));
        if (image >= 0) {
            a->setIcon(menuIcon(image));
        }
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    add("Play1", "Play", 0, [this] { Button1Click(); });
    add("Stop1", "Stop", 1, [this] { Button1Click(); });
    add("Previous1", "Previous", 2, [this] { Label1Click(); });
    add("Next1", "Next", 3, [this] { Label2Click(); });
    menu_->addSeparator()->setObjectName(QStringLiteral("N4"));
    add("RecordMI", "Record", 5, [this] {
        if (links_.recordClick) {
            links_.recordClick();
        }
    });
    menu_->addSeparator()->setObjectName(QStringLiteral("N3"));
    QAction* onTop = add("Alwaysontop1", "Always on top", -1, [this] { Alwaysontop1Click(); });
    onTop->setCheckable(true);
    add("AddcurrentstationtoFavourites1", "Add current station to Favourites", 7, [this] {
        if (links_.addCurrentStation) {
            links_.addCurrentStation();
        }
    });
    add("Copysonginformation1", "Station Information", 8, [this] {
        if (links_.showStationInfo) {
            links_.showStationInfo();
        }
    });
    favouritesMenu_ = menu_->addMenu(menuIcon(9), QStringLiteral("Favourites"));
    favouritesMenu_->setObjectName(QStringLiteral("Favourites1"));
    favouritesMenu_->menuAction()->setObjectName(QStringLiteral("Favourites1"));
    // Built when it opens, not with the context menu: a large favourites file costs nothing
    // until the user looks at it.
    connect(favouritesMenu_, &QMenu::aboutToShow, this, &TForm1::fillFavouritesMenu);
    menu_->addSeparator()->setObjectName(QStringLiteral("N2"));
    add("SearchFavourites1", "Favourites/Search", 10, [this] { Button2Click(); });
    add("Settings1", "Settings", 11, [this] {
        if (links_.showSettings) {
            links_.showSettings();
        }
    });
    add("AboutTunelark1", "About Tunelark", 12, [this] {
        if (links_.showAbout) {
            links_.showAbout();
        }
    });
    menu_->addSeparator()->setObjectName(QStringLiteral("N1"));
    add("Exit1", "Exit", 13, [this] { Exit1Click(); });
}

void TForm1::setRecordMenuImage(bool recording) {
    if (QAction* a = menu_->findChild<QAction*>(QStringLiteral("RecordMI"))) {
        a->setIcon(menuIcon(recording ? 4 : 5));
    }
}

void TForm1::buildTray() {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        return;
    }
    const QString custom = appPath_ + QStringLiteral("interface/tray.ico");
    tray_ = new QSystemTrayIcon(QFile::exists(custom) ? QIcon(custom) : windowIcon(), this);
    tray_->setToolTip(QStringLiteral("Tunelark"));
    connect(tray_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason r) { onTrayActivated(static_cast<int>(r)); });
    tray_->show();
}

bool TForm1::trayAvailable() const {
    return tray_ != nullptr && tray_->isVisible();
}

void TForm1::onTrayActivated(int reason) {
    switch (static_cast<QSystemTrayIcon::ActivationReason>(reason)) {
    case QSystemTrayIcon::Trigger:
        TrayIconClick();
        break;
    case QSystemTrayIcon::Context:
        raise();
        ShowPlayerMenu(true, QCursor::pos());
        break;
    default:
        break;
    }
}

void TForm1::TrayIconClick() {
    if (isVisible() && !isMinimized() && !minimizing_) {
        minButtonClick();
        return;
    }
    minimizing_ = false;
    // Transparent before it is mapped again, so it fades in rather than flashing up whole.
    setWindowOpacity(0.0);
    if (isMinimized()) {
        showNormal();
    }
    FadeIn();
    raise();
    activateWindow();
}

void TForm1::UpdateMenuItems(bool withPlayback) {
    if (controller_ == nullptr) {
        return;
    }
    auto enabled = [this](const char* name) {
        const SkinControl* c = controls().find(QString::fromLatin1(name));
        return c != nullptr && c->enabled;
    };
    const PlayerMenuState s =
        PlayerMenuItems(withPlayback, controller_->StreamHandle() != 0, enabled("Label1"),
                        enabled("Label2"), enabled("Label6"));
    auto action = [this](const char* name) {
        return menu_->findChild<QAction*>(QString::fromLatin1(name));
    };
    for (const char* name : {"Play1", "Stop1", "Previous1", "Next1", "N4", "RecordMI"}) {
        if (QAction* a = action(name)) {
            a->setVisible(s.playbackItemsVisible);
        }
    }
    action("Play1")->setEnabled(s.playEnabled);
    action("Stop1")->setEnabled(s.stopEnabled);
    action("Previous1")->setEnabled(s.previousEnabled);
    action("Next1")->setEnabled(s.nextEnabled);
    // Always enabled: with nothing playing its press says why nothing is recorded.
    action("RecordMI")->setEnabled(true);
    action("SearchFavourites1")->setEnabled(s.managerEnabled);
    action("AddcurrentstationtoFavourites1")->setEnabled(s.addCurrentEnabled);
    action("Copysonginformation1")->setEnabled(s.stationInfoEnabled);
    action("Alwaysontop1")->setChecked(controller_->settingsOnTop());
}

void TForm1::ShowPlayerMenu(bool withPlayback, QPoint globalPos) {
    UpdateMenuItems(withPlayback);
    menu_->popup(globalPos);
}

void TForm1::fillFavouritesMenu() {
    // The group submenus of the last showing go with their actions.
    qDeleteAll(favouritesMenu_->findChildren<QMenu*>(Qt::FindDirectChildrenOnly));
    favouritesMenu_->clear();
    if (!links_.favouritesMenu) {
        return;
    }
    auto addMore = [this](QMenu* menu) {
        menu->addSeparator();
        QAction* more = menu->addAction(QStringLiteral("More..."));
        more->setObjectName(QStringLiteral("FavouritesMore"));
        const SkinControl* manager = controls().find(u"Label6");
        more->setEnabled(manager == nullptr || manager->enabled);
        connect(more, &QAction::triggered, this, [this] { Button2Click(); });
    };
    const QList<FavouritesMenuGroup> groups =
        links_.favouritesMenu(kFavouritesMenuLimit + 1, kFavouritesMenuLimit + 1);
    for (int g = 0; g < std::min<int>(groups.size(), kFavouritesMenuLimit); ++g) {
        // Names are text, not mnemonics: "News & Talk" must not underline the T.
        auto* sub =
            new QMenu(QString(groups[g].name).replace(u'&', QStringLiteral("&&")), favouritesMenu_);
        sub->setIcon(menuIcon(6));
        favouritesMenu_->addMenu(sub);
        // The stations' items are made when the group opens.
        connect(sub, &QMenu::aboutToShow, this, [this, sub, addMore, group = groups[g]] {
            if (!sub->isEmpty()) {
                return;
            }
            const int shown = std::min<int>(group.stations.size(), kFavouritesMenuLimit);
            for (int i = 0; i < shown; ++i) {
                const FavouritesMenuStation& station = group.stations[i];
                QAction* item = sub->addAction(
                    menuIcon(0), QString(station.name).replace(u'&', QStringLiteral("&&")));
                item->setToolTip(station.url);
                item->setStatusTip(station.url);
                connect(item, &QAction::triggered, this, [this, station] {
                    if (links_.playFavourite) {
                        links_.playFavourite(station.name, station.url);
                    }
                });
            }
            if (group.stations.size() > kFavouritesMenuLimit) {
                addMore(sub);
            }
        });
    }
    if (groups.size() > kFavouritesMenuLimit) {
        addMore(favouritesMenu_);
    }
}

} // namespace tl
