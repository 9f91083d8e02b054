// Recovery files: this copy's autosaves, and the ones left by copies that ended without saving.
#include "app/document/autosave.h"

#include <QByteArray>
#include <QFile>
#include <QSaveFile>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <random>
#include <sys/file.h>
#include <unistd.h>

#include "app/document/document.h"
#include "foundation/path_checks.h"
#include "platform/paths.h"
#include "song/song_lock.h"
#include "storage/song_saver.h"

namespace tunemill {

namespace fs = std::filesystem;

namespace {

constexpr const char* SONG_SUFFIX = ".sn2";
constexpr const char* RECORD_SUFFIX = ".record";
constexpr const char* LOCK_SUFFIX = ".lock";

// Opens (making it when needed) and locks the file; -1 when another process holds it.
int lock_file(const fs::path& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return -1;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Lock files are named "tmw-<pid>-<random>.lock"; the process id, or 0 for other names.
pid_t owner_of(const fs::path& lock) {
    const std::string name = lock.stem().string();
    if (name.rfind("tmw-", 0) != 0) return 0;
    const size_t dash = name.find('-', 4);
    const std::string digits = name.substr(4, dash == std::string::npos ? 0 : dash - 4);
    if (digits.empty() || digits.size() > 9 ||
        digits.find_first_not_of("0123456789") != std::string::npos)
        return 0;
    return pid_t(std::stol(digits));
}

// The lock files of copies that ended without leaving a record to offer (killed before their
// first autosave, or ended by a signal with nothing to save): their owner is gone and nobody
// holds them, so they only pile up.
void remove_stale_locks(const fs::path& folder) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        const fs::path& path = entry.path();
        if (path.extension() != LOCK_SUFFIX) continue;
        fs::path record = path;
        record.replace_extension(RECORD_SUFFIX);
        std::error_code ignored;
        if (fs::exists(record, ignored)) continue; // an orphan to offer: its lock guards it
        const pid_t owner = owner_of(path);
        if (owner <= 0 || ::kill(owner, 0) == 0 || errno != ESRCH) continue;
        const int fd = lock_file(path);
        if (fd < 0) continue;
        fs::remove(path, ignored);
        ::close(fd);
    }
}

// A name no other running copy has: the process id and a random part.
std::string own_name() {
    std::random_device random;
    char name[40];
    std::snprintf(name, sizeof name, "tmw-%d-%08x", int(::getpid()), unsigned(random()));
    return name;
}

std::optional<RecoveryRecord> read_record(const fs::path& record_file) {
    QFile file(QString::fromStdString(record_file.string()));
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    RecoveryRecord record;
    record.record_file = record_file;
    bool has_path = false;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const int blank = line.indexOf(' ');
        if (blank < 0) continue;
        const QByteArray key = line.left(blank);
        const QByteArray value = QByteArray::fromPercentEncoding(line.mid(blank + 1));
        if (key == "path") {
            record.song_path = value.toStdString();
            has_path = true;
        } else if (key == "song-file") {
            record.song_file_flag = value == "1";
        } else if (key == "saved") {
            record.saved = QDateTime::fromString(QString::fromLatin1(value), Qt::ISODate);
        }
    }
    if (!has_path) return std::nullopt;
    return record;
}

} // namespace

fs::path recovery_folder() {
    return user_state_folder() / "tunemill" / "recovery";
}

Autosaver::Autosaver(Document& document, fs::path folder, int interval_seconds, QObject* parent)
    : QObject(parent), document_(document), folder_(std::move(folder)) {
    std::error_code ignored;
    fs::create_directories(folder_, ignored);
    remove_stale_locks(folder_);
    const std::string name = own_name();
    song_file_ = folder_ / (name + SONG_SUFFIX);
    record_file_ = folder_ / (name + RECORD_SUFFIX);
    lock_file_ = folder_ / (name + LOCK_SUFFIX);
    lock_fd_ = lock_file(lock_file_);
    connect(&document_, &Document::changed, this, [this] { saved_since_change_ = false; });
    connect(&document_.history(), &QUndoStack::indexChanged, this,
            [this] { saved_since_change_ = false; });
    connect(&document_, &Document::songSaved, this, &Autosaver::discard);
    connect(&document_, &Document::songReplaced, this, &Autosaver::discard);
    if (interval_seconds > 0) {
        timer_.setInterval(interval_seconds * 1000);
        connect(&timer_, &QTimer::timeout, this, [this] { save_now(); });
        timer_.start();
    }
}

Autosaver::~Autosaver() {
    for (auto& [path, fd] : offered_locks_)
        ::close(fd);
    if (lock_fd_ >= 0) {
        std::error_code ignored;
        fs::remove(lock_file_, ignored);
        ::close(lock_fd_);
    }
}

bool Autosaver::save_now() {
    if (!document_.modified() || saved_since_change_) return false;
    Song& song = document_.song_for_engine();
    // A copy taken under the lock, written outside it: playback never waits for the disk.
    std::optional<Song> copy;
    {
        if (!song.lock.try_lock_for(std::chrono::milliseconds(200))) return false;
        try {
            copy.emplace(song);
        } catch (...) {
            song.lock.unlock();
            return false;
        }
        song.lock.unlock();
    }
    try {
        write_song_file(*copy, song_file_);
    } catch (...) {
        return false; // an autosave never troubles the user; the next one tries again
    }
    QSaveFile record(QString::fromStdString(record_file_.string()));
    if (!record.open(QIODevice::WriteOnly)) return false;
    // Absolute, so that a copy started from another folder recovers it to the same file.
    const std::string path = absolute_path(copy->path).string();
    record.write("path " + QByteArray::fromStdString(path).toPercentEncoding() + "\n");
    record.write(QByteArray("song-file ") + (copy->song_file ? "1" : "0") + "\n");
    record.write("saved " + QDateTime::currentDateTime().toString(Qt::ISODate).toLatin1() + "\n");
    if (!record.commit()) return false;
    saved_since_change_ = true;
    return true;
}

void Autosaver::discard() {
    std::error_code ignored;
    fs::remove(song_file_, ignored);
    fs::remove(record_file_, ignored);
    saved_since_change_ = false;
}

std::vector<RecoveryRecord> Autosaver::orphans() {
    std::vector<RecoveryRecord> found;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder_, error)) {
        const fs::path& path = entry.path();
        if (path.extension() != RECORD_SUFFIX || path == record_file_) continue;
        fs::path lock = path;
        lock.replace_extension(LOCK_SUFFIX);
        fs::path song = path;
        song.replace_extension(SONG_SUFFIX);
        if (!fs::exists(song)) continue;
        const int fd = lock_file(lock);
        if (fd < 0) continue; // its copy still runs, or another starting copy offers it now
        auto record = read_record(path);
        if (!record) {
            ::close(fd);
            continue;
        }
        record->song_file = song;
        record->lock_file = lock;
        offered_locks_.emplace_back(lock, fd);
        found.push_back(std::move(*record));
    }
    std::sort(found.begin(), found.end(),
              [](const RecoveryRecord& a, const RecoveryRecord& b) { return a.saved < b.saved; });
    return found;
}

void Autosaver::release_offer(const RecoveryRecord& record) {
    for (auto at = offered_locks_.begin(); at != offered_locks_.end(); ++at) {
        if (at->first != record.lock_file) continue;
        ::close(at->second);
        offered_locks_.erase(at);
        return;
    }
}

void Autosaver::remove_orphan(const RecoveryRecord& record) {
    std::error_code ignored;
    fs::remove(record.song_file, ignored);
    fs::remove(record.record_file, ignored);
    fs::remove(record.lock_file, ignored);
    release_offer(record);
}

} // namespace tunemill
