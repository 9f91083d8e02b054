tunemill_bench(song_bench DEPS song)
