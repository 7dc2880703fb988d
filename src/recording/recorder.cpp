#include "recording/recorder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>

namespace tl {

namespace {
// Less free space than this where the file was written: an encoder that died there ran out.
constexpr qint64 kNearlyFull = 1024 * 1024;
} // namespace

Recorder::Recorder(const RecorderSettings& settings, const NowPlaying& now, QString appPath,
                   AutoRecordList autoRecord, Links links)
    : settings_(settings), now_(now), appPath_(std::move(appPath)),
      autoRecord_(std::move(autoRecord)), links_(std::move(links)) {}

QString Recorder::recordingsFolder() const {
    QString folder = settings_.Folder.trimmed().isEmpty() ? appPath_ + QStringLiteral("Recordings/")
                                                          : settings_.Folder;
    if (!folder.endsWith(u'/'))
        folder += u'/';
    return folder;
}

void Recorder::RecLabelClick() {
    // Without a stream the start fails and says so ("Nothing to record").
    if (!recording_)
        StartRecording();
    else
        StopRecording();
    if (links_.refresh)
        links_.refresh();
}

audio::EncoderHandle Recorder::startEncoder(QString& reason, bool paused) {
    const audio::StreamHandle stream = links_.streamHandle ? links_.streamHandle() : 0;
    if (stream == 0) {
        reason = QStringLiteral("Nothing to record: no station is playing");
        return 0;
    }
    const QString encoder = settings_.Encoder;
    const QString ext = RecordingExtension(encoder);
    if (ext.isEmpty()) {
        reason = encoder.isEmpty()
                     ? QStringLiteral("Can't record: no encoder is chosen in the settings")
                     : QStringLiteral("Can't record: unknown encoder \"%1\"").arg(encoder);
        return 0;
    }
    const QString executable = links_.findEncoder ? links_.findEncoder(encoder) : encoder;
    if (executable.isEmpty()) {
        reason = QStringLiteral("Can't start the encoder %1: it was not found").arg(encoder);
        return 0;
    }
    const QString folder = recordingsFolder();
    if (!QDir().mkpath(folder) || !QFileInfo(folder).isWritable()) {
        reason = QStringLiteral("Can't write to the recordings folder %1").arg(folder);
        return 0;
    }
    const QDateTime when = links_.now ? links_.now() : QDateTime::currentDateTime();
    // Before this stream's first title, StreamTitle still holds the previous station's song.
    const bool titled = titleStream_ == stream;
    const QString title = titled ? now_.StreamTitle : QString();
    const QString namePart = titled || now_.StationName.trimmed().isEmpty()
                                 ? ExpandNameTemplate(now_.StreamTitle, now_.Info)
                                 : now_.StationName;
    const QString stem = RecordingTimePrefix(when) + SafeNamePart(namePart);
    const std::optional<QString> path =
        RecordingFilePath(folder, stem, ext, [](const QString& p) { return QFileInfo::exists(p); });
    if (!path) {
        reason = QStringLiteral("Can't record: no free file name in %1").arg(folder);
        return 0;
    }
    const QString bitrate = LimitBitrate(settings_.Bitrate, settings_.LimitBitrate, now_.Bitrate);
    const audio::EncoderHandle handle =
        links_.startEncoder
            ? links_.startEncoder(stream,
                                  EncoderArguments(encoder, executable, bitrate, *path,
                                                   TagsFor(title, now_.StationName, when.date())),
                                  paused)
            : 0;
    if (handle == 0) {
        reason = QStringLiteral("Can't start the encoder %1").arg(encoder);
        return 0;
    }
    file_ = *path;
    program_ = QFileInfo(executable).fileName();
    return handle;
}

bool Recorder::StartRecording() {
    if (recording_)
        return switchFile();
    // An automatic start begins where the matching title stood in the stream, not where the
    // title message reached us (a ring of audio later).
    const bool atTitle = autoStarted_ && links_.handOver;
    QString reason;
    encoder_ = startEncoder(reason, atTitle);
    if (encoder_ != 0 && atTitle && links_.handOver(0, encoder_) == audio::HandOver::Failed) {
        if (links_.stopEncoder)
            links_.stopEncoder(encoder_);
        encoder_ = 0;
        reason = QStringLiteral("Can't start the encoder %1").arg(settings_.Encoder);
    }
    if (encoder_ == 0) {
        fail(reason);
        return false;
    }
    recording_ = true;
    if (links_.showRecording)
        links_.showRecording(true);
    return true;
}

void Recorder::endEncoder(bool keepAutoStarted, bool atTitle) {
    recording_ = false;
    if (encoder_ != 0) {
        const bool placed =
            atTitle && links_.handOver && links_.handOver(encoder_, 0) != audio::HandOver::Failed;
        if (!placed && links_.encoderActive && links_.encoderActive(encoder_) && links_.stopEncoder)
            links_.stopEncoder(encoder_);
    }
    encoder_ = 0;
    if (!keepAutoStarted)
        autoStarted_ = false;
    if (links_.showRecording)
        links_.showRecording(false);
    if (links_.listRecordings)
        links_.listRecordings();
}

void Recorder::StopRecording() {
    endEncoder(false);
}

void Recorder::fail(const QString& reason) {
    recording_ = false;
    autoStarted_ = false;
    encoder_ = 0;
    if (links_.showRecording)
        links_.showRecording(false);
    if (links_.notify && !reason.isEmpty())
        links_.notify(reason);
}

QString Recorder::failureText(const std::optional<audio::EncoderExit>& exit) const {
    if (!exit || !exit->early)
        return {};
    const QString folder = recordingsFolder();
    const qint64 free =
        links_.freeSpace ? links_.freeSpace(folder) : QStorageInfo(folder).bytesAvailable();
    if (free >= 0 && free < kNearlyFull)
        return QStringLiteral("the disk is full");
    const QString program = program_.isEmpty() ? settings_.Encoder : program_;
    QString text = exit->signal != 0
                       ? QStringLiteral("%1 was killed by signal %2").arg(program).arg(exit->signal)
                       : QStringLiteral("%1 exited with status %2").arg(program).arg(exit->status);
    if (!exit->lastLine.empty())
        text += QStringLiteral(": ") + QString::fromUtf8(exit->lastLine).left(200);
    return text;
}

QString Recorder::buryFailed(audio::EncoderHandle encoder, const QString& file) {
    const QString text =
        failureText(links_.encoderExit ? links_.encoderExit(encoder) : std::nullopt);
    if (!text.isEmpty() && !file.isEmpty() && !RecordingHoldsAudio(file))
        QFile::remove(file);
    return text;
}

void Recorder::checkEncoder() {
    if (!recording_ || encoder_ == 0 || !links_.encoderExit)
        return;
    const std::optional<audio::EncoderExit> exit = links_.encoderExit(encoder_);
    if (!exit || !exit->early)
        return;
    const QString text = buryFailed(encoder_, file_);
    encoder_ = 0;
    endEncoder(false);
    if (links_.notify)
        links_.notify(QStringLiteral("Recording stopped: ") + text);
}

bool Recorder::stopIfRecording(const QString& path) {
    if (!recording_ || QDir::cleanPath(path) != QDir::cleanPath(file_))
        return false;
    StopRecording();
    return true;
}

bool Recorder::switchFile() {
    const audio::EncoderHandle old = encoder_;
    const QString oldFile = file_;
    const bool handOver = static_cast<bool>(links_.handOver);
    QString reason;
    const audio::EncoderHandle next = startEncoder(reason, handOver);
    if (next == 0) {
        // The running file is finished; the recording cannot go on.
        endEncoder(false);
        fail(reason);
        return false;
    }
    if (handOver && links_.handOver(old, next) == audio::HandOver::Failed) {
        // Neither can go on: end both rather than leave a paused encoder writing nothing.
        if (links_.stopEncoder)
            links_.stopEncoder(next);
        endEncoder(false);
        fail(QStringLiteral("Can't continue the recording: the encoder did not take over"));
        return false;
    }
    encoder_ = next;
    if (!handOver && links_.encoderActive && links_.encoderActive(old) && links_.stopEncoder)
        links_.stopEncoder(old);
    // The old encoder may have died before the split (a crash, a kill): the new file goes
    // on, but the old one is incomplete and the user is told.
    const QString lost = buryFailed(old, oldFile);
    if (!lost.isEmpty() && links_.notify)
        links_.notify(QStringLiteral("%1 is incomplete: %2")
                          .arg(QFileInfo(oldFile).completeBaseName(), lost));
    if (links_.listRecordings)
        links_.listRecordings();
    return true;
}

void Recorder::SplitRecording() {
    if (recording_ && !autoStarted_)
        switchFile();
}

bool Recorder::IsAutoRecordTitle(const QString& title) const {
    return autoRecord_.IsAutoRecordTitle(title);
}

void Recorder::TitleMessage(const QString& title) {
    titleStream_ = links_.streamHandle ? links_.streamHandle() : 0;
    if (!autoRecord_.exists())
        return;
    if (IsAutoRecordTitle(title)) {
        autoStarted_ = true;
        if (!StartRecording())
            autoStarted_ = false;
    } else if (autoStarted_) {
        // The song ends where the new title stands in the stream.
        endEncoder(false, true);
    }
}

} // namespace tl
