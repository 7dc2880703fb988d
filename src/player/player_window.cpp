#include "player/player_window.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>
#include <QWindow>

namespace tl {
namespace {

const QSize kPlainSize(340, 118);

bool isButtonTag(int tag) {
    return tag >= 100;
}

// Controls on which a left press drags the window.
bool dragsWindow(const SkinControl* c) {
    return c == nullptr || c->objectName == u"Label5" || c->objectName == u"Label8" ||
           c->objectName == u"Label7";
}

} // namespace

TForm1::TForm1(PlayerController& controller, QString appPath, Links links, QWidget* parent)
    : QWidget(parent, Qt::FramelessWindowHint | Qt::Window), controller_(controller),
      appPath_(std::move(appPath)), links_(std::move(links)) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("tunelark"));
    setFixedSize(kPlainSize);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    layoutPlainControls(controller_.controls(), kPlainSize);
    connect(&controller_, &PlayerController::refreshRequested, this, qOverload<>(&QWidget::update));
}

void TForm1::layoutPlainControls(ControlModel& model, QSize size) {
    const int w = size.width();
    auto place = [&model](const char* name, QRect r) {
        if (SkinControl* c = model.find(QString::fromLatin1(name))) {
            c->bounds = r;
        }
    };
    place("Label3", QRect(10, 8, w - 80, 20));
    place("Label4", QRect(10, 30, w - 80, 18));
    place("Label5", QRect(10, 50, 80, 16));
    place("Label8", QRect(95, 50, 50, 16));
    place("Label7", QRect(w - 70, 50, 60, 16));
    place("Label1", QRect(10, 76, 34, 30));
    place("Button1", QRect(48, 76, 56, 30));
    place("Label2", QRect(108, 76, 34, 30));
    place("RecLabel", QRect(150, 76, 40, 30));
    place("Label9", QRect(194, 76, 46, 30));
    place("Label6", QRect(244, 76, 30, 30));
    place("TrackBar1", QRect(w - 62, 82, 54, 18));
    place("minButton", QRect(w - 52, 6, 20, 18));
    place("closeButton", QRect(w - 28, 6, 20, 18));
}

void TForm1::paintEvent(QPaintEvent* /*event*/) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath frame;
    frame.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 10, 10);
    p.fillPath(frame, QColor(0x1d, 0x22, 0x2b));
    p.setPen(QColor(0x3a, 0x44, 0x55));
    p.drawPath(frame);

    const PlayerController::SkinValues& skin = controller_.skin();
    for (const SkinControl& c : controller_.controls().controls()) {
        if (!c.visible || c.bounds.isEmpty()) {
            continue;
        }
        QColor text = c.enabled ? QColor(0xe8, 0xec, 0xf2) : QColor(0x6b, 0x74, 0x82);
        if (c.objectName == u"TrackBar1") {
            const int pos = std::clamp(controller_.settingsVolume(), 0, 10);
            QRect groove =
                c.bounds.adjusted(0, c.bounds.height() / 2 - 2, 0, -(c.bounds.height() / 2 - 2));
            p.fillRect(groove, QColor(0x3a, 0x44, 0x55));
            p.fillRect(
                QRect(groove.left(), groove.top(), groove.width() * pos / 10, groove.height()),
                QColor(0x4f, 0xa3, 0xe0));
            continue;
        }
        if (isButtonTag(c.tag)) {
            QColor face(0x2b, 0x33, 0x40);
            if (c.pressed) {
                face = QColor(0x4f, 0xa3, 0xe0);
            } else if ((c.objectName == u"Button1" && skin.playImage == u"51.png") ||
                       (c.objectName == u"Label9" && skin.muteImage == u"31.png") ||
                       (c.objectName == u"RecLabel" && skin.recordImage == u"71.png")) {
                face = QColor(0x2f, 0x5f, 0x86);
            }
            p.setPen(Qt::NoPen);
            p.setBrush(face);
            p.drawRoundedRect(c.bounds, 5, 5);
        }
        QFont font = p.font();
        font.setPixelSize(c.objectName == u"Label3" ? 14 : 11);
        font.setBold(c.objectName == u"Label3");
        p.setFont(font);
        p.setPen(text);
        QString caption = c.caption;
        if (c.objectName == u"Button1") {
            caption = skin.playImage == u"51.png" ? QStringLiteral("stop") : c.caption;
        }
        const QString shown =
            QFontMetrics(font).elidedText(caption, Qt::ElideRight, c.bounds.width());
        p.drawText(c.bounds, Qt::AlignCenter, shown);
    }
}

void TForm1::mousePressEvent(QMouseEvent* event) {
    SkinControl* c = controller_.controls().hitTest(event->position().toPoint());
    if (event->button() == Qt::LeftButton) {
        if (c != nullptr && isButtonTag(c->tag) && c->enabled) {
            pressed_ = c;
            c->pressed = true;
            update();
            return;
        }
        if (dragsWindow(c) && windowHandle() != nullptr) {
            windowHandle()->startSystemMove();
        }
    }
}

void TForm1::mouseReleaseEvent(QMouseEvent* event) {
    SkinControl* c = controller_.controls().hitTest(event->position().toPoint());
    if (event->button() != Qt::LeftButton) {
        return;
    }
    SkinControl* pressed = pressed_;
    pressed_ = nullptr;
    if (pressed != nullptr) {
        pressed->pressed = false;
    }
    if (c != nullptr && c->enabled && (pressed == nullptr || pressed == c)) {
        activate(*c);
    }
    update();
}

void TForm1::mouseMoveEvent(QMouseEvent* event) {
    QWidget::mouseMoveEvent(event);
}

void TForm1::activate(const SkinControl& control) {
    const QString& name = control.objectName;
    if (name == u"Button1") {
        Button1Click();
    } else if (name == u"Label1") {
        Label1Click();
    } else if (name == u"Label2") {
        Label2Click();
    } else if (name == u"Label6") {
        Button2Click();
    } else if (name == u"Label9") {
        controller_.Label9Click();
    } else if (name == u"Label3") {
        Label3Click();
    } else if (name == u"Label4" || name == u"Label7") {
        Label4Click();
    } else if (name == u"closeButton") {
        closeButtonClick();
    } else if (name == u"minButton") {
        minButtonClick();
    } else if (name == u"TrackBar1") {
        const QPoint local = mapFromGlobal(QCursor::pos()) - control.bounds.topLeft();
        const int pos = std::clamp((local.x() * 10 + control.bounds.width() / 2) /
                                       std::max(1, control.bounds.width()),
                                   0, 10);
        controller_.SetVolume(pos * 10);
    }
}

void TForm1::Label1Click() {
    // Previous and next walk the station manager's list; they arrive with that list.
}

void TForm1::Label2Click() {}

void TForm1::Button2Click() {
    if (links_.showStationManager) {
        links_.showStationManager();
    }
}

void TForm1::Label3Click() {
    controller_.toggleScrollTitle();
}

void TForm1::Label4Click() {
    controller_.toggleScrollInfo();
}

void TForm1::closeButtonClick() {
    controller_.Timer1().stop();
    close();
}

void TForm1::minButtonClick() {
    showMinimized();
}

void TForm1::VolumeStepUp() {
    if (controller_.deviceVolume() > 90) {
        return;
    }
    controller_.SetVolume(std::min(controller_.settingsVolume() + 1, 10) * 10);
}

void TForm1::VolumeStepDown() {
    if (controller_.deviceVolume() < 10) {
        return;
    }
    controller_.SetVolume(std::max(controller_.settingsVolume() - 1, 0) * 10);
}

void TForm1::wheelEvent(QWheelEvent* event) {
    if (event->angleDelta().y() > 0) {
        VolumeStepUp();
    } else if (event->angleDelta().y() < 0) {
        VolumeStepDown();
    }
}

void TForm1::keyPressEvent(QKeyEvent* event) {
    // "&" and "(" are the old codes of the Up and Down arrow keys; both spellings work.
    const QString text = event->text();
    if (text == u"&" || event->key() == Qt::Key_Up) {
        VolumeStepUp();
    } else if (text == u"(" || event->key() == Qt::Key_Down) {
        VolumeStepDown();
    } else {
        QWidget::keyPressEvent(event);
    }
}

void TForm1::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
}

void TForm1::FormClose() {
    if (closed_) {
        return;
    }
    closed_ = true;
    controller_.CloseVideo();
    CloseValues values = links_.closeValues ? links_.closeValues() : CloseValues{};
    values.position = pos();
    values.vx = controller_.vx();
    values.vy = controller_.vy();
    controller_.fillCloseValues(values);
    IniFile ini = IniFile::load(appPath_ + QStringLiteral("config.ini"));
    writeCloseValues(ini, values);
    ini.save(appPath_ + QStringLiteral("config.ini"));
    controller_.titleLog().close();
    if (links_.closed) {
        links_.closed();
    }
}

} // namespace tl
