// The temporary file beside the target, flushed and renamed over it.
#include "foundation/pending_file.h"

#include "foundation/errors.h"
#include "foundation/path_checks.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace tunemill {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view TEMPORARY_MARK = ".tmp-";

// The writer's process id of a temporary name ".<name>.tmp-<pid>-<n>"; 0 for any other name.
pid_t writer_of(const std::string& name) {
    if (name.size() < 2 || name[0] != '.') return 0;
    const size_t mark = name.rfind(TEMPORARY_MARK);
    if (mark == std::string::npos || mark < 2) return 0;
    const size_t dash = name.find('-', mark + TEMPORARY_MARK.size());
    if (dash == std::string::npos || dash + 1 >= name.size()) return 0;
    const std::string pid =
        name.substr(mark + TEMPORARY_MARK.size(), dash - mark - TEMPORARY_MARK.size());
    const std::string counter = name.substr(dash + 1);
    const auto all_digits = [](const std::string& text) {
        return !text.empty() && text.size() <= 10 &&
               text.find_first_not_of("0123456789") == std::string::npos;
    };
    if (!all_digits(pid) || !all_digits(counter)) return 0;
    const long value = std::stol(pid);
    return value > 0 && value <= 0x7FFFFFFF ? pid_t(value) : 0;
}

bool process_gone(pid_t pid) {
    return ::kill(pid, 0) != 0 && errno == ESRCH;
}

// Makes the rename itself durable; a folder that cannot be flushed does not fail the write, the
// file's own content already is on the disk.
void sync_folder(const fs::path& folder) {
    const int fd =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

fs::path followed(const fs::path& target) {
    std::error_code error;
    if (!fs::is_symlink(target, error)) return target;
    const fs::path resolved = fs::weakly_canonical(target, error);
    return error ? target : resolved;
}

} // namespace

fs::path temporary_beside(const fs::path& target) {
    static std::atomic<uint32_t> counter{0};
    const std::string name = "." + target.filename().string() + std::string(TEMPORARY_MARK) +
                             std::to_string(::getpid()) + "-" +
                             std::to_string(counter.fetch_add(1));
    return target.parent_path() / name;
}

void remove_stale_temporaries(const fs::path& folder) noexcept {
    try {
        std::error_code error;
        const pid_t own = ::getpid();
        for (const fs::directory_entry& entry :
             fs::directory_iterator(folder.empty() ? fs::path(".") : folder, error)) {
            const pid_t writer = writer_of(entry.path().filename().string());
            if (writer == 0 || writer == own) continue;
            std::error_code ignored;
            if (!entry.is_regular_file(ignored) || entry.is_symlink(ignored)) continue;
            if (process_gone(writer)) fs::remove(entry.path(), ignored);
        }
    } catch (...) {
        // A folder that cannot be listed keeps what it holds.
    }
}

PendingFile::PendingFile(const fs::path& target) : target_(followed(target)) {
    refuse_special_file(target_);
    remove_stale_temporaries(target_.parent_path());
    temporary_ = temporary_beside(target_);
    try {
        file_ = std::make_unique<File>(
            File::open_for_writing(temporary_, File::Disposition::CREATE_NEW));
    } catch (const FILE_ERROR& failure) {
        throw FILE_ERROR(failure.kind(), failure.code(), target_.string());
    }
}

PendingFile::~PendingFile() {
    if (committed_) return;
    try {
        if (file_->is_open()) file_->close();
    } catch (const ERROR&) {
    }
    std::error_code ignored;
    fs::remove(temporary_, ignored);
}

void PendingFile::commit() {
    try {
        file_->sync();
        file_->close();
    } catch (const FILE_ERROR& failure) {
        throw FILE_ERROR(failure.kind(), failure.code(), target_.string());
    }
    std::error_code ignored;
    const fs::file_status old = fs::status(target_, ignored);
    if (fs::exists(old)) fs::permissions(temporary_, old.permissions(), ignored);
    if (::rename(temporary_.c_str(), target_.c_str()) != 0)
        throw FILE_ERROR(FILE_ERROR::CREATE, uint32_t(errno), target_.string());
    committed_ = true;
    sync_folder(target_.parent_path());
}

} // namespace tunemill
