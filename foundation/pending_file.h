// Safe writing: a file is written under a temporary name beside its target and renamed over the
// target only when complete, so a failed or interrupted write never harms the old file. The
// temporary name is ".<name>.tmp-<pid>-<n>": hidden, and telling which process wrote it, so that
// one left by a process that was killed is recognised and removed later.
#pragma once

#include <filesystem>
#include <memory>

#include "foundation/file.h"

namespace tunemill {

// The temporary name beside the target for this process (a counter keeps names apart).
std::filesystem::path temporary_beside(const std::filesystem::path& target);

// Removes from the folder the temporary files of our naming whose writing process no longer
// runs (a save or export that was killed). Files of running processes, of this one, and every
// other file stay. Never throws.
void remove_stale_temporaries(const std::filesystem::path& folder) noexcept;

// A file written under a temporary name that becomes the target only when committed; destroyed
// uncommitted, it is removed and an existing target stays as it was. A symbolic link as target
// is followed (the link stays, its file is replaced); the old file's permissions are kept. The
// constructor refuses a target that is a pipe or a device, and removes stale temporaries of the
// target's folder. Failures to create, flush or rename are FILE_ERRORs naming the target.
class PendingFile {
  public:
    explicit PendingFile(const std::filesystem::path& target);
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    File& file() { return *file_; }
    // Flushes the file to the disk and renames it over the target.
    void commit();

    const std::filesystem::path& target() const { return target_; }
    const std::filesystem::path& temporary() const { return temporary_; }

  private:
    std::filesystem::path target_; // after symbolic links
    std::filesystem::path temporary_;
    std::unique_ptr<File> file_;
    bool committed_ = false;
};

} // namespace tunemill
