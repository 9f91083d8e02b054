// Build tool: writes the installation archive that setup reads, "data.idx" and the volumes
// "data.001", ..., of at most the given size, from the files named on the command line.
//
// usage: setup_archive [--volume-size BYTES] OUT_FOLDER FILE...
#include "setup/core/archive.h"
#include "setup/core/texts.h"

#include <cstdlib>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
    uint64_t volume_size = 1440 * 1024;   // a 1.44 MB floppy, unless told otherwise
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
        std::cerr << "usage: setup_archive [--volume-size BYTES] OUT_FOLDER FILE...\n";
        return 2;
    }
    const std::filesystem::path folder = argv[i++];
    std::vector<std::filesystem::path> files(argv + i, argv + argc);
    try {
        const auto records = tunemill::setup::write_archive(files, folder, volume_size);
        uint64_t total = 0;
        for (const auto& record : records) total += record.size;
        std::cout << "setup_archive: " << records.size() << " files, " << total << " bytes in " << folder.string()
                  << "\n";
        return 0;
    } catch (...) {
        std::cerr << "setup_archive: " << tunemill::setup::current_setup_error_text() << "\n";
        return 1;
    }
}
