// The installation archive: the index "data.idx" of 64-byte records (name, size, checksum, time
// stamp) and the volumes "data.001", "data.002", ... holding the files' contents back to back,
// cut at any size. Shared by setup, which reads it, and the build tool that writes it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "foundation/file.h"

namespace tunemill::setup {

constexpr size_t INDEX_RECORD_SIZE = 64;
constexpr size_t INDEX_NAME_SIZE = 52;
// Volumes are read in chunks of at most this many bytes.
constexpr size_t COPY_CHUNK = 2048;
constexpr const char* INDEX_FILE_NAME = "data.idx";
// The uninstaller travels in the archive under this name and goes to the programs folder.
constexpr const char* UNINSTALLER_NAME = "tmuninst";

struct IndexRecord {
    std::string name; // a path inside the install folder: plain names joined by '/'
    uint32_t size = 0;
    uint32_t checksum = 0;
    uint32_t time = 0; // seconds since 1970-01-01 00:00 on the local clock of the archive's maker
    bool operator==(const IndexRecord&) const = default;
};

// The checksum of a file: h = (h << 1 ^ h >> 24) ^ b for every byte, b widened as a signed byte.
class Checksum {
  public:
    void add(const uint8_t* bytes, size_t count);
    uint32_t value() const { return value_; }

  private:
    uint32_t value_ = 0;
};
uint32_t checksum_of(const uint8_t* bytes, size_t count);

// "data.001" for 1.
std::string volume_name(uint32_t number);

// Whether a name can only ever mean a file inside the install folder: plain names (not empty,
// ".", "..", nor holding a backslash or a zero byte) joined by single '/', shorter than the
// record's name field. The help pages, say, travel as "help/en/index.html".
bool is_install_name(const std::string& name);

// After the file folder/name was removed: removes the folders of the name that it left empty,
// innermost first ("help/en", then "help"), never the folder itself.
void remove_empty_folders_of(const std::filesystem::path& folder, const std::string& name);

// The records of an index image: its size divided by 64, rounded down; the bytes beyond the last
// whole record are not looked at. Throws MISC_ERROR(damaged files) for a record whose name is
// unterminated or not an install name, since such a name would reach outside the install folder.
std::vector<IndexRecord> parse_index(const std::vector<uint8_t>& image);
// Reads and parses the index file. Throws FILE_ERROR when it cannot be opened or read.
std::vector<IndexRecord> read_index(const std::filesystem::path& file);
std::vector<uint8_t> encode_index(const std::vector<IndexRecord>& records);

// Local wall-clock seconds for a file time and back, as the index keeps them.
uint32_t local_seconds_from_time(int64_t utc_seconds);
int64_t time_from_local_seconds(uint32_t local_seconds);

// Reads the contents of the files in index order across the volumes of a folder. A volume is
// opened when the first chunk needs it; a volume that cannot be opened is asked for through the
// prompt (true: try again, false: give up).
class VolumeReader {
  public:
    using DiskPrompt = std::function<bool(uint32_t volume_number)>;
    VolumeReader(std::filesystem::path folder, DiskPrompt prompt);

    // The next chunk of a file with left bytes still to read: min(left, 2048, left of volume)
    // bytes into buffer (of at least COPY_CHUNK bytes). Returns 0 when the prompt gave up.
    // Throws FILE_ERROR(READ) on a short read.
    size_t read_chunk(uint8_t* buffer, uint64_t left);
    void close() { volume_ = File(); }

  private:
    std::filesystem::path folder_;
    DiskPrompt prompt_;
    uint32_t counter_ = 0;
    File volume_;
    uint64_t volume_left_ = 0;
};

// A file for the archive and the name it is installed under.
struct ArchiveEntry {
    std::filesystem::path source;
    std::string name;
};

// Writes an archive of the given files (in this order) into folder: data.idx and volumes of at
// most volume_size bytes. Returns the records. Throws FILE_ERROR(ENAMETOOLONG) for a name that is
// not an install name.
std::vector<IndexRecord> write_archive(const std::vector<ArchiveEntry>& files,
                                       const std::filesystem::path& folder, uint64_t volume_size);
// The same with each file under its own name.
std::vector<IndexRecord> write_archive(const std::vector<std::filesystem::path>& files,
                                       const std::filesystem::path& folder, uint64_t volume_size);

} // namespace tunemill::setup
