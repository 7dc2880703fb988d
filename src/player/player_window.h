#pragma once
// TForm1, the player window: the small borderless skinned window. It owns its controls (the
// control model) and its compositor through SkinWindow, and turns mouse, wheel, keyboard, menu
// and tray input into the controller's commands. Runs on the UI thread.

#include "player/player_config.h"
#include "player/player_controller.h"
#include "skin/skin_window.h"

#include <QTimer>

#include <functional>

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace tl {

class TKnob;

class TForm1 : public SkinWindow {
    Q_OBJECT
public:
    struct FavouritesMenuStation {
        QString name;
        QString url;
    };
    struct FavouritesMenuGroup {
        QString name;
        QList<FavouritesMenuStation> stations;
    };
    // The "Favourites" submenu shows at most this many groups, and this many stations in each;
    // a "More..." item opens the station manager for the rest.
    static constexpr int kFavouritesMenuLimit = 100;

    // Seams to the other windows; every member may be empty.
    struct Links {
        std::function<void()> showStationManager; // the "S" control
        std::function<CloseValues()> closeValues; // filled in with the other windows' state
        std::function<void()> closed;             // after FormClose has written the settings
        // Previous (-1) and next (+1) on the station manager's current list.
        std::function<void(int delta)> stepStation;
        // The favourites document's groups in document order, at most maxGroups of them and at
        // most maxStations stations in each (asked for one more than shown, to tell whether
        // there are more).
        std::function<QList<FavouritesMenuGroup>(int maxGroups, int maxStations)> favouritesMenu;
        // A station chosen in the "Favourites" submenu (FavMenuClk).
        std::function<void(const QString& name, const QString& url)> playFavourite;
        std::function<void()> addCurrentStation;
        std::function<void()> showStationInfo;
        std::function<void()> showSettings;
        std::function<void()> showAbout;
        std::function<void()> recordClick;
        std::function<void(const QString&)> showNotification;
        // config.ini could not be written at close; called at most once, with the reason.
        std::function<void(const QString& text)> saveFailed;
    };

    TForm1(QString appPath, Links links, QWidget* parent = nullptr);
    ~TForm1() override;

    // Connects the window to its logic; the controller must use this window's controls() and
    // compositor() and outlive the window.
    void attach(PlayerController& controller);
    PlayerController& controller() { return *controller_; }
    Links& links() { return links_; }

    // Loads the theme folder (with a trailing "/") and restores the state images.
    void LoadSkin(const QString& themeFolder);
    // FormClose: ends a video, writes config.ini and closes the title log. Runs once.
    void FormClose();

    // Commands (also reachable from the menu and the tray).
    void Button1Click();
    void Label1Click();
    void Label2Click();
    void Button2Click();
    void Label3Click();
    void Label4Click();
    void Label9Click();
    void closeButtonClick();
    void minButtonClick();
    void Exit1Click();
    void Alwaysontop1Click();
    void VolumeChange();
    void VolumeStepUp();
    void VolumeStepDown();
    void Timer1Timer();
    // The context menu; with playback items from the tray, without from the window.
    void ShowPlayerMenu(bool withPlayback, QPoint globalPos);
    void UpdateMenuItems(bool withPlayback);
    QMenu* PopupMenu1() const { return menu_; }
    // RecordMI shows image 4 while recording, image 5 otherwise.
    void setRecordMenuImage(bool recording);
    TKnob* knob() const { return knob_; }
    bool trayAvailable() const;
    // The tray icon's left click: minimise when shown, else restore and fade in.
    void TrayIconClick();
    // Places the window against the work area's edges when it comes within 8 pixels.
    void snapToWorkArea();
    // The tooltip of a player control (by object name): what it does and its keys; empty for
    // the text labels, which show their own text.
    static QString controlToolTip(QStringView objectName);

protected:
    bool event(QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void buildMenu();
    void buildTray();
    void onControlClicked(SkinControl* control);
    void onControlPressed(SkinControl* control, QMouseEvent* event);
    void onControlReleased(SkinControl* control, QMouseEvent* event);
    void onBackgroundPressed(QMouseEvent* event);
    void onBackgroundReleased(QMouseEvent* event);
    void onTrayActivated(int reason);
    void syncVolumeControls();
    void fillFavouritesMenu();
    // atOnce: the system's move starts with the press (the window's background and the
    // bitrate and format labels); otherwise once the pointer has moved past the drag distance.
    void armDrag(QMouseEvent* event, bool atOnce);
    void finishMinimize();
    // Whether anybody can see the window: shown and not minimised. Hidden to the tray or
    // iconified, the tick stops and refreshes wait (nothing drawn that nobody can see); both
    // come back when the window does. The tick also stops while nothing moves, and wakes
    // with the next refresh or pointer event.
    bool seen() const;
    void refreshIfSeen();
    void cameIntoView();
    void wakeTick();

    QString appPath_;
    Links links_;
    PlayerController* controller_ = nullptr; // not owned
    TKnob* knob_ = nullptr;                  // child widget
    QMenu* menu_ = nullptr;                  // PopupMenu1, child
    QMenu* favouritesMenu_ = nullptr;
    QSystemTrayIcon* tray_ = nullptr; // child; null where no tray exists
    QTimer snapTimer_;                // snaps once a move has settled
    bool closed_ = false;
    bool minimizing_ = false; // fading out before the window is minimised or hidden
    int wheelRemainder_ = 0;  // wheel units short of a whole step (120)

    // Dragging the window with the left button. The system's move is tried first; where it is
    // refused the window follows the pointer here, once it has moved past the drag distance
    // (so a plain click on the time label stays a click).
    struct Drag {
        bool armed = false;
        bool systemRefused = false; // the system's move was refused at the press
        bool own = false;           // this window moves itself
        bool moved = false;
        QPoint pressGlobal;
        QPoint startPos;
    };
    Drag drag_;
    bool suppressClick_ = false;
    bool tickParked_ = false; // the tick stopped itself: window not seen, or nothing moving
    bool stale_ = false;      // a refresh was skipped while the window could not be seen
};

} // namespace tl
