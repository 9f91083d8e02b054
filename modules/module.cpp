// Offering a file to the module formats, and the reading of sample data shared by both formats.
#include "modules/module.h"

#include "foundation/errors.h"
#include "foundation/file.h"
#include "foundation/string_table.h"
#include "modules/formats.h"

namespace tunemill {

std::unique_ptr<ModuleReader> recognise_module(File& file) {
    for (const ModuleFormatInfo& format : module_formats())
        if (std::unique_ptr<ModuleReader> reader = format.recognise(file)) return reader;
    file.seek(0);
    return nullptr;
}

std::unique_ptr<ModuleReader> read_module(File& file) {
    std::unique_ptr<ModuleReader> reader = recognise_module(file);
    if (!reader) throw MISC_ERROR(S_UNKNOWN_SONG_FILE);
    try {
        reader->read(file);
    } catch (const FILE_ERROR& error) {
        if (error.is_end_of_file()) throw LOAD_ERROR(0);
        throw;
    }
    return reader;
}

void convert_sample_sign(const SampleSlot& slot, uint8_t* data, size_t bytes) {
    if (!slot.is_16bit) {
        if (slot.is_signed)
            for (size_t i = 0; i < bytes; ++i)
                data[i] = uint8_t(data[i] + 0x80);
    } else if (!slot.is_signed) {
        // Little-endian 16-bit values: adding 0x8000 flips the top bit of the high byte.
        for (size_t i = 1; i < bytes; i += 2)
            data[i] = uint8_t(data[i] ^ 0x80);
    }
}

void read_sample_data(File& file, const SampleSlot& slot, uint8_t* dest) {
    const uint64_t bytes = slot.data_bytes();
    if (bytes == 0) return;
    if (slot.data_offset + bytes > file.size())
        throw FILE_ERROR(FILE_ERROR::READ, FILE_ERROR::END_OF_FILE);
    file.read_at(slot.data_offset, dest, size_t(bytes));
    convert_sample_sign(slot, dest, size_t(bytes));
}

} // namespace tunemill
