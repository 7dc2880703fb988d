#include "recording/recorder.h"

#include <QDir>
#include <QFileInfo>

namespace tl {

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
    const QString stem =
        RecordingTimePrefix(when) + SafeNamePart(ExpandNameTemplate(now_.StreamTitle, now_.Info));
    const std::optional<QString> path =
        RecordingFilePath(folder, stem, ext, [](const QString& p) { return QFileInfo::exists(p); });
    if (!path) {
        reason = QStringLiteral("Can't record: no free file name in %1").arg(folder);
        return 0;
    }
    const QString bitrate = LimitBitrate(settings_.Bitrate, settings_.LimitBitrate, now_.Bitrate);
    const audio::EncoderHandle handle =
        links_.startEncoder
            ? links_.startEncoder(stream, EncoderArguments(encoder, executable, bitrate, *path),
                                  paused)
            : 0;
    if (handle == 0) {
        reason = QStringLiteral("Can't start the encoder %1").arg(encoder);
        return 0;
    }
    file_ = *path;
    return handle;
}

bool Recorder::StartRecording() {
    if (recording_)
        return switchFile();
    QString reason;
    encoder_ = startEncoder(reason, false);
    if (encoder_ == 0) {
        fail(reason);
        return false;
    }
    recording_ = true;
    if (links_.showRecording)
        links_.showRecording(true);
    return true;
}

void Recorder::endEncoder(bool keepAutoStarted) {
    recording_ = false;
    if (encoder_ != 0 && links_.encoderActive && links_.encoderActive(encoder_) &&
        links_.stopEncoder)
        links_.stopEncoder(encoder_);
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

bool Recorder::switchFile() {
    const audio::EncoderHandle old = encoder_;
    const bool handOver = static_cast<bool>(links_.handOver);
    QString reason;
    const audio::EncoderHandle next = startEncoder(reason, handOver);
    if (next == 0) {
        // The running file is finished; the recording cannot go on.
        endEncoder(false);
        fail(reason);
        return false;
    }
    encoder_ = next;
    if (handOver)
        links_.handOver(old, next);
    else if (links_.encoderActive && links_.encoderActive(old) && links_.stopEncoder)
        links_.stopEncoder(old);
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
    if (!autoRecord_.exists())
        return;
    if (IsAutoRecordTitle(title)) {
        autoStarted_ = true;
        if (!StartRecording())
            autoStarted_ = false;
    } else if (autoStarted_) {
        StopRecording();
    }
}

} // namespace tl
