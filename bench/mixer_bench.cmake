tunemill_bench(mixer_bench DEPS playback)
