// tmw-cli bank list: the instruments of the stock bank beside the program, in file order.
#include "cli/cli.h"

#include <iostream>

#include "foundation/string_table.h"
#include "instruments/bank.h"

namespace tunemill::cli {

namespace {

Command register_bank(CLI::App& app, Options& common) {
    CLI::App* command = app.add_subcommand("bank", "The stock instrument bank");
    command->require_subcommand(1);
    CLI::App* list =
        command->add_subcommand("list", "List the bank's instruments with their categories");
    list->add_flag("--json", common.json, "Print one JSON object");
    return {
        command, [&common]() {
            return run_operation([&] {
                InstrumentBank& bank = instrument_bank();
                const std::vector<BankEntry> directory = bank.directory();
                const std::vector<std::string> names = split_lines(load_string(S_CATEGORY_NAMES));
                auto category_name = [&](uint32_t c) {
                    return c < names.size() && c < CATEGORY_COUNT ? names[c] : load_string(S_NONE);
                };
                nlohmann::json items = nlohmann::json::array();
                for (const BankEntry& entry : directory) {
                    const Instrument instrument = bank.load(entry, entry.trimmed_name());
                    const char* kind = instrument.synthesized() ? "synthesized" : "sampled";
                    if (common.json) {
                        items.push_back({{"name", shown(entry.trimmed_name())},
                                         {"category", entry.category},
                                         {"category_name", category_name(entry.category)},
                                         {"kind", kind}});
                    } else {
                        std::string name = shown(entry.trimmed_name());
                        name.resize(std::max<size_t>(name.size(), 17), ' ');
                        std::cout << name << " " << (entry.category < 10 ? " " : "")
                                  << entry.category << " " << category_name(entry.category) << " ("
                                  << kind << ")\n";
                    }
                }
                if (common.json)
                    print_json({{"bank", bank.path().string()},
                                {"count", directory.size()},
                                {"instruments", items}});
            });
        }};
}

const CommandRegistration registration("bank", register_bank);

} // namespace

} // namespace tunemill::cli
