#pragma once
// The recorder's pure pieces: the bitrate it records at, the file name of a recording and the
// encoder's argument vector, and the auto-record list. No widgets, no files written.
//
// File names come from stream titles, which are text from the network: every name this file
// builds is one plain entry of the recordings folder (no "/", no control or invisible
// characters, no leading dot, at most 255 bytes of UTF-8), never a path elsewhere.

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tl {

// The bitrate to record at, as the encoder's "-b" value. With `limit` on, a setting above the
// stream's bitrate (`streamBitrate`, a whole number of kbit/s such as "64 kbps") is lowered to
// it. A stream bitrate that is not such a number ("", "1.5 Mbps") leaves the setting; a setting
// that is not a positive whole number falls back to 128.
QString LimitBitrate(const QString& setting, bool limit, const QString& streamBitrate);

// The name template "%TITLE%": the title, then every "%INFO%" in the result replaced by info.
QString ExpandNameTemplate(const QString& title, const QString& info);

// "dd.mm - hh_nn_ss - " of a local time.
QString RecordingTimePrefix(const QDateTime& when);

// A title made fit to stand in a file name: "/", control, format and other invisible
// characters become "_", leading dots and blanks are dropped; an empty result is "No Title".
// Quotes, "$", "`", "|", "%" stay as they are (the name never reaches a shell).
QString SafeNamePart(const QString& text);

// ".mp3" for "lame", ".ogg" for "oggenc2" (compared exactly); empty for anything else.
QString RecordingExtension(const QString& encoder);

// The longest prefix of text whose UTF-8 form has at most maxBytes bytes, cut between code
// points (a surrogate pair is never split).
QString CutToUtf8Bytes(const QString& text, int maxBytes);

// Folder (ending in "/") + stem + ext, the stem cut so that the entry has at most 255 bytes.
// When `taken` says a name is in use, " (2)", " (3)", ... goes before the extension. nullopt
// when no free name was found or the result would not be a direct entry of the folder.
std::optional<QString> RecordingFilePath(const QString& folder, const QString& stem,
                                         const QString& ext,
                                         const std::function<bool(const QString&)>& taken);

// The tags a recording carries: the title split at its first " - " into artist and title
// (the whole title when there is none), the station as album, the date of the recording.
struct RecordingTags {
    QString artist, title, album;
    QDate date;
};
RecordingTags TagsFor(const QString& streamTitle, const QString& stationName, const QDate& date);

// What oggenc is given for a nominal bitrate it cannot reach at 44.1 kHz stereo: the sample
// rate to resample to (0: keep) and whether to mix down to mono. lame adapts by itself.
struct OggShape {
    int resample = 0;
    bool downmix = false;
};
OggShape OggShapeFor(int kbps);

// The encoder's argument vector (no shell): "lame -b B [tags] - FILE" or
// "oggenc2 -b B [shape] [tags] -o FILE -", with `executable` as the program and each tag one
// argument of its own (lame --tt --ta --tl --ty, oggenc -t -a -l -d); empty tags are left out.
// Empty for an encoder setting other than those two.
std::vector<std::string> EncoderArguments(const QString& encoder, const QString& executable,
                                          const QString& bitrate, const QString& file,
                                          const RecordingTags& tags = {});

// Whether a finished recording holds any audio: an MP3 with more than its tag and first
// (information) frame, an Ogg file with a page past its headers. False when unreadable.
bool RecordingHoldsAudio(const QString& path);

// The auto-record list from autorec.txt: each line is a pattern a title contains ("*" + line +
// "*" under the wildcard rules; ASCII letters ignore case). An empty line matches every title;
// a line that is not a valid mask matches nothing. Read once, never written.
class AutoRecordList {
public:
    AutoRecordList() = default; // no list: nothing is recorded automatically
    explicit AutoRecordList(QStringList lines) : lines_(std::move(lines)), exists_(true) {}
    // The list of the file at path; no list when the file cannot be read.
    static AutoRecordList load(const QString& path);

    bool exists() const { return exists_; }
    bool IsAutoRecordTitle(const QString& title) const;

private:
    QStringList lines_;
    bool exists_ = false;
};

} // namespace tl
