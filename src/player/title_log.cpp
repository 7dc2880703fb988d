#include "player/title_log.h"

namespace tl {

bool TitleLog::open(const QString& path) {
    close();
    file_.setFileName(path);
    return file_.open(QIODevice::WriteOnly | QIODevice::Append);
}

bool TitleLog::append(const QByteArray& line) {
    if (!file_.isOpen()) {
        return false;
    }
    if (file_.write(line) != line.size() || !file_.flush()) {
        file_.close();
        return false;
    }
    return true;
}

void TitleLog::close() {
    if (file_.isOpen()) {
        file_.close();
    }
}

} // namespace tl
