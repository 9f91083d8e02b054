// Build tool: writes the installation archive that setup reads, "data.idx" and the volumes
// "data.001", ..., of at most the given size, from the files named on the command line. A file is
// installed under its own name, or under the name given by --name just before it (a path inside
// the install folder, such as help/en/index.html).
//
// usage: setup_archive [--volume-size BYTES] OUT_FOLDER [--name NAME] FILE...
#include "setup/core/archive.h"
#include "setup/core/texts.h"

#include <cstdlib>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
    uint64_t volume_size = 1440 * 1024; // a 1.44 MB floppy, unless told otherwise
    int i = 1;
    if (i + 1 < argc && std::string(argv[i]) == "--volume-size") {
        char* end = nullptr;
        volume_size = std::strtoull(argv[i + 1], &end, 10);
        if (!end || *end || volume_size == 0) {
            std::cerr << "setup_archive: the volume size must be a positive number of bytes\n";
            return 2;
        }
        i += 2;
    }
    if (argc - i < 2) {
        std::cerr
            << "usage: setup_archive [--volume-size BYTES] OUT_FOLDER [--name NAME] FILE...\n";
        return 2;
    }
    const std::filesystem::path folder = argv[i++];
    std::vector<tunemill::setup::ArchiveEntry> files;
    for (; i < argc; ++i) {
        std::string name;
        if (std::string(argv[i]) == "--name") {
            if (i + 2 >= argc) {
                std::cerr << "setup_archive: --name needs a name and a file\n";
                return 2;
            }
            name = argv[i + 1];
            i += 2;
        }
        const std::filesystem::path file = argv[i];
        files.push_back({file, name.empty() ? file.filename().string() : name});
    }
    try {
        const auto records = tunemill::setup::write_archive(files, folder, volume_size);
        uint64_t total = 0;
        for (const auto& record : records)
            total += record.size;
        std::cout << "setup_archive: " << records.size() << " files, " << total << " bytes in "
                  << folder.string() << "\n";
        return 0;
    } catch (...) {
        std::cerr << "setup_archive: " << tunemill::setup::current_setup_error_text() << "\n";
        return 1;
    }
}
