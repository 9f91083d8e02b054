// The virtual I/O callbacks that let libsndfile read and write through File.
#include "instruments/sound_file_io.h"

#include <utility>

#include "foundation/errors.h"

namespace tunemill {

namespace {
SoundFileIo& io_of(void* self) {
    return *static_cast<SoundFileIo*>(self);
}
} // namespace

SNDFILE* SoundFileIo::open(int mode, SF_INFO& info) {
    SF_VIRTUAL_IO io{&length_of, &seek_to, &read_to, &write_from, &tell_of};
    // libsndfile starts reading wherever the file stands.
    file_.seek(0);
    SNDFILE* sound = sf_open_virtual(&io, mode, &info, this);
    if (!sound) rethrow_failure();
    return sound;
}

void SoundFileIo::rethrow_failure() {
    if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
}

sf_count_t SoundFileIo::length_of(void* self) {
    SoundFileIo& io = io_of(self);
    try {
        return sf_count_t(io.file_.size());
    } catch (...) {
        if (!io.failure_) io.failure_ = std::current_exception();
        return -1;
    }
}

sf_count_t SoundFileIo::seek_to(sf_count_t offset, int whence, void* self) {
    SoundFileIo& io = io_of(self);
    const File::Origin origin = whence == SEEK_CUR   ? File::Origin::CURRENT
                                : whence == SEEK_END ? File::Origin::END
                                                     : File::Origin::BEGIN;
    try {
        return sf_count_t(io.file_.seek(offset, origin));
    } catch (const FILE_ERROR&) {
        // A seek before the start is libsndfile probing; it copes with the refusal.
        return -1;
    }
}

sf_count_t SoundFileIo::read_to(void* buffer, sf_count_t count, void* self) {
    if (count <= 0) return 0;
    return sf_count_t(io_of(self).file_.read_some(buffer, size_t(count)));
}

sf_count_t SoundFileIo::write_from(const void* buffer, sf_count_t count, void* self) {
    SoundFileIo& io = io_of(self);
    if (count <= 0 || io.failure_) return 0;
    try {
        io.file_.write_exact(buffer, size_t(count));
        return count;
    } catch (...) {
        io.failure_ = std::current_exception();
        return 0;
    }
}

sf_count_t SoundFileIo::tell_of(void* self) {
    SoundFileIo& io = io_of(self);
    try {
        return sf_count_t(io.file_.position());
    } catch (...) {
        return -1;
    }
}

} // namespace tunemill
