// Shared pieces of the installer tests: a temporary home with the XDG variables pointed into
// it, file helpers, archives made from given contents, and a front end that records what the
// copying showed and answers as told.
#pragma once

#include "setup/core/archive.h"
#include "setup/core/installer.h"
#include "test_environment.h"

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace tunemill::setup::testing {

namespace fs = std::filesystem;
using tunemill::testing::TemporaryHome;

inline std::string read_all(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

inline void write_all(const fs::path& path, const std::string& contents) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << contents;
}

// Contents with every byte value, so the checksum's sign widening is exercised.
inline std::string pattern_contents(size_t size, unsigned seed) {
    std::string text(size, '\0');
    for (size_t i = 0; i < size; ++i)
        text[i] = char((i * 31 + seed * 17 + (i >> 5)) & 0xFF);
    return text;
}

struct ArchiveFile {
    std::string name;
    std::string contents;
};

// Writes the files into staging/ and an archive of them into source/.
inline std::vector<IndexRecord>
make_archive(const fs::path& root, const std::vector<ArchiveFile>& files, uint64_t volume_size) {
    std::vector<ArchiveEntry> entries;
    for (const ArchiveFile& file : files) {
        write_all(root / "staging" / file.name, file.contents);
        entries.push_back({root / "staging" / file.name, file.name});
    }
    return write_archive(entries, root / "source", volume_size);
}

// The front end of the tests: records every call, answers the questions as set.
class RecordingUi : public InstallerUi {
  public:
    bool answer_space = true;
    int disk_answers_ok = 0; // how many disk prompts are answered OK before Cancel
    std::function<void(uint32_t)> before_disk_answer;

    std::vector<std::string> questions, prompts, errors, lines;
    std::vector<uint64_t> positions;
    std::optional<uint64_t> total;
    int done_count = 0;

    bool continue_without_space(const std::string& question) override {
        questions.push_back(question);
        return answer_space;
    }
    bool insert_disk(const std::string& prompt) override {
        prompts.push_back(prompt);
        if (disk_answers_ok <= 0) return false;
        --disk_answers_ok;
        if (before_disk_answer) before_disk_answer(uint32_t(prompts.size()));
        return true;
    }
    void show_error(const std::string& message) override { errors.push_back(message); }
    void copying_started(uint64_t total_bytes) override { total = total_bytes; }
    void chunk_copied(uint64_t copied) override { positions.push_back(copied); }
    void file_started(const std::string& line) override { lines.push_back(line); }
    void done() override { ++done_count; }
};

} // namespace tunemill::setup::testing
