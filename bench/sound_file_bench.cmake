# Sample files through libsndfile (import) and the FLAC and Ogg Vorbis export of the demo songs.
if(TARGET storage)
  tunemill_bench(sound_file_bench DEPS playback instruments storage loading)
endif()
