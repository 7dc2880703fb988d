#pragma once
// TEditForm, the modal dialog that adds and edits favourite stations and groups. Page 0
// edits a station, page 1 a group; the pages have no visible tabs. It lives as long as the
// station manager that owns it; its fields keep their values between uses except where an
// opening flow sets them. OK applies the edit logic (edit_logic.h) and commits through the
// window that owns it (EditFormHost: the station manager).

#include "library/station.h"

#include <QDialog>

#include <optional>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QStackedWidget;

namespace tl {

class ColorButton;
class FavouritesDocument;
struct CommitResult;

// What the dialog needs from the window that owns it. All calls on the UI thread.
class EditFormHost {
public:
    virtual ~EditFormHost() = default;
    virtual FavouritesDocument& favourites() = 0;
    virtual std::optional<TStation> selectedRecord() const = 0; // the list's selected row
    virtual bool searchPageShowing() const = 0; // an add from the search results page
    virtual int rememberTopRow() const = 0;
    virtual void applyCommit(const CommitResult& result, int topRow) = 0;
    virtual void showMessage(const QString& text) = 0;
    virtual void notify(const QString& text) = 0;
};

class TEditForm : public QDialog {
    Q_OBJECT
public:
    static constexpr int kStationPage = 0;
    static constexpr int kGroupPage = 1;

    TEditForm(EditFormHost& host, QWidget* parent);

    // The five ways in. Each prepares the fields and runs the dialog modally.
    void openForNewStation();              // tool bar: new station (clipboard rule)
    void openForNewGroup();                // tool bar: new group
    void openForEdit(const TStation& row); // context menu "Edit..."
    void PngSpeedButton1Click(const QString& name, const QString& url, const QString& bitrate);
    void openForPlayingStation(const QString& name, const QString& url, const QString& info,
                               bool video);

    // The same flows without running the dialog (the modal run is runModal()).
    void prepareNewStation();
    void prepareNewGroup();
    void prepareEdit(const TStation& row);
    void prepareSearchResult(const QString& name, const QString& url, const QString& bitrate);
    void preparePlayingStation(const QString& name, const QString& url, const QString& info,
                               bool video);
    void FormShow(); // caption, group box, focus; also run by each showing
    int runModal();

    void PngBitBtn1Click(); // OK
    void PngBitBtn2Click(); // Cancel

    int EditMode() const { return editMode_; }
    void setEditMode(int mode) { editMode_ = mode; }
    int page() const;
    bool nameFieldMarked() const; // the light red background of a refused name

    QComboBox* groupsBox() const { return GroupsCB; }
    QLineEdit* nameEdit() const { return Edit1; }
    QLineEdit* urlEdit() const { return Edit2; }
    QPlainTextEdit* infoMemo() const { return Memo1; }
    QCheckBox* videoBox() const { return VideoCheckBox; }
    QComboBox* bitrateBox() const { return BitrateCB; }
    QLineEdit* groupNameEdit() const { return GNameEdit; }
    ColorButton* colorButton() const { return GColorButton; }

    void reject() override; // Cancel, Esc and the close box: the name fields lose their marks
    void setVisible(bool visible) override; // sizes the dialog to its contents when shown

protected:
    void showEvent(QShowEvent* event) override;

private:
    void setPage(int page);
    void fitToContents();
    void markName(QLineEdit* edit, bool refused);
    void FillGroups();

    EditFormHost& manager_;
    int editMode_ = 2;
    std::optional<TStation> target_; // the row being edited, taken when the dialog opened

    QStackedWidget* PageControl = nullptr;
    QComboBox* GroupsCB = nullptr;
    QLineEdit* Edit1 = nullptr;
    QLineEdit* Edit2 = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QCheckBox* VideoCheckBox = nullptr;
    QComboBox* BitrateCB = nullptr;
    QLineEdit* GNameEdit = nullptr;
    ColorButton* GColorButton = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
};

} // namespace tl
