// MIDI input on RtMidi. Where the system has no MIDI at all (no ALSA sequencer), RtMidi throws
// when it is constructed: the input then simply has no ports, and "(none)" is the whole list.
#include "platform/midi_input.h"

#include <alsa/asoundlib.h>
#include <rtmidi/RtMidi.h>

#include <iostream>

#include "foundation/errors.h"
#include "foundation/string_table.h"

namespace tunemill {

std::optional<uint32_t> midi_note_parameter(uint32_t message) {
    const uint32_t status = message & 0xF0;
    const uint32_t note = (message >> 8) & 0x7F;
    const uint32_t velocity = (message >> 16) & 0x7F;
    if (status != 0x80 && status != 0x90) return std::nullopt;
    if (note < MIDI_KEY_OFFSET || note - MIDI_KEY_OFFSET >= 84) return std::nullopt;
    const uint32_t key = note - MIDI_KEY_OFFSET;
    if (status == 0x90 && velocity > 0) return key;
    return key | MIDI_NOTE_OFF;
}

namespace {

void quiet_alsa(const char*, int, const char*, int, const char*, ...) {}

class RtMidiBackend : public MidiBackend {
  public:
    RtMidiBackend() {
        // The sequencer's absence is no news to the user: ALSA's and RtMidi's own reports of
        // it stay off the terminal.
        snd_lib_error_set_handler(&quiet_alsa);
        std::streambuf* saved = std::cerr.rdbuf(nullptr);
        try {
            input_ = std::make_unique<RtMidiIn>(RtMidi::UNSPECIFIED, "Tunemill");
            input_->setErrorCallback(&RtMidiBackend::on_error, this);
        } catch (const RtMidiError&) {
            input_.reset();
        } catch (const std::bad_alloc&) {
            input_.reset();
        }
        std::cerr.rdbuf(saved);
        std::cerr.clear();
    }
    ~RtMidiBackend() override { close(); }

    std::vector<std::string> port_names() override {
        std::vector<std::string> names;
        if (!input_) return names;
        try {
            const unsigned count = input_->getPortCount();
            for (unsigned port = 0; port < count; ++port)
                names.push_back(input_->getPortName(port));
        } catch (const RtMidiError&) {
        }
        return names;
    }

    int32_t open(uint32_t port, Receive receive, void* context, std::string& error) override {
        if (!input_) {
            error = "No MIDI system is available.";
            return int32_t(RtMidiError::NO_DEVICES_FOUND);
        }
        error_type_ = -1;
        error_text_.clear();
        try {
            receive_ = receive;
            context_ = context;
            elapsed_ = 0;
            // Only channel messages matter: system exclusive, timing and sensing are dropped.
            input_->ignoreTypes(true, true, true);
            input_->setCallback(&RtMidiBackend::on_message, this);
            input_->openPort(port, "Tunemill input");
        } catch (const RtMidiError& failure) {
            error_type_ = int32_t(failure.getType());
            error_text_ = failure.getMessage();
        }
        if (error_type_ >= 0 && error_type_ != int32_t(RtMidiError::WARNING) &&
            error_type_ != int32_t(RtMidiError::DEBUG_WARNING)) {
            error = error_text_;
            close();
            return error_type_ == 0 ? int32_t(RtMidiError::UNSPECIFIED) : error_type_;
        }
        opened_ = true;
        return 0;
    }

    void close() override {
        if (!input_) return;
        try {
            if (opened_) input_->closePort();
            input_->cancelCallback();
        } catch (const RtMidiError&) {
        }
        opened_ = false;
    }

  private:
    static void on_error(RtMidiError::Type type, const std::string& text, void* self) {
        auto* backend = static_cast<RtMidiBackend*>(self);
        backend->error_type_ = int32_t(type);
        backend->error_text_ = text;
    }

    static void on_message(double delta, std::vector<unsigned char>* bytes, void* self) {
        auto* backend = static_cast<RtMidiBackend*>(self);
        backend->elapsed_ += delta;
        if (!bytes || bytes->empty() || !backend->receive_) return;
        uint32_t message = 0;
        for (size_t i = 0; i < bytes->size() && i < 3; ++i)
            message |= uint32_t((*bytes)[i]) << (8 * i);
        // Milliseconds since the port opened, as the device's own time stamps count.
        const uint32_t time_stamp = uint32_t(uint64_t(backend->elapsed_ * 1000.0));
        backend->receive_(backend->context_, message, time_stamp, false);
    }

    std::unique_ptr<RtMidiIn> input_;
    Receive receive_ = nullptr;
    void* context_ = nullptr;
    double elapsed_ = 0;
    bool opened_ = false;
    int32_t error_type_ = -1;
    std::string error_text_;
};

} // namespace

std::unique_ptr<MidiBackend> make_rtmidi_backend() {
    return std::make_unique<RtMidiBackend>();
}

MidiInput::MidiInput(std::unique_ptr<MidiBackend> backend) : backend_(std::move(backend)) {}

MidiInput::~MidiInput() {
    close();
}

const std::vector<MidiDeviceInfo>& MidiInput::devices() {
    if (!listed_) {
        devices_.push_back({NO_MIDI_INPUT, load_string(S_NONE)});
        if (backend_) {
            const std::vector<std::string> names = backend_->port_names();
            for (uint32_t id = 0; id < names.size(); ++id)
                devices_.push_back({id, names[id]});
        }
        listed_ = true;
    }
    return devices_;
}

void MidiInput::open(uint32_t id) {
    if (open_ && id == device_id_) return;
    close();
    device_id_ = id;
    if (id == NO_MIDI_INPUT) return; // no need to ask the MIDI system for its ports
    const uint32_t ports = uint32_t(devices().size() - 1);
    if (id >= ports || !backend_) return;
    std::string error;
    const int32_t code = backend_->open(id, &MidiInput::receive_thunk, this, error);
    if (code != 0) {
        if (reporter_) reporter_(MIDI_ERROR(code, error));
        return;
    }
    open_ = true;
}

void MidiInput::close() {
    if (!open_) return;
    backend_->close();
    open_ = false;
}

void MidiInput::receive(uint32_t message, uint32_t time_stamp, bool more) {
    if (!target()) return;
    ring_.push({message, time_stamp}); // dropped when 127 are pending
    if (more) return;
    while (std::optional<Pending> pending = ring_.pop()) {
        const std::optional<uint32_t> note = midi_note_parameter(pending->message);
        if (!note) continue;
        if (MidiTarget* receiver = target()) receiver->midi_note(*note, pending->time_stamp);
    }
}

void MidiInput::receive_thunk(void* context, uint32_t message, uint32_t time_stamp, bool more) {
    static_cast<MidiInput*>(context)->receive(message, time_stamp, more);
}

} // namespace tunemill
