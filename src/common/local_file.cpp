#include "common/local_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tl {

QString LocalFile::error() const {
    switch (status) {
    case Status::Ok:
        return {};
    case Status::Missing:
        return QStringLiteral("does not exist");
    case Status::NotRegular:
        return QStringLiteral("is not a regular file");
    case Status::TooLarge:
        return QStringLiteral("is too large");
    case Status::Failed:
        break;
    }
    return QStringLiteral("can't be read");
}

LocalFile readLocalFile(const QString& path, int64_t maxBytes) {
    LocalFile out;
    const QByteArray name = path.toLocal8Bit();
    // O_NONBLOCK: opening a FIFO must not wait for a writer.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        out.status = errno == ENOENT || errno == ENOTDIR ? LocalFile::Status::Missing
                                                         : LocalFile::Status::Failed;
        return out;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        out.status = LocalFile::Status::NotRegular;
        return out;
    }
    if (st.st_size > maxBytes) {
        ::close(fd);
        out.status = LocalFile::Status::TooLarge;
        return out;
    }
    out.bytes.resize(static_cast<qsizetype>(st.st_size));
    qsizetype got = 0;
    // One byte more than the cap tells a file that grew while it was read.
    while (got <= maxBytes) {
        if (got == out.bytes.size())
            out.bytes.resize(got + 65536);
        const ssize_t n =
            ::read(fd, out.bytes.data() + got, static_cast<size_t>(out.bytes.size() - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            out.status = n == 0 ? LocalFile::Status::Ok : LocalFile::Status::Failed;
            break;
        }
        got += n;
    }
    ::close(fd);
    if (got > maxBytes)
        out.status = LocalFile::Status::TooLarge;
    out.bytes.resize(out.status == LocalFile::Status::Ok ? got : 0);
    return out;
}

} // namespace tl
