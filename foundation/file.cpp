// POSIX implementation of the file handle.
#include "foundation/file.h"

#include "foundation/errors.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tunemill {

File::~File() {
    if (fd_ >= 0) ::close(fd_);
}

File::File(File&& other) noexcept : fd_(other.fd_), path_(std::move(other.path_)) {
    other.fd_ = -1;
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.fd_;
        path_ = std::move(other.path_);
        other.fd_ = -1;
    }
    return *this;
}

File File::open_for_reading(const std::filesystem::path& path) {
    // Without O_NONBLOCK a named pipe would hold the open until a writer comes; the flag is of
    // no further use once the file is known to be a regular one.
    int fd;
    do
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) throw FILE_ERROR(FILE_ERROR::OPEN, uint32_t(errno), path.string());
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        const int code = errno;
        ::close(fd);
        throw FILE_ERROR(FILE_ERROR::OPEN, uint32_t(code), path.string());
    }
    // A folder opens on POSIX but reads nothing useful: report it as a file that cannot be opened.
    if (S_ISDIR(info.st_mode)) {
        ::close(fd);
        throw FILE_ERROR(FILE_ERROR::OPEN, uint32_t(EISDIR), path.string());
    }
    // A pipe, device or socket would block or never end.
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        throw FILE_ERROR(FILE_ERROR::OPEN, FILE_ERROR::NOT_A_REGULAR_FILE, path.string());
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return File(fd, path);
}

File File::open_for_writing(const std::filesystem::path& path, Disposition disposition) {
    int flags = O_RDWR | O_CLOEXEC;
    switch (disposition) {
    case Disposition::CREATE_ALWAYS:
        flags |= O_CREAT | O_TRUNC;
        break;
    case Disposition::CREATE_NEW:
        flags |= O_CREAT | O_EXCL;
        break;
    case Disposition::OPEN_EXISTING:
        break;
    case Disposition::OPEN_ALWAYS:
        flags |= O_CREAT;
        break;
    }
    int fd;
    do
        fd = ::open(path.c_str(), flags, 0666);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) throw FILE_ERROR(FILE_ERROR::CREATE, uint32_t(errno), path.string());
    return File(fd, path);
}

size_t File::read_some(void* buffer, size_t count) noexcept {
    auto* out = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < count) {
        const ssize_t got = ::read(fd_, out + done, count - done);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += size_t(got);
    }
    return done;
}

void File::read_exact(void* buffer, size_t count) {
    auto* out = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < count) {
        const ssize_t got = ::read(fd_, out + done, count - done);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) throw FILE_ERROR(FILE_ERROR::READ, uint32_t(errno));
        if (got == 0) throw FILE_ERROR(FILE_ERROR::READ, FILE_ERROR::END_OF_FILE);
        done += size_t(got);
    }
}

void File::read_at(uint64_t offset, void* buffer, size_t count) {
    seek(int64_t(offset), Origin::BEGIN);
    read_exact(buffer, count);
}

void File::write_exact(const void* buffer, size_t count) {
    const auto* in = static_cast<const char*>(buffer);
    size_t done = 0;
    while (done < count) {
        const ssize_t put = ::write(fd_, in + done, count - done);
        if (put < 0 && errno == EINTR) continue;
        if (put < 0) throw FILE_ERROR(FILE_ERROR::WRITE, uint32_t(errno));
        if (put == 0) throw FILE_ERROR(FILE_ERROR::WRITE, uint32_t(ENOSPC));
        done += size_t(put);
    }
}

uint64_t File::seek(int64_t distance, Origin origin) {
    const int whence = origin == Origin::BEGIN     ? SEEK_SET
                       : origin == Origin::CURRENT ? SEEK_CUR
                                                   : SEEK_END;
    const off_t at = ::lseek(fd_, off_t(distance), whence);
    if (at < 0) throw FILE_ERROR(FILE_ERROR::SEEK, uint32_t(errno));
    return uint64_t(at);
}

uint64_t File::position() {
    return seek(0, Origin::CURRENT);
}

uint64_t File::size() {
    struct stat info {};
    if (::fstat(fd_, &info) != 0) throw FILE_ERROR(FILE_ERROR::SEEK, uint32_t(errno));
    return uint64_t(info.st_size);
}

void File::sync() {
    if (::fsync(fd_) != 0) throw FILE_ERROR(FILE_ERROR::WRITE, uint32_t(errno));
}

void File::close() {
    if (fd_ < 0) return;
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && errno != EINTR) throw FILE_ERROR(FILE_ERROR::WRITE, uint32_t(errno));
}

} // namespace tunemill
