// The copying thread of setup.
#include "setup/core/installer.h"

#include "foundation/errors.h"
#include "setup/core/registration.h"
#include "setup/core/texts.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

namespace tunemill::setup {

namespace fs = std::filesystem;

namespace {

bool equal_ignoring_case(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(uint8_t(x)) == std::tolower(uint8_t(y));
           });
}

// The index keeps no file modes: programs and scripts are recognised by their first bytes.
bool looks_executable(const uint8_t* bytes, size_t count) {
    return (count >= 4 && bytes[0] == 0x7F && bytes[1] == 'E' && bytes[2] == 'L' &&
            bytes[3] == 'F') ||
           (count >= 2 && bytes[0] == '#' && bytes[1] == '!');
}

void set_file_time(const fs::path& path, uint32_t local_seconds) {
    const int64_t utc = time_from_local_seconds(local_seconds);
    timespec times[2];
    times[0].tv_sec = time_t(utc);
    times[0].tv_nsec = 0;
    times[1] = times[0];
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

} // namespace

std::optional<DiskSpace> query_disk_space(const fs::path& folder) {
    struct statvfs info {};
    if (::statvfs(folder.c_str(), &info) != 0) return std::nullopt;
    const uint64_t cluster = info.f_frsize ? info.f_frsize : info.f_bsize;
    if (cluster == 0) return std::nullopt;
    return DiskSpace{cluster, uint64_t(info.f_bavail)};
}

Installer::Installer(InstallJob job, InstallerUi& ui) : job_(std::move(job)), ui_(ui) {}

fs::path Installer::destination(const IndexRecord& record) const {
    if (equal_ignoring_case(record.name, UNINSTALLER_NAME))
        return job_.places.programs / record.name;
    return job_.folder / record.name;
}

InstallResult Installer::run() {
    completed_ = false;
    InstallResult result = InstallResult::ABORTED;
    try {
        copy_all();
        if (completed_) result = InstallResult::COMPLETED;
    } catch (...) {
        ui_.show_error(current_setup_error_text());
        // Nothing of a failed copy is registered; its files go too, as no uninstaller could
        // find them later.
        delete_copied_files();
        result = InstallResult::FAILED;
    }
    ui_.done();
    return result;
}

void Installer::copy_all() {
    // 1. The install folder, made with its parents when missing.
    std::error_code error;
    if (!fs::exists(job_.folder, error)) {
        fs::create_directories(job_.folder, error);
        if (error) throw MISC_ERROR(SS_UNABLE_TO_CREATE_FOLDER);
    }
    if (!fs::is_directory(job_.folder, error)) throw MISC_ERROR(SS_UNABLE_TO_CREATE_FOLDER);

    // 2. The index.
    records_ = read_index(job_.source / INDEX_FILE_NAME);

    // 3. The space needed, counted in whole clusters per file.
    total_bytes_ = 0;
    for (const IndexRecord& record : records_)
        total_bytes_ += record.size;
    if (const auto space = job_.disk_space(job_.folder)) {
        uint64_t needed = 0;
        for (const IndexRecord& record : records_)
            needed += (uint64_t(record.size) + space->cluster_size - 1) / space->cluster_size;
        if (space->free_clusters < needed) {
            const std::string question =
                disk_space_text(space->cluster_size * needed / 1024,
                                space->cluster_size * space->free_clusters / 1024);
            if (!ui_.continue_without_space(question)) return;
        }
    }

    // 4. The copy.
    ui_.copying_started(total_bytes_);
    if (records_.empty()) throw MISC_ERROR(SS_DAMAGED_SETUP_FILES);
    copied_bytes_ = 0;
    VolumeReader volumes(job_.source, [this](uint32_t number) {
        const bool retry = ui_.insert_disk(disk_prompt_text(number));
        if (!retry) abort_ = true;
        return retry && !abort_;
    });
    std::vector<uint8_t> buffer(COPY_CHUNK);
    for (const IndexRecord& record : records_) {
        if (abort_) break;
        copy_file(record, volumes, buffer);
    }
    volumes.close();

    if (abort_) {
        delete_copied_files();
        return;
    }
    completed_ = true;
    register_installation(job_.folder, records_, job_.places);
}

void Installer::copy_file(const IndexRecord& record, VolumeReader& volumes,
                          std::vector<uint8_t>& buffer) {
    const fs::path path = destination(record);
    ui_.file_started(copying_text(path.string()));
    std::error_code error;
    fs::create_directories(path.parent_path(), error);
    // A program that is running keeps its old file; the new one takes its name.
    fs::remove(path, error);
    File out = File::open_for_writing(path);
    Checksum sum;
    bool executable = false;
    uint64_t left = record.size;
    while (left > 0 && !abort_) {
        const size_t chunk = volumes.read_chunk(buffer.data(), left);
        if (chunk == 0) break; // the disk prompt was cancelled
        if (left == record.size) executable = looks_executable(buffer.data(), chunk);
        sum.add(buffer.data(), chunk);
        out.write_exact(buffer.data(), chunk);
        left -= chunk;
        copied_bytes_ += chunk;
        ui_.chunk_copied(copied_bytes_);
    }
    if (left == 0 && !abort_ && sum.value() != record.checksum)
        throw MISC_ERROR(SS_DAMAGED_SETUP_FILES);
    out.close();
    fs::permissions(path, executable ? fs::perms(0755) : fs::perms(0644), error);
    set_file_time(path, record.time);
}

void Installer::delete_copied_files() {
    std::error_code error;
    for (const IndexRecord& record : records_) {
        fs::remove(destination(record), error);
        remove_empty_folders_of(job_.folder, record.name);
    }
    fs::remove(job_.folder, error); // only when empty
}

} // namespace tunemill::setup
