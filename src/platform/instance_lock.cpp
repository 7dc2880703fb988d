#include "platform/instance_lock.h"

#include <QDir>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace tl {

InstanceLock::InstanceLock(const QString& name, const QString& folder) {
    QString dir = folder;
    if (dir.isEmpty()) {
        dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    }
    if (dir.isEmpty() || !QDir(dir).exists()) {
        dir = QStringLiteral("/tmp");
    }
    path_ = QDir(dir).filePath(name);
    const QByteArray native = QFile::encodeName(path_);
    const int fd = ::open(native.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        return;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return;
    }
    fd_ = fd;
}

InstanceLock::~InstanceLock() {
    if (fd_ >= 0) {
        ::flock(fd_, LOCK_UN);
        ::close(fd_);
    }
}

} // namespace tl
