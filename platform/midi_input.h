// MIDI input: the list of MIDI input devices with "(none)" first, opening and closing one, and
// the callback that queues the device's short messages in a ring of 128 and hands each note-on
// and note-off to the target as a key of the song's 84-key range (MIDI note 24 is key 0).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "foundation/error_reporter.h"
#include "platform/spsc_ring.h"

namespace tunemill {

// The device id of no MIDI input ("MidiDeviceId" of a user who never chose one).
constexpr uint32_t NO_MIDI_INPUT = 0xA7D8BBE7;
// Bit of a note parameter that marks a note-off.
constexpr uint32_t MIDI_NOTE_OFF = 0x100;
// MIDI note number of key 0.
constexpr uint32_t MIDI_KEY_OFFSET = 24;

struct MidiDeviceInfo {
    uint32_t id = 0;
    std::string name;
    bool operator==(const MidiDeviceInfo&) const = default;
};

// The note parameter of a MIDI short message (status | data1 << 8 | data2 << 16): the key
// 0..83, with MIDI_NOTE_OFF for a note-off or a note-on of velocity 0; empty for every other
// message and for notes outside the 84 keys. Any channel.
std::optional<uint32_t> midi_note_parameter(uint32_t message);

// Receives the notes. Called on the MIDI system's thread: it must only post them on.
class MidiTarget {
  public:
    virtual ~MidiTarget() = default;
    virtual void midi_note(uint32_t parameter, uint32_t time_stamp) = 0;
};

// The MIDI system below the input: RtMidi for the machine, or a stand-in for tests.
class MidiBackend {
  public:
    virtual ~MidiBackend() = default;
    virtual std::vector<std::string> port_names() = 0;
    // Opens the port with a callback for its messages; 0 on success, else a failure code with
    // its text.
    using Receive = void (*)(void* context, uint32_t message, uint32_t time_stamp, bool more);
    virtual int32_t open(uint32_t port, Receive receive, void* context, std::string& error) = 0;
    virtual void close() = 0;
};

// RtMidi's input; on a system without MIDI (no ALSA sequencer) it has no ports and never opens.
std::unique_ptr<MidiBackend> make_rtmidi_backend();

// One per run. Opened at start-up with "MidiDeviceId" and again when the option changes.
class MidiInput {
  public:
    static constexpr size_t RING_SIZE = 128;

    explicit MidiInput(std::unique_ptr<MidiBackend> backend = make_rtmidi_backend());
    ~MidiInput();
    MidiInput(const MidiInput&) = delete;
    MidiInput& operator=(const MidiInput&) = delete;

    // (NO_MIDI_INPUT, "(none)") first, then one entry per input port; built once.
    const std::vector<MidiDeviceInfo>& devices();

    // Where a failed open is reported; the program goes on without MIDI input, so it is not
    // thrown.
    void set_reporter(ErrorReporter reporter) { reporter_ = std::move(reporter); }

    // Keeps the device when it is the open one; otherwise closes the open one and opens the new
    // one when it is a device of the list (any other id means no MIDI input). A failed open is
    // reported once (MIDI_ERROR) and leaves the input closed.
    void open(uint32_t id);
    void close();
    bool is_open() const { return open_; }
    // The device asked for last (kept even when it could not be opened).
    uint32_t device_id() const { return device_id_; }

    // The receiver of the notes from now on (nullptr: none; the messages are then dropped).
    void set_target(MidiTarget* target) { target_.store(target, std::memory_order_release); }
    MidiTarget* target() const { return target_.load(std::memory_order_acquire); }

    // The callback's work, on the MIDI thread: queue the message unless 127 are pending; when
    // more data follows, stop there; else hand every pending note to the target.
    void receive(uint32_t message, uint32_t time_stamp, bool more);

  private:
    static void receive_thunk(void* context, uint32_t message, uint32_t time_stamp, bool more);

    struct Pending {
        uint32_t message;
        uint32_t time_stamp;
    };

    std::unique_ptr<MidiBackend> backend_;
    ErrorReporter reporter_;
    std::vector<MidiDeviceInfo> devices_;
    bool listed_ = false;
    bool open_ = false;
    uint32_t device_id_ = NO_MIDI_INPUT;
    std::atomic<MidiTarget*> target_{nullptr};
    SpscRing<Pending, RING_SIZE> ring_;
};

} // namespace tunemill
