// The song-to-module export as its callers see it: build the module (the passes in export/),
// encode it in its format, write it safely.
#include "modules/export.h"

#include "foundation/errors.h"
#include "foundation/file.h"
#include "foundation/pending_file.h"
#include "modules/export/exporter.h"

#include <new>

namespace tunemill {

ExportedModule build_module(const Song& song, ModuleFormat format) {
    try {
        return exporting::Exporter(song, format).build();
    } catch (const std::bad_alloc&) {
        throw MEM_ERROR();
    }
}

std::vector<ExportWarning> export_module(const Song& song, File& file, ModuleFormat format) {
    const ExportedModule module = build_module(song, format);
    const std::vector<uint8_t> bytes = encode_module(module);
    file.write_exact(bytes.data(), bytes.size());
    return module.warnings;
}

std::vector<ExportWarning> export_module_file(const Song& song, const std::filesystem::path& path,
                                              ModuleFormat format) {
    const ExportedModule module = build_module(song, format);
    write_file_replacing(path, encode_module(module));
    return module.warnings;
}

void write_file_replacing(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    // Written beside the target and renamed over it, so a failed export leaves no half file.
    PendingFile pending(path);
    pending.file().write_exact(bytes.data(), bytes.size());
    pending.commit();
}

} // namespace tunemill
