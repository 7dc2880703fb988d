#pragma once
// The title log Tunelark.log: appended line by line and flushed after every line, so a killed
// process loses nothing already written. Owned by the player window; UI thread only.

#include <QFile>
#include <QString>

namespace tl {

class TitleLog {
public:
    // Opens (or creates) the file for appending. False when it cannot: logging stays off.
    bool open(const QString& path);
    bool isOpen() const { return file_.isOpen(); }
    // Appends one line; a failing write closes the log rather than retrying on every title.
    bool append(const QByteArray& line);
    void close();

private:
    QFile file_;
};

} // namespace tl
