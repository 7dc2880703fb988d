#pragma once
// The recorder: attaches an external encoder (lame or oggenc2) to the playing stream, one file
// per song, started by the record control or by the auto-record list. Owned by the composition
// root for the whole run; every method runs on the UI thread.
//
// The engine is reached only through Links, so the logic runs in tests without a stream. A
// start that cannot work (no stream, no encoder chosen or found, no folder, the process does
// not start) leaves the recorder idle and says why through notify(); stopping only closes the
// encoder's input, so it never waits for the encoder to finish its file.

#include "audio/engine.h"
#include "common/player_types.h"
#include "recording/recording_names.h"

#include <QDateTime>
#include <QString>

#include <functional>

namespace tl {

class Recorder {
public:
    struct Links {
        // The open stream, 0 when none.
        std::function<audio::StreamHandle()> streamHandle;
        // Starts argv on the stream's decoded samples (held back while paused); 0 when the
        // process cannot start.
        std::function<audio::EncoderHandle(audio::StreamHandle, const std::vector<std::string>&,
                                           bool paused)>
            startEncoder;
        std::function<bool(audio::EncoderHandle)> encoderActive;
        std::function<void(audio::EncoderHandle)> stopEncoder;
        // Ends `from` and lets `to` (started paused) begin where the current title's metadata
        // stood in the stream, so each file starts with its own song. Without it the old
        // encoder is stopped at once and the new one starts unpaused.
        std::function<void(audio::EncoderHandle from, audio::EncoderHandle to)> handOver;
        // The executable for an encoder setting ("lame", "oggenc2"), empty when none is found.
        std::function<QString(const QString& encoder)> findEncoder;
        std::function<QDateTime()> now; // local time; the clock when empty
        std::function<void(const QString& text)> notify;
        // Shows the state: record image "71.png"/"7.png", RecordMI's image, the layout "top".
        std::function<void(bool recording)> showRecording;
        std::function<void()> listRecordings;
        std::function<void()> refresh; // the player's compositor
    };

    // settings and now belong to the player window and outlive the recorder. appPath ends in
    // "/". autoRecord is the list read at start-up.
    Recorder(const RecorderSettings& settings, const NowPlaying& now, QString appPath,
             AutoRecordList autoRecord, Links links);

    bool IsRecording() const { return recording_; }
    bool AutoStarted() const { return autoStarted_; }
    audio::EncoderHandle EncoderHandle() const { return encoder_; }
    // The file of the running (or last) recording.
    const QString& currentFile() const { return file_; }
    const AutoRecordList& autoRecordList() const { return autoRecord_; }

    // The record control and the "Record" menu item: toggles. Without a stream nothing starts
    // and the notifier says why.
    void RecLabelClick();
    // Starts a recording (ending a running one first). False when nothing was started.
    bool StartRecording();
    void StopRecording();
    // After a new title: a manual recording continues in a new file named after it.
    void SplitRecording();
    bool IsAutoRecordTitle(const QString& title) const;
    // Every title message, also a repeated one: a matching title (re)starts an automatic
    // recording, another one ends an automatic recording.
    void TitleMessage(const QString& title);

    // The folder recordings go to: the setting, else appPath + "Recordings/"; ends in "/".
    QString recordingsFolder() const;

private:
    // Builds the file name and starts the encoder; 0 and a reason when it cannot.
    audio::EncoderHandle startEncoder(QString& reason, bool paused);
    // A new file for a new song while recording: false (and idle, with the reason shown) when
    // the new encoder cannot start.
    bool switchFile();
    void endEncoder(bool keepAutoStarted);
    void fail(const QString& reason);

    const RecorderSettings& settings_;
    const NowPlaying& now_;
    QString appPath_;
    AutoRecordList autoRecord_;
    Links links_;

    bool recording_ = false;
    bool autoStarted_ = false;
    audio::EncoderHandle encoder_ = 0;
    QString file_;
};

} // namespace tl
