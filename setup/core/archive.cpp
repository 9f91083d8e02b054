// Reading and writing the installation archive.
#include "setup/core/archive.h"

#include "foundation/errors.h"
#include "setup/core/texts.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <string_view>
#include <sys/stat.h>

namespace tunemill::setup {

namespace fs = std::filesystem;

namespace {

// An index larger than this is no index of ours (it would name over a million files).
constexpr uint64_t INDEX_LIMIT = 64u << 20;

uint32_t read_le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void write_le32(uint8_t* p, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(value >> (8 * i));
}

} // namespace

bool is_install_name(const std::string& name) {
    if (name.empty() || name.size() >= INDEX_NAME_SIZE) return false;
    if (name.find('\\') != std::string::npos || name.find('\0') != std::string::npos) return false;
    size_t start = 0;
    while (true) {
        const size_t end = std::min(name.find('/', start), name.size());
        const std::string_view part(name.data() + start, end - start);
        if (part.empty() || part == "." || part == "..") return false;
        if (end == name.size()) return true;
        start = end + 1;
    }
}

void Checksum::add(const uint8_t* bytes, size_t count) {
    uint32_t h = value_;
    for (size_t i = 0; i < count; ++i) {
        const uint32_t widened = uint32_t(int32_t(int8_t(bytes[i])));
        h = ((h << 1) ^ (h >> 24)) ^ widened;
    }
    value_ = h;
}

uint32_t checksum_of(const uint8_t* bytes, size_t count) {
    Checksum sum;
    sum.add(bytes, count);
    return sum.value();
}

std::string volume_name(uint32_t number) {
    char name[32];
    std::snprintf(name, sizeof name, "data.%03u", number);
    return name;
}

void remove_empty_folders_of(const fs::path& folder, const std::string& name) {
    std::error_code error;
    for (fs::path inner = fs::path(name).parent_path(); !inner.empty(); inner = inner.parent_path())
        if (!fs::remove(folder / inner, error))
            return; // not empty (or not there): its parents are not either
}

std::vector<IndexRecord> parse_index(const std::vector<uint8_t>& image) {
    std::vector<IndexRecord> records;
    const size_t count = image.size() / INDEX_RECORD_SIZE;
    records.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* at = image.data() + i * INDEX_RECORD_SIZE;
        const uint8_t* end = std::find(at, at + INDEX_NAME_SIZE, uint8_t(0));
        IndexRecord record;
        record.name.assign(at, end);
        if (end == at + INDEX_NAME_SIZE || !is_install_name(record.name))
            throw MISC_ERROR(SS_DAMAGED_SETUP_FILES);
        record.size = read_le32(at + 52);
        record.checksum = read_le32(at + 56);
        record.time = read_le32(at + 60);
        records.push_back(std::move(record));
    }
    return records;
}

std::vector<IndexRecord> read_index(const fs::path& path) {
    File file = File::open_for_reading(path);
    const uint64_t size = file.size();
    if (size > INDEX_LIMIT) throw MISC_ERROR(SS_DAMAGED_SETUP_FILES);
    std::vector<uint8_t> image(size_t(size / INDEX_RECORD_SIZE * INDEX_RECORD_SIZE));
    file.read_exact(image.data(), image.size());
    file.close();
    return parse_index(image);
}

std::vector<uint8_t> encode_index(const std::vector<IndexRecord>& records) {
    std::vector<uint8_t> image(records.size() * INDEX_RECORD_SIZE, 0);
    for (size_t i = 0; i < records.size(); ++i) {
        uint8_t* at = image.data() + i * INDEX_RECORD_SIZE;
        const std::string& name = records[i].name;
        std::copy_n(name.begin(), std::min(name.size(), INDEX_NAME_SIZE - 1), at);
        write_le32(at + 52, records[i].size);
        write_le32(at + 56, records[i].checksum);
        write_le32(at + 60, records[i].time);
    }
    return image;
}

uint32_t local_seconds_from_time(int64_t utc_seconds) {
    const time_t t = time_t(utc_seconds);
    tm local{};
    if (!localtime_r(&t, &local)) return uint32_t(utc_seconds);
    return uint32_t(timegm(&local));
}

int64_t time_from_local_seconds(uint32_t local_seconds) {
    const time_t t = time_t(local_seconds);
    tm fields{};
    if (!gmtime_r(&t, &fields)) return local_seconds;
    fields.tm_isdst = -1; // let the zone rules say whether that wall-clock time was summer time
    const time_t utc = mktime(&fields);
    return utc == time_t(-1) ? int64_t(local_seconds) : int64_t(utc);
}

VolumeReader::VolumeReader(fs::path folder, DiskPrompt prompt)
    : folder_(std::move(folder)), prompt_(std::move(prompt)) {}

size_t VolumeReader::read_chunk(uint8_t* buffer, uint64_t left) {
    if (left == 0) return 0;
    while (true) {
        if (!volume_.is_open()) {
            ++counter_;
            const fs::path path = folder_ / volume_name(counter_);
            while (true) {
                try {
                    volume_ = File::open_for_reading(path);
                    break;
                } catch (const FILE_ERROR&) {
                    if (!prompt_ || !prompt_(counter_)) {
                        --counter_; // the same volume is asked for again next time
                        return 0;
                    }
                }
            }
            volume_left_ = volume_.size();
        }
        // An empty or used-up volume gives way to the next one.
        if (volume_left_ == 0) {
            volume_ = File();
            continue;
        }
        const size_t chunk = size_t(std::min<uint64_t>({left, COPY_CHUNK, volume_left_}));
        volume_.read_exact(buffer, chunk);
        volume_left_ -= chunk;
        if (volume_left_ == 0) volume_ = File();
        return chunk;
    }
}

std::vector<IndexRecord> write_archive(const std::vector<fs::path>& files, const fs::path& folder,
                                       uint64_t volume_size) {
    std::vector<ArchiveEntry> entries;
    for (const fs::path& path : files)
        entries.push_back({path, path.filename().string()});
    return write_archive(entries, folder, volume_size);
}

std::vector<IndexRecord> write_archive(const std::vector<ArchiveEntry>& files,
                                       const fs::path& folder, uint64_t volume_size) {
    if (volume_size == 0) volume_size = 1;
    fs::create_directories(folder);
    std::vector<IndexRecord> records;
    uint32_t volume_number = 0;
    File volume;
    uint64_t volume_used = 0;
    std::vector<uint8_t> buffer(64 * 1024);
    for (const ArchiveEntry& entry : files) {
        const fs::path& path = entry.source;
        IndexRecord record;
        record.name = entry.name;
        if (!is_install_name(record.name))
            throw FILE_ERROR(FILE_ERROR::OPEN, uint32_t(ENAMETOOLONG), path.string());
        File in = File::open_for_reading(path);
        const uint64_t size = in.size();
        if (size > UINT32_MAX) throw FILE_ERROR(FILE_ERROR::READ, uint32_t(EFBIG), path.string());
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0)
            throw FILE_ERROR(FILE_ERROR::OPEN, uint32_t(errno), path.string());
        record.size = uint32_t(size);
        record.time = local_seconds_from_time(info.st_mtime);
        Checksum sum;
        uint64_t left = size;
        while (left > 0) {
            if (!volume.is_open() || volume_used == volume_size) {
                if (volume.is_open()) volume.close();
                volume = File::open_for_writing(folder / volume_name(++volume_number));
                volume_used = 0;
            }
            const size_t chunk =
                size_t(std::min<uint64_t>({left, buffer.size(), volume_size - volume_used}));
            in.read_exact(buffer.data(), chunk);
            sum.add(buffer.data(), chunk);
            volume.write_exact(buffer.data(), chunk);
            volume_used += chunk;
            left -= chunk;
        }
        record.checksum = sum.value();
        records.push_back(record);
    }
    if (volume.is_open()) volume.close();
    // Volumes of an earlier, larger archive would be read as the continuation of this one.
    for (uint32_t stale = volume_number + 1; fs::exists(folder / volume_name(stale)); ++stale)
        fs::remove(folder / volume_name(stale));
    const std::vector<uint8_t> image = encode_index(records);
    File index = File::open_for_writing(folder / INDEX_FILE_NAME);
    index.write_exact(image.data(), image.size());
    index.close();
    return records;
}

} // namespace tunemill::setup
