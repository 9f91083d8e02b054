// Opening the instrument browser (F3) on the stock bank: the library built from the bank and an
// instrument folder, the dialog made, filled with its category and shown, then closed. The
// library is rebuilt at every opening, as it is whenever the instrument folder holds no
// instrument file, so each iteration pays the whole cost a user waits for. Runs on Qt's
// offscreen platform unless QT_QPA_PLATFORM is set.
#include <QApplication>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>

#include "app/document/document.h"
#include "app/instruments/instrument_browser_dialog.h"
#include "instruments/library.h"
#include "settings/settings.h"

namespace {

using namespace tunemill;

QApplication& application() {
    static int argc = 1;
    static char name[] = "browser_bench";
    static char* argv[] = {name, nullptr};
    if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QApplication app(argc, argv);
    return app;
}

void BM_OpenBrowserOnStockBank(benchmark::State& state) {
    application();
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / "tunemill-browser-bench";
    std::filesystem::create_directories(folder);
    settings().instrument_folder = folder.string();
    Document document;
    size_t items = 0;
    for (auto _ : state) {
        InstrumentBrowser browser(nullptr, document, BrowserMode::ADD_VOICE);
        browser.show();
        QApplication::processEvents();
        if (!instrument_library().valid()) {
            state.SkipWithError("the stock bank could not be read");
            return;
        }
        items = 0;
        for (uint32_t category = 0; category <= 29; ++category)
            items += instrument_library().items(category).size();
        browser.reject();
    }
    state.counters["library_items"] = double(items);
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_OpenBrowserOnStockBank)->Unit(benchmark::kMillisecond)->MinTime(1.0);

} // namespace
