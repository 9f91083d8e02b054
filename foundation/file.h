// The file handle: a thin POSIX layer whose failures are FILE_ERRORs carrying errno, so that
// every reader and writer reports the same texts ("Unable to open file %s", "Disk full", ...).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace tunemill {

class File {
  public:
    // How open_for_writing treats an existing or missing file.
    enum class Disposition {
        CREATE_ALWAYS, // create, or truncate an existing file
        CREATE_NEW,    // create; fail if the file exists
        OPEN_EXISTING, // open; fail if missing
        OPEN_ALWAYS,   // open, or create when missing
    };
    enum class Origin { BEGIN, CURRENT, END };

    File() = default;
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Throws FILE_ERROR(OPEN, errno, name); a pipe, device or socket is refused at once (code
    // NOT_A_REGULAR_FILE: "%s is not a regular file") instead of being waited on.
    static File open_for_reading(const std::filesystem::path& path);
    // Throws FILE_ERROR(CREATE, errno, name).
    static File open_for_writing(const std::filesystem::path& path,
                                 Disposition disposition = Disposition::CREATE_ALWAYS);

    // Exactly count bytes or FILE_ERROR(READ); a file that ends early gives the end-of-file code.
    void read_exact(void* buffer, size_t count);
    // As many bytes as are there, up to count; 0 on end or failure. Never throws.
    size_t read_some(void* buffer, size_t count) noexcept;
    // Seek to offset from the start, then read_exact.
    void read_at(uint64_t offset, void* buffer, size_t count);
    // All count bytes or FILE_ERROR(WRITE, errno).
    void write_exact(const void* buffer, size_t count);
    // The new position from the start, or FILE_ERROR(SEEK, errno).
    uint64_t seek(int64_t distance, Origin origin = Origin::BEGIN);
    uint64_t position();
    uint64_t size();
    // Flush to the device (for safe saves); FILE_ERROR(WRITE, errno) on failure.
    void sync();
    // Closing reports a failure of the last writes: FILE_ERROR(WRITE, errno).
    void close();

    bool is_open() const { return fd_ >= 0; }
    const std::filesystem::path& path() const { return path_; }

  private:
    File(int fd, std::filesystem::path path) : fd_(fd), path_(std::move(path)) {}
    int fd_ = -1;
    std::filesystem::path path_;
};

} // namespace tunemill
