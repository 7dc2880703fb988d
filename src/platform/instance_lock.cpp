#include "platform/instance_lock.h"

#include <QDir>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tl {

InstanceLock::InstanceLock(const QString& name, const QString& folder) {
    QString dir = folder;
    if (dir.isEmpty()) {
        dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    }
    QString fileName = name;
    if (dir.isEmpty() || !QDir(dir).exists()) {
        dir = QStringLiteral("/tmp");
        fileName += QStringLiteral("-%1").arg(::geteuid());
    }
    path_ = QDir(dir).filePath(fileName);
    const QByteArray native = QFile::encodeName(path_);
    const int fd = ::open(native.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        reason_ = QStringLiteral("cannot open %1: %2")
                      .arg(path_, QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    struct stat info = {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) {
        // Someone else's file: its lock would say nothing about this user's instances.
        reason_ = QStringLiteral("%1 is not a file of this user").arg(path_);
        ::close(fd);
        return;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK) {
            state_ = State::AlreadyRunning;
        } else {
            reason_ = QStringLiteral("cannot lock %1: %2")
                          .arg(path_, QString::fromLocal8Bit(std::strerror(error)));
        }
        return;
    }
    fd_ = fd;
    state_ = State::Acquired;
}

InstanceLock::~InstanceLock() {
    if (fd_ >= 0) {
        ::flock(fd_, LOCK_UN);
        ::close(fd_);
    }
}

} // namespace tl
