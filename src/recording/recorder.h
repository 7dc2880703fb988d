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
        // stood in the stream, so each file starts with its own song; either may be 0 (an
        // automatic start or stop at a title). Without it the old encoder is stopped at once
        // and the new one starts unpaused.
        std::function<audio::HandOver(audio::EncoderHandle from, audio::EncoderHandle to)> handOver;
        // How an encoder ended; nullopt while it runs. Without it failures go unnoticed.
        std::function<std::optional<audio::EncoderExit>(audio::EncoderHandle)> encoderExit;
        // Bytes free in a folder; QStorageInfo when empty.
        std::function<qint64(const QString& folder)> freeSpace;
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
    // Polled (a timer of the composition root): an encoder that has exited before its input
    // was closed ends the recording, says why in one notifier line, and its file is kept when
    // it holds audio, removed when not.
    void checkEncoder();
    // Before `path` is deleted: when it is the file being recorded, the recording stops.
    // True when it did.
    bool stopIfRecording(const QString& path);
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
    // keepAutoStarted: a restart; atTitle: the encoder ends where the title stood.
    void endEncoder(bool keepAutoStarted, bool atTitle = false);
    void fail(const QString& reason);
    // The line that says why an encoder stopped, "" when it ended as asked.
    QString failureText(const std::optional<audio::EncoderExit>& exit) const;
    // An encoder that has gone early: removes its file when it holds no audio; the reason.
    QString buryFailed(audio::EncoderHandle encoder, const QString& file);

    const RecorderSettings& settings_;
    const NowPlaying& now_;
    QString appPath_;
    AutoRecordList autoRecord_;
    Links links_;

    bool recording_ = false;
    bool autoStarted_ = false;
    audio::EncoderHandle encoder_ = 0;
    QString file_;
    QString program_; // the encoder program's file name, for messages
    // The stream whose title message came last: a recording of another stream (before its
    // first title) is named after the station, not after the previous station's song.
    audio::StreamHandle titleStream_ = 0;
};

} // namespace tl
