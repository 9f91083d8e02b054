// Start-up of the composer: launching tmw on a demo song until its main window is shown, as a
// user starts it. Each run is a real process (TMW_STARTUP_PROBE makes it close once the window is
// shown); the time measured is from the launch to the process's end, and the counter "shown_ms"
// is the program's own figure from entering start-up to the shown window. The platform is Qt's
// offscreen one unless QT_QPA_PLATFORM is set (run under xvfb-run for a real X server).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>

namespace {

const std::string PROGRAM = std::string(TUNEMILL_BIN_DIR) + "/tmw";
const std::string DEMO = std::string(TUNEMILL_SOURCE_DIR) + "/data/demos/first-steps.sn2";

// Runs the program once; returns its own start-up figure in ms, or -1 when it failed.
double launch_once() {
    const std::string command = "TMW_STARTUP_PROBE=1 '" + PROGRAM + "' '" + DEMO + "' 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return -1;
    std::string output;
    char buffer[512];
    for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        output.append(buffer, got);
    const int status = ::pclose(pipe);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    const std::string marker = "shown after ";
    const size_t at = output.find(marker);
    return at == std::string::npos ? -1 : std::atof(output.c_str() + at + marker.size());
}

void BM_LaunchToShownWindow(benchmark::State& state) {
    if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    double shown_total = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const double shown = launch_once();
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        if (shown < 0) {
            state.SkipWithError("tmw did not start and close cleanly");
            return;
        }
        shown_total += shown;
        state.SetIterationTime(took.count());
    }
    state.counters["shown_ms"] = shown_total / double(state.iterations());
}
BENCHMARK(BM_LaunchToShownWindow)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace
