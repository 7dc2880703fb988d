#pragma once
// TSettingsForm: the modal settings dialog. Created once at start-up and kept for the whole run.
// The widget is thin: what the controls mean and what Apply writes is settings_model.h.
//
// Construction has no side effects; the composition root calls FormCreate() once, at the moment
// the start-up order gives it (it loads the theme and may press play).

#include "settings/settings_model.h"

#include <QDialog>
#include <QString>
#include <QUrl>

#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

namespace tl {

// What the dialog needs from the rest of the program. The settings objects are owned by the
// player window and outlive the dialog.
struct SettingsSeams {
    // The player's skin loader; receives the theme folder (appPath + "Themes/" + name + "/").
    std::function<void(const QString& themeFolder)> loadSkin;
    // Presses play once, as the play button does.
    std::function<void()> playOnStart;
    PlayerSettings& settings;
    RecorderSettings& recorder;
    QString appPath; // ends with "/"
    // Optional; empty members use QFileDialog::getExistingDirectory and
    // QDesktopServices::openUrl. Tests replace them.
    std::function<QString(QWidget* parent, const QString& title, const QString& start)>
        chooseFolder = {};
    std::function<bool(const QUrl&)> openUrl = {};
    // Optional: the encoders' search path; empty means the process's PATH.
    QString pathEnv = {};
};

class TSettingsForm : public QDialog {
    Q_OBJECT
public:
    explicit TSettingsForm(SettingsSeams seams, QWidget* parent = nullptr);

    // Start-up work, once: fills the theme list, loads the stored theme, lists the encoders and
    // presses play when PlayOnStart is on.
    void FormCreate();
    // Fills the controls from the running values; runs each time the dialog is shown.
    void FormShow();

    void PngBitBtn1Click(); // Apply
    void Button3Click();    // OK: Apply, then close
    void Button4Click();    // Cancel: close, nothing written
    void CheckBox4Click();  // folderEdit and "..." follow CheckBox4
    void PngBitBtn2Click(); // folder browser
    void Label5Click();     // "Edit theme"
    void Label6Click();     // "Open theme folder"

    // The controls' values, and setting them (for the composition root's tests and FormShow).
    SettingsDialogState dialogState() const;
    void setDialogState(const SettingsDialogState& state);

    // What the last Apply did; empty before the first.
    const ApplyResult& lastApply() const { return lastApply_; }

    // Sized by its contents each time it is shown (fitToContents).
    void setVisible(bool visible) override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // At least the classic 297 x 457 and as large as every control needs at the font in use
    // (a large desktop font or scale must not cut them); the border stays fixed.
    void fitToContents();
    void openLocal(const QString& path);
    static void selectText(QComboBox* box, const QString& text);

    SettingsSeams seams_;
    QStringList encoders_;
    ApplyResult lastApply_;

    QCheckBox* CheckBox1_ = nullptr;
    QCheckBox* PlayOnStartCB_ = nullptr;
    QComboBox* SkinBox_ = nullptr;
    QLabel* Label5_ = nullptr;
    QLabel* Label6_ = nullptr;
    QComboBox* encoderbox_ = nullptr;
    QComboBox* bitBox_ = nullptr;
    QCheckBox* LimitBitrateCB_ = nullptr;
    QCheckBox* CheckBox4_ = nullptr;
    QLineEdit* folderEdit_ = nullptr;
    QPushButton* Button2_ = nullptr;
    QCheckBox* CheckBox2_ = nullptr;
    QSlider* TrackBar1_ = nullptr;
    QPushButton* Button3_ = nullptr;
    QPushButton* Button4_ = nullptr;
    QPushButton* Button1_ = nullptr;
};

} // namespace tl
