#pragma once
// What the recorder's integration tests share: running tools, the local Icecast (one per test
// binary), the encoders on PATH, measuring files (length, rough frequency, which of two tones
// each 10 ms holds), and an ICY server that places titles at chosen bytes of a tone file.

#include "audio/engine.h"
#include "recording/recorder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <utility>
#include <vector>

namespace tl::test {

inline const QString kServices = QStringLiteral(TL_SOURCE_DIR "/tests/services/");

inline int freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

inline QString run(const QString& program, const QStringList& args, bool* ok = nullptr) {
    QProcess p;
    p.start(program, args);
    const bool done =
        p.waitForFinished(240000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (ok)
        *ok = done;
    return QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
}

class Icecast : public ::testing::Environment {
public:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        port = freePort();
        bool ok = false;
        run("bash", {kServices + "icecast.sh", "start", dir.path(), QString::number(port)}, &ok);
        ASSERT_TRUE(ok) << "icecast.sh start failed";
    }
    void TearDown() override { run("bash", {kServices + "icecast.sh", "stop", dir.path()}); }
    QString url(const char* mount) const {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(QLatin1String(mount));
    }
    bool setTitle(const char* mount, const QString& title) const {
        bool ok = false;
        run("bash",
            {kServices + "icecast.sh", "title", dir.path(), QString::number(port), mount, title},
            &ok);
        return ok;
    }
    QTemporaryDir dir;
    int port = 0;
};

inline QString findEncoder(const QString& encoder) {
    if (encoder == u"lame")
        return QStandardPaths::findExecutable("lame");
    if (encoder == u"oggenc2") {
        const QString two = QStandardPaths::findExecutable("oggenc2");
        return two.isEmpty() ? QStandardPaths::findExecutable("oggenc") : two;
    }
    return {};
}

inline double durationOf(const QString& file) {
    bool ok = false;
    const QString out =
        run("ffprobe", {"-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", file},
            &ok);
    return ok ? out.trimmed().toDouble() : -1;
}

// sox's rough frequency of the file's middle, decoded by ffmpeg (sox reads no MP3 here).
inline double frequencyOf(const QString& file, const QString& scratch) {
    const QString wav = scratch + "/decoded.wav";
    QFile::remove(wav);
    bool ok = false;
    run("ffmpeg", {"-v", "error", "-y", "-i", file, "-ac", "1", "-ar", "44100", wav}, &ok);
    if (!ok)
        return -1;
    const QString stat = run("sox", {wav, "-n", "trim", "0.3", "1", "stat"});
    const QRegularExpression re("Rough\\s+frequency:\\s+(-?\\d+)");
    const auto m = re.match(stat);
    return m.hasMatch() ? m.captured(1).toDouble() : -1;
}

// Per 10 ms window of a file: +1 when 440 Hz dominates, -1 when 880 Hz does, 0 when quiet.
inline std::vector<int> toneWindows(const QString& file) {
    QProcess p;
    p.start("ffmpeg", {"-v", "error", "-i", file, "-ac", "1", "-ar", "44100", "-f", "s16le", "-"});
    p.waitForFinished(60000);
    const QByteArray raw = p.readAllStandardOutput();
    const auto* samples = reinterpret_cast<const int16_t*>(raw.constData());
    const std::size_t count = static_cast<std::size_t>(raw.size()) / 2;
    auto power = [&](std::size_t from, std::size_t n, double hz) {
        const double k = 2 * std::cos(2 * M_PI * hz / 44100);
        double a = 0, b = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const double c = samples[from + i] / 32768.0 + k * a - b;
            b = a;
            a = c;
        }
        return a * a + b * b - k * a * b;
    };
    std::vector<int> out;
    const std::size_t n = 441;
    for (std::size_t at = 0; at + n <= count; at += n) {
        const double low = power(at, n, 440), high = power(at, n, 880);
        out.push_back(std::max(low, high) < 1.0 ? 0 : (low > high ? 1 : -1));
    }
    return out;
}

// How many windows at one end of `w` are not `tone`.
inline int wrongAtStart(const std::vector<int>& w, int tone) {
    return static_cast<int>(std::find_if(w.begin(), w.end(), [tone](int x) { return x == tone; }) -
                            w.begin());
}
inline int wrongAtEnd(const std::vector<int>& w, int tone) {
    return static_cast<int>(
        std::find_if(w.rbegin(), w.rend(), [tone](int x) { return x == tone; }) - w.rbegin());
}

// Waits with the event loop running until done() holds or the time is up.
inline bool waitFor(const std::function<bool()>& done, int ms = 20000) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return done();
}

// The recorder's links to a real engine playing `stream` (hand-over and failures included).
inline Recorder::Links engineLinks(audio::Engine& engine, audio::StreamHandle stream) {
    Recorder::Links l;
    l.streamHandle = [stream] {
        return stream;
    };
    l.startEncoder = [&engine](audio::StreamHandle s, const std::vector<std::string>& argv,
                               bool paused) {
        return engine.encodeStart(s, argv, paused);
    };
    l.encoderActive = [&engine](audio::EncoderHandle e) {
        return engine.encodeIsActive(e);
    };
    l.stopEncoder = [&engine](audio::EncoderHandle e) {
        engine.encodeStop(e);
    };
    l.encoderExit = [&engine](audio::EncoderHandle e) {
        return engine.encodeExit(e);
    };
    l.findEncoder = findEncoder;
    return l;
}

// An MP3 of tones (seconds, Hz) one after the other, and the byte where each tone after the
// first begins (a frame start).
struct ToneFile {
    QString path;
    std::vector<qint64> starts;
};
inline ToneFile makeToneFile(const QString& dir, const std::vector<std::pair<double, int>>& tones) {
    QString expr = QString::number(tones.back().second);
    double end = 0;
    std::vector<double> at;
    for (const auto& t : tones) {
        end += t.first;
        at.push_back(end);
    }
    for (std::size_t i = tones.size() - 1; i-- > 0;)
        expr = QString("if(lt(t\\,%1)\\,%2\\,%3)").arg(at[i]).arg(tones[i].second).arg(expr);
    ToneFile f{dir + "/tones.mp3", {}};
    bool ok = false;
    run("ffmpeg",
        {"-v",
         "error",
         "-y",
         "-f",
         "lavfi",
         "-i",
         QString("aevalsrc=sin(2*PI*%1*t):s=44100:d=%2").arg(expr).arg(end),
         "-ac",
         "2",
         "-c:a",
         "libmp3lame",
         "-b:a",
         "128k",
         "-write_xing",
         "0",
         "-id3v2_version",
         "0",
         "-f",
         "mp3",
         f.path},
        &ok);
    EXPECT_TRUE(ok);
    const QString packets = run("ffprobe", {"-v", "error", "-select_streams", "a", "-show_entries",
                                            "packet=pts_time,pos", "-of", "csv=p=0", f.path});
    for (std::size_t i = 0; i + 1 < at.size(); ++i) {
        for (const QString& line : packets.split('\n')) {
            const QStringList p = line.split(',');
            if (p.size() == 2 && p[0].toDouble() >= at[i] - 1e-6) {
                f.starts.push_back(p[1].toLongLong());
                break;
            }
        }
    }
    EXPECT_EQ(f.starts.size(), tones.size() - 1);
    return f;
}

// tone_split_server.py serving `file` with `titles[i]` at byte file.starts[i]; stopped by
// the destructor.
class ToneServer {
public:
    ToneServer(const QString& dir, const ToneFile& file, const QStringList& titles) {
        const QString portFile = dir + "/port";
        QStringList args{QString(TL_SOURCE_DIR "/tests/recording/tone_split_server.py"), file.path,
                         portFile};
        for (std::size_t i = 0; i < file.starts.size() && i < std::size_t(titles.size()); ++i)
            args << QString("%1:%2").arg(file.starts[i]).arg(titles[qsizetype(i)]);
        server_.start("python3", args);
        EXPECT_TRUE(waitFor([&] { return QFileInfo(portFile).size() > 0; }, 60000));
        QFile pf(portFile);
        pf.open(QIODevice::ReadOnly);
        url = "http://127.0.0.1:" + QString::fromLatin1(pf.readAll()).trimmed() + "/";
    }
    ~ToneServer() {
        server_.kill();
        server_.waitForFinished();
    }
    QString url;

private:
    QProcess server_;
};

} // namespace tl::test
