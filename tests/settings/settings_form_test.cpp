#include "settings/settings_form.h"

#include "../qt_app.h"
#include "../whole_controls.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace tl;

namespace {

const QByteArray kConfig = "[General]\nx=5\nTheme=blue\nNotifierDelay=6000\n"
                           "[Recording]\nBitrate=128\nFolder=\n";

class SettingsFormTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { tl::test::ensureApp<QApplication>("test_settings_gui"); }

    void SetUp() override {
        app = dir.path() + u'/';
        QDir root(dir.path());
        ASSERT_TRUE(root.mkpath("Themes/Blue") && root.mkpath("Themes/Dark") && root.mkpath("bin"));
        QFile config(app + "config.ini");
        ASSERT_TRUE(config.open(QIODevice::WriteOnly));
        config.write(kConfig);
        config.close();
        QFile lame(dir.filePath("bin/lame"));
        ASSERT_TRUE(lame.open(QIODevice::WriteOnly));
        lame.close();
        lame.setPermissions(QFile::ReadOwner | QFile::ExeOwner);

        settings.Theme = QStringLiteral("blue");
        recorder.Folder = app + "Recordings/";
        form = std::make_unique<TSettingsForm>(SettingsSeams{
            .loadSkin = [this](const QString& folder) { loaded << folder; },
            .playOnStart = [this] { ++plays; },
            .settings = settings,
            .recorder = recorder,
            .appPath = app,
            .chooseFolder = [this](QWidget*, const QString&,
                                   const QString&) { return chosenFolder; },
            .openUrl =
                [this](const QUrl& url) {
                    opened << url;
                    return true;
                },
            .pathEnv = dir.filePath("bin"),
        });
    }

    template <typename W> W* child(const char* name) {
        W* widget = form->findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    QByteArray configBytes() {
        QFile file(app + "config.ini");
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir dir;
    QString app;
    PlayerSettings settings;
    RecorderSettings recorder;
    QStringList loaded;
    int plays = 0;
    QString chosenFolder;
    QList<QUrl> opened;
    std::unique_ptr<TSettingsForm> form;
};

TEST_F(SettingsFormTest, CreationLoadsTheStoredThemeAndPlaysOnlyWhenAsked) {
    EXPECT_TRUE(loaded.isEmpty()); // constructing does nothing
    form->FormCreate();
    EXPECT_EQ(loaded, QStringList{app + "Themes/blue/"}); // the stored name, as stored
    EXPECT_EQ(plays, 0);
    EXPECT_EQ(child<QComboBox>("SkinBox")->currentText(), "Blue");
    auto* encoders = child<QComboBox>("encoderbox");
    ASSERT_EQ(encoders->count(), 1);
    EXPECT_EQ(encoders->itemText(0), "lame");

    settings.PlayOnStart = true;
    settings.Theme = QStringLiteral("gone");
    form->FormCreate();
    EXPECT_EQ(plays, 1);
    EXPECT_EQ(child<QComboBox>("SkinBox")->currentIndex(), -1);
    EXPECT_EQ(loaded.last(), app + "Themes/gone/");
}

TEST_F(SettingsFormTest, CustomFolderEnablesItsControls) {
    form->FormCreate();
    form->FormShow();
    EXPECT_FALSE(child<QCheckBox>("CheckBox4")->isChecked());
    EXPECT_FALSE(child<QLineEdit>("folderEdit")->isEnabled());
    EXPECT_FALSE(child<QPushButton>("Button2")->isEnabled());

    recorder.Folder = QStringLiteral("/music/");
    form->FormShow();
    EXPECT_TRUE(child<QCheckBox>("CheckBox4")->isChecked());
    EXPECT_TRUE(child<QLineEdit>("folderEdit")->isEnabled());
    EXPECT_TRUE(child<QPushButton>("Button2")->isEnabled());
    EXPECT_EQ(child<QLineEdit>("folderEdit")->text(), "/music/");
}

TEST_F(SettingsFormTest, OkAppliesAndClosesCancelWritesNothing) {
    form->FormCreate();
    form->show();
    child<QSlider>("TrackBar1")->setValue(3);
    child<QComboBox>("SkinBox")->setCurrentIndex(1); // Dark
    child<QCheckBox>("CheckBox1")->setChecked(true);

    QTest::mouseClick(child<QPushButton>("Button4"), Qt::LeftButton); // Cancel
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(configBytes(), kConfig);
    EXPECT_EQ(settings.NotifierDelay, 6000);
    EXPECT_FALSE(settings.MinimizeToTray);

    form->show(); // refilled from the running values
    EXPECT_EQ(child<QSlider>("TrackBar1")->value(), 6);
    EXPECT_FALSE(child<QCheckBox>("CheckBox1")->isChecked());
    child<QSlider>("TrackBar1")->setValue(3);
    child<QComboBox>("SkinBox")->setCurrentIndex(1);
    loaded.clear();
    QTest::mouseClick(child<QPushButton>("Button3"), Qt::LeftButton); // OK
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->result(), QDialog::Accepted);
    EXPECT_EQ(loaded, QStringList{app + "Themes/Dark/"});
    EXPECT_EQ(settings.NotifierDelay, 3000);
    EXPECT_EQ(settings.Theme, "blue");
    EXPECT_EQ(QString::fromUtf8(configBytes()),
              "[General]\nx=5\nTheme=Dark\nNotifierDelay=3000\nMinimizeToTray=0\n"
              "PlayOnStart=0\nShowNotifier=1\n"
              "[Recording]\nBitrate=128\nFolder=\nLimitBitrate=0\nEncoder=\n");
}

TEST_F(SettingsFormTest, FolderBrowserAndThemeLinks) {
    form->FormCreate();
    form->FormShow();
    auto* edit = child<QLineEdit>("folderEdit");
    edit->setText(QStringLiteral("/typed/"));
    chosenFolder.clear(); // cancelled
    form->PngBitBtn2Click();
    EXPECT_EQ(edit->text(), "/typed/");
    chosenFolder = QStringLiteral("/media/records");
    form->PngBitBtn2Click();
    EXPECT_EQ(edit->text(), "/media/records/");

    child<QComboBox>("SkinBox")->setCurrentIndex(1);
    QTest::mouseClick(child<QLabel>("Label5"), Qt::LeftButton);
    QTest::mouseClick(child<QLabel>("Label6"), Qt::LeftButton);
    EXPECT_EQ(opened, (QList<QUrl>{QUrl::fromLocalFile(app + "Themes/Dark/theme.ini"),
                                   QUrl::fromLocalFile(app + "Themes/Dark/")}));
    EXPECT_EQ(loaded.size(), 1); // neither reloads the theme
}

} // namespace

namespace {

// Every control whole, at the platform's font and at twice its size, in a dialog at least as
// large as the classic 297 x 457 with a fixed border. The font changes while the dialog exists:
// it is fitted each time it is shown. A long theme name is cut in its box, not widening the
// dialog.
TEST_F(SettingsFormTest, EveryControlShowsWhole) {
    const QString longTheme = QStringLiteral("A theme folder named at great length for its box");
    ASSERT_TRUE(QDir(app).mkpath("Themes/" + longTheme));
    settings.Theme = longTheme;
    form->FormCreate();
    const QStringList problems = layout_check::atNormalAndDoubleFont([&](qreal scale) {
        QStringList found;
        for (const bool custom : {false, true}) {
            recorder.Folder = custom ? QStringLiteral("/music/") : app + "Recordings/";
            form->show();
            found << layout_check::clippedControls(
                *form, QStringLiteral("settings_x%1_%2").arg(scale).arg(custom));
            if (form->width() < 297 || form->height() < 457)
                found << QStringLiteral("smaller than 297x457");
            if (form->minimumSize() != form->maximumSize())
                found << QStringLiteral("a resizable border");
            if (form->width() > 2.6 * 297 * scale)
                found << QStringLiteral("widened to %1 by the theme name").arg(form->width());
            form->hide();
        }
        return found;
    });
    EXPECT_TRUE(problems.isEmpty()) << problems.join(QStringLiteral("\n")).toStdString();
}

} // namespace
