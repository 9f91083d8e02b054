// tmw-cli devices [--json]: the sound output devices with the formats each plays at the six
// rates, and the MIDI inputs, as the playback and MIDI keyboard options list them.
#include "cli/cli.h"

#include <iostream>

#include "foundation/string_table.h"
#include "platform/audio_device.h"
#include "platform/midi_input.h"

namespace tunemill::cli {

namespace {

std::vector<std::string> format_names(uint8_t formats) {
    std::vector<std::string> names;
    if (formats & FORMAT_MONO_8) names.push_back("8-bit mono");
    if (formats & FORMAT_STEREO_8) names.push_back("8-bit stereo");
    if (formats & FORMAT_MONO_16) names.push_back("16-bit mono");
    if (formats & FORMAT_STEREO_16) names.push_back("16-bit stereo");
    return names;
}

std::string device_id_text(uint32_t id) {
    return id == DEFAULT_OUTPUT_DEVICE ? std::string("default") : std::to_string(id);
}

Command register_devices(CLI::App& app, Options& common) {
    CLI::App* command =
        app.add_subcommand("devices", "List the sound output devices and the MIDI inputs");
    command->add_flag("--json", common.json, "Print one JSON object");
    return {command, [&common]() {
                return run_operation([&]() {
                    const std::vector<OutputDeviceInfo> outputs =
                        list_output_devices(portaudio_system());
                    MidiInput midi;
                    const std::vector<MidiDeviceInfo>& inputs = midi.devices();
                    if (common.json) {
                        nlohmann::json out = nlohmann::json::array();
                        for (const OutputDeviceInfo& device : outputs) {
                            nlohmann::json formats = nlohmann::json::object();
                            for (size_t r = 0; r < OUTPUT_RATES.size(); ++r)
                                formats[std::to_string(OUTPUT_RATES[r])] =
                                    format_names(device.formats[r]);
                            out.push_back({{"id", device.id},
                                           {"default", device.id == DEFAULT_OUTPUT_DEVICE},
                                           {"name", device.name},
                                           {"format_bytes", device.formats},
                                           {"formats", formats}});
                        }
                        nlohmann::json midi_out = nlohmann::json::array();
                        for (const MidiDeviceInfo& input : inputs)
                            midi_out.push_back({{"id", input.id}, {"name", input.name}});
                        print_json({{"output", out}, {"midi", midi_out}});
                        return;
                    }
                    std::cout << "Output devices:\n";
                    if (outputs.empty())
                        std::cout << "  " << load_string(S_NO_DEVICE_AVAILABLE) << "\n";
                    for (const OutputDeviceInfo& device : outputs) {
                        std::cout << "  " << device_id_text(device.id) << "  " << device.name
                                  << "\n";
                        for (size_t r = 0; r < OUTPUT_RATES.size(); ++r) {
                            const std::vector<std::string> names = format_names(device.formats[r]);
                            if (names.empty()) continue;
                            std::cout << "      " << OUTPUT_RATES[r] << " Hz:";
                            for (size_t i = 0; i < names.size(); ++i)
                                std::cout << (i ? ", " : " ") << names[i];
                            std::cout << "\n";
                        }
                    }
                    std::cout << "MIDI inputs:\n";
                    for (const MidiDeviceInfo& input : inputs) {
                        if (input.id == NO_MIDI_INPUT)
                            std::cout << "  -  " << input.name << "\n";
                        else
                            std::cout << "  " << input.id << "  " << input.name << "\n";
                    }
                });
            }};
}

const CommandRegistration registration("devices", register_devices);

} // namespace

} // namespace tunemill::cli
