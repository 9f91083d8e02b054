tunemill_bench(render_bench DEPS playback storage modules)
