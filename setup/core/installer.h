// The copying of an installation: probe and create the install folder, read the index, check
// the free space, copy every file across the volumes with its checksum and time stamp, and
// register the result. Runs on its own thread; the front end answers its questions and receives
// its notices through InstallerUi.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "setup/core/archive.h"
#include "setup/core/places.h"

namespace tunemill::setup {

// What the copying asks of the front end. Called on the copying thread.
class InstallerUi {
  public:
    virtual ~InstallerUi() = default;
    // Questions: the copying goes on once they are answered.
    virtual bool continue_without_space(const std::string& question) = 0; // Yes / No
    virtual bool insert_disk(const std::string& prompt) = 0;              // OK / Cancel
    virtual void show_error(const std::string& message) = 0;
    // Notices: posted, never waited for.
    virtual void copying_started(uint64_t total_bytes) = 0;
    virtual void chunk_copied(uint64_t bytes_copied) = 0;
    virtual void file_started(const std::string& copying_text) = 0;
    virtual void done() = 0;
};

struct DiskSpace {
    uint64_t cluster_size = 0;
    uint64_t free_clusters = 0;
};
// The free space of the file system holding a folder, or nothing when the system does not say.
std::optional<DiskSpace> query_disk_space(const std::filesystem::path& folder);

struct InstallJob {
    std::filesystem::path source; // the folder holding data.idx and the volumes
    std::filesystem::path folder; // where the composer goes
    Places places;                // where the uninstaller goes and the installation registers
    std::function<std::optional<DiskSpace>(const std::filesystem::path&)> disk_space =
        query_disk_space;
};

enum class InstallResult { COMPLETED, ABORTED, FAILED };

class Installer {
  public:
    Installer(InstallJob job, InstallerUi& ui);

    // The copying thread's work, from the probe to the done notice. Never throws: a failure is
    // shown through the front end and cleans up what this run copied.
    InstallResult run();
    // Asks a running copy to stop at the next chunk; what it copied is deleted again.
    void abort() { abort_.store(true); }
    bool completed() const { return completed_.load(); }

    // The place a record of the index is copied to.
    std::filesystem::path destination(const IndexRecord& record) const;

  private:
    void copy_all();
    void copy_file(const IndexRecord& record, VolumeReader& volumes, std::vector<uint8_t>& buffer);
    void delete_copied_files();

    InstallJob job_;
    InstallerUi& ui_;
    std::vector<IndexRecord> records_;
    std::atomic<bool> abort_{false};
    std::atomic<bool> completed_{false};
    uint64_t total_bytes_ = 0;
    uint64_t copied_bytes_ = 0;
};

} // namespace tunemill::setup
