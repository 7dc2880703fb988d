#pragma once
// TForm1, the player window: a small borderless window that shows the controller's controls
// and turns mouse and keyboard input into the controller's commands. Runs on the UI thread.
//
// Until a skin is loaded the controls are drawn plainly from their bounds and captions.

#include "player/player_config.h"
#include "player/player_controller.h"

#include <QWidget>

#include <functional>

namespace tl {

class TForm1 : public QWidget {
    Q_OBJECT
public:
    // Seams to the other windows; every member may be empty.
    struct Links {
        std::function<void()> showStationManager; // the "S" control
        std::function<CloseValues()> closeValues; // filled in with the other windows' state
        std::function<void()> closed;             // after FormClose has written the settings
    };

    TForm1(PlayerController& controller, QString appPath, Links links, QWidget* parent = nullptr);

    PlayerController& controller() { return controller_; }
    // FormClose: ends a video, writes config.ini and closes the title log. Runs once.
    void FormClose();
    // Lays the controls out plainly (until a theme gives them places).
    static void layoutPlainControls(ControlModel& model, QSize size);

    void Button1Click() { controller_.Button1Click(); }
    void Label1Click();
    void Label2Click();
    void Button2Click();
    void Label3Click();
    void Label4Click();
    void closeButtonClick();
    void minButtonClick();
    void VolumeStepUp();
    void VolumeStepDown();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void activate(const SkinControl& control);

    PlayerController& controller_;
    QString appPath_;
    Links links_;
    SkinControl* pressed_ = nullptr; // the control the left button went down on
    bool closed_ = false;
};

} // namespace tl
