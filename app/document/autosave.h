// Autosave and recovery. While the song is changed, it is written every few minutes into a
// recovery file of this running copy (the user's own file is never touched), beside a small
// record of the song's path and the time. Each running copy holds a lock on a file of its own in
// the recovery folder, so a copy that finds another's files can tell whether their owner still
// runs: the system drops the lock when a process ends, however it ends.
#pragma once

#include <QDateTime>
#include <QObject>
#include <QTimer>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tunemill {

class Document;

// $XDG_STATE_HOME/tunemill/recovery.
std::filesystem::path recovery_folder();

// What a recovery record says.
struct RecoveryRecord {
    std::filesystem::path song_file; // the autosaved song
    std::filesystem::path record_file;
    std::filesystem::path lock_file;
    std::string song_path; // the path the song had (its own name when untitled)
    bool song_file_flag = false;
    QDateTime saved;
};

class Autosaver : public QObject {
    Q_OBJECT

  public:
    // interval_seconds 0: no autosave (the lock is still held, so nothing of ours is offered).
    Autosaver(Document& document, std::filesystem::path folder, int interval_seconds,
              QObject* parent = nullptr);
    ~Autosaver() override;

    // Writes the song now when it changed since the last autosave. Returns whether it wrote.
    bool save_now();
    // The song was saved, replaced after the save prompt, or the program ends normally: this
    // copy's recovery file goes.
    void discard();

    const std::filesystem::path& song_file() const { return song_file_; }
    const std::filesystem::path& record_file() const { return record_file_; }

    // The recovery files of copies that no longer run, oldest first. Each one returned is locked
    // by this copy until release_offer() or take_over(), so two starting copies never offer the
    // same file at once.
    std::vector<RecoveryRecord> orphans();
    void release_offer(const RecoveryRecord& record);
    // Deletes the orphan's files (after Recover or Discard).
    void remove_orphan(const RecoveryRecord& record);

  private:
    Document& document_;
    std::filesystem::path folder_;
    std::filesystem::path song_file_;
    std::filesystem::path record_file_;
    std::filesystem::path lock_file_;
    int lock_fd_ = -1;
    std::vector<std::pair<std::filesystem::path, int>> offered_locks_;
    QTimer timer_;
    bool saved_since_change_ = false;
};

} // namespace tunemill
