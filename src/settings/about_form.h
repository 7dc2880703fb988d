#pragma once
// TAboutForm: the modal About window with the logo, the version line and credits, "Check for
// Updates" and "Close". Created once at start-up and kept for the whole run; the logo is read
// from the program folder each time the window is shown and released when it is hidden.
// UI thread only.

#include <QDialog>
#include <QImage>
#include <QUrl>

#include <functional>

class QLabel;
class QPushButton;

namespace tl {

struct AboutSeams {
    QString appPath;    // ends with "/"; logo.png is read from here
    QString version;    // shown as "Tunelark v<version>" and sent to the update page
    QString updateBase; // the release page, before its query; blank disables the button
    // Opens a web address; empty uses QDesktopServices::openUrl. Tests replace it.
    std::function<bool(const QUrl&)> openUrl = {};
};

class TAboutForm : public QDialog {
    Q_OBJECT
public:
    explicit TAboutForm(AboutSeams seams, QWidget* parent = nullptr);

    void BitBtn2Click();    // "Check for Updates"; nothing without a release page
    void PngBitBtn1Click(); // "Close"

    const QImage& logo() const { return logo_; }
    QPoint logoPosition() const; // where FormPaint draws the logo
    QLabel* aboutLabel() const { return AboutLabel; }

    // Sized by its contents each time it is shown (fitToContents).
    void setVisible(bool visible) override;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // The classic places and sizes (client area 359 x 360, the panel at (0, 140)), grown where
    // the text or the buttons need more room at the font in use; the border stays fixed.
    void fitToContents();
    void FormShow();
    void FormHide();

    AboutSeams seams_;
    // A left-button drag the window makes itself, where the system's move was refused.
    struct Drag {
        bool armed = false;
        bool moving = false; // past the drag distance
        QPoint pressGlobal;
        QPoint startPos;
    };
    Drag drag_;
    QImage logo_;
    QWidget* AboutPanel = nullptr;
    QLabel* AboutLabel = nullptr;
    QPushButton* BitBtn2 = nullptr;
    QPushButton* BitBtn1 = nullptr;
};

// The program's logo as shipped in logo.png (drawn here so that the generator writes it).
QImage drawLogo();

} // namespace tl
