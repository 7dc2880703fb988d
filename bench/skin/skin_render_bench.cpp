// Frame cost of the player window with the default theme, as the 30 ms tick pays it:
//   - Render alone (the compositor's pass into its image);
//   - tick + Render + present (the window repaints its backing store from the image);
//   - tick + only the moved area drawn and presented, as the player's tick does it;
//   - the CPU time those frames cost per minute, idle (nothing plays, texts still scroll)
//     and playing with the spectrum on.
// Usage: bench_skin_render [theme folder] [frames] [hold ms]
//   (default: assets/Themes/Nocturne, 4000 frames; hold keeps the window shown afterwards, for
//   a screenshot under a real display)

#include "player/player_controller.h"
#include "skin/animation.h"
#include "skin/knob_widget.h"
#include "skin/skin_window.h"
#include "skin/theme_art.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTextStream>

#include <cmath>
#include <ctime>

namespace {

double cpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// A deterministic, lively spectrum: magnitudes that move every frame.
class SyntheticSource : public tl::VisualSource {
public:
    uint32_t level() override { return 0x40002000u; }
    bool fft(std::span<float, tl::kFftSize> m) override {
        ++frame_;
        for (size_t i = 0; i < m.size(); ++i) {
            m[i] = static_cast<float>(0.05 + 0.05 * std::sin(0.3 * static_cast<double>(frame_) +
                                                             0.7 * static_cast<double>(i)));
        }
        return true;
    }

private:
    long frame_ = 0;
};

void addPlayerControls(tl::ControlModel& m) {
    tl::PlayerController::buildControls(m);
    const std::pair<const char*, const char*> samples[] = {
        {"Label3", "A Rather Long Song Title That Has To Scroll \u2013 Live Version"},
        {"Label5", "128 kbps"},
        {"Label8", "MP3"},
        {"Label4", "Some Station \u2013 Genre and a long description line"},
        {"Label7", "03:14"},
    };
    for (const auto& [name, text] : samples) {
        m.find(QString::fromLatin1(name))->caption = QString::fromUtf8(text);
    }
    m.find(u"Volume")->bounds = QRect(0, 0, 40, 40);
}

struct Figures {
    double usPerFrame;
    double cpuPerMinute; // seconds of CPU for one minute of frames at 30 ms
};

template <typename Frame> Figures measure(int frames, Frame frame) {
    for (int i = 0; i < 50; ++i) {
        frame(); // warm caches, fonts and glyphs
    }
    QElapsedTimer wall;
    const double cpu0 = cpuSeconds();
    wall.start();
    for (int i = 0; i < frames; ++i) {
        frame();
    }
    const double us = static_cast<double>(wall.nsecsElapsed()) / 1000.0 / frames;
    const double cpu = (cpuSeconds() - cpu0) / frames;
    return {us, cpu * (60000.0 / 30.0)};
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString folder = args.size() > 1 ? args[1]
                                           : QStringLiteral(TL_SOURCE_DIR "/assets/Themes/") +
                                                 QString::fromLatin1(tl::kDefaultThemeName);
    const int frames = args.size() > 2 ? std::max(1, args[2].toInt()) : 4000;

    tl::SkinWindow window(tl::SkinRole::Player);
    addPlayerControls(window.controls());
    auto* knob = new tl::TKnob;
    knob->setObjectName(QStringLiteral("Volume"));
    knob->setRange(0, 10);
    knob->setPosition(6);
    window.attachKnob(knob);
    window.setHoverFadeOnLeave(true);
    const auto loaded = window.LoadTheme(folder, false);
    window.SetStateImage(u"play", QStringLiteral("51.png"));
    window.move(40, 40);
    window.show();
    QCoreApplication::processEvents();

    tl::TMyAbout& about = window.compositor();
    SyntheticSource source;
    int elapsed = 0;
    tl::TickInputs playing;
    playing.streamOpen = true;
    tl::TickInputs idle;

    const Figures render = measure(frames, [&] {
        tl::animationTick(about, window.controls(), playing, &source, elapsed);
        about.Render(nullptr);
    });
    const Figures presentPlaying = measure(frames, [&] {
        tl::animationTick(about, window.controls(), playing, &source, elapsed);
        window.Refresh();
        window.repaint(); // synchronous: the image reaches the backing store now
    });
    // What the player's tick does: draw and repaint only what moved (the spectrum's box and a
    // scrolling title), the whole window only when something else changed.
    const Figures presentArea = measure(frames, [&] {
        const tl::SkinValues before = about;
        tl::animationTick(about, window.controls(), playing, &source, elapsed);
        if (const std::optional<QRegion> area = about.tickArea(before)) {
            window.RefreshArea(*area);
            window.repaint(*area);
        } else {
            window.Refresh();
            window.repaint();
        }
    });
    about.SpectrumBars.fill(0);
    const Figures presentIdle = measure(frames, [&] {
        tl::animationTick(about, window.controls(), idle, &source, elapsed);
        window.Refresh();
        window.repaint();
    });

    QTextStream out(stdout);
    const bool x11 = QGuiApplication::platformName() == u"xcb";
    out << "compositing manager: "
        << (!x11                                     ? "not X11"
            : tl::SkinWindow::compositingAvailable() ? "yes"
                                                     : "no")
        << ", shape mask from alpha: " << (window.maskActive() ? "yes" : "no") << "\n";
    out << "theme: " << folder << (loaded.builtIn ? " (built-in fallback)" : "") << ", "
        << loaded.size.width() << "x" << loaded.size.height() << ", platform "
        << QGuiApplication::platformName() << ", " << frames << " frames\n";
    out << QStringLiteral("tick + Render:                   %1 us/frame\n")
               .arg(render.usPerFrame, 0, 'f', 1);
    out << QStringLiteral("tick + Render + present, playing: %1 us/frame, %2 s CPU per minute "
                          "(%3 % of one core)\n")
               .arg(presentPlaying.usPerFrame, 0, 'f', 1)
               .arg(presentPlaying.cpuPerMinute, 0, 'f', 2)
               .arg(presentPlaying.cpuPerMinute / 60.0 * 100.0, 0, 'f', 2);
    out << QStringLiteral("tick + area drawn + present:      %1 us/frame, %2 s CPU per minute "
                          "(%3 % of one core)\n")
               .arg(presentArea.usPerFrame, 0, 'f', 1)
               .arg(presentArea.cpuPerMinute, 0, 'f', 2)
               .arg(presentArea.cpuPerMinute / 60.0 * 100.0, 0, 'f', 2);
    out << QStringLiteral("tick + Render + present, idle:    %1 us/frame, %2 s CPU per minute "
                          "(%3 % of one core)\n")
               .arg(presentIdle.usPerFrame, 0, 'f', 1)
               .arg(presentIdle.cpuPerMinute, 0, 'f', 2)
               .arg(presentIdle.cpuPerMinute / 60.0 * 100.0, 0, 'f', 2);
    out.flush();
    if (args.size() > 3) {
        QElapsedTimer hold;
        hold.start();
        while (hold.elapsed() < args[3].toInt()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 30);
        }
    }
    return 0;
}
