// libsndfile over our own file handle: reads and writes go through File, so that failures are
// the FILE_ERRORs every other reader and writer reports ("Disk full", ...). libsndfile is C: an
// exception must not cross it, so the callbacks keep the first failure and the caller rethrows it
// once libsndfile has returned.
#pragma once

#include <exception>
#include <memory>
#include <sndfile.h>

#include "foundation/file.h"

namespace tunemill {

class SoundFileIo {
  public:
    explicit SoundFileIo(File& file) : file_(file) {}
    SoundFileIo(const SoundFileIo&) = delete;
    SoundFileIo& operator=(const SoundFileIo&) = delete;

    // Opens the file through libsndfile; nullptr when libsndfile refuses it (a file failure on
    // the way is rethrown first).
    SNDFILE* open(int mode, SF_INFO& info);
    // Throws the file failure a callback met, if any.
    void rethrow_failure();

  private:
    static sf_count_t length_of(void* self);
    static sf_count_t seek_to(sf_count_t offset, int whence, void* self);
    static sf_count_t read_to(void* buffer, sf_count_t count, void* self);
    static sf_count_t write_from(const void* buffer, sf_count_t count, void* self);
    static sf_count_t tell_of(void* self);

    File& file_;
    std::exception_ptr failure_;
};

struct SoundFileCloser {
    void operator()(SNDFILE* sound) const { sf_close(sound); }
};
using SoundFileHandle = std::unique_ptr<SNDFILE, SoundFileCloser>;

} // namespace tunemill
