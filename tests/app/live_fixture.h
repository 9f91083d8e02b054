// What the tests of live playing share: a composer on the null sound device with a MIDI system
// whose ports the test plays into from a thread of its own, songs with instruments made through
// the document, and waiting for the event loop.
#pragma once

#include <QElapsedTimer>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/document/document.h"
#include "app/shell/application.h"
#include "app/shell/main_window.h"
#include "app_fixture.h"
#include "instruments/instrument.h"
#include "platform/audio_device.h"
#include "platform/midi_input.h"
#include "settings/settings.h"
#include "strings/steps_strings.h"

namespace tunemill::test {

// Runs the event loop until the condition holds or five seconds have passed.
inline bool process_until(const std::function<bool()>& done, int limit_ms = 5000) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < limit_ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

inline void process_for(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// MIDI ports on a machine without a MIDI keyboard: the callback is kept for the test to play.
class MidiPorts : public MidiBackend {
  public:
    struct State {
        std::mutex mutex;
        std::vector<std::string> calls;
        Receive receive = nullptr;
        void* context = nullptr;
        int32_t open_code = 0;
    };
    explicit MidiPorts(State& state) : state_(state) {}
    std::vector<std::string> port_names() override { return {"Stage Piano", "Drum Pads"}; }
    int32_t open(uint32_t port, Receive receive, void* context, std::string& error) override {
        std::lock_guard lock(state_.mutex);
        state_.calls.push_back("open " + std::to_string(port));
        if (state_.open_code) {
            error = "port busy";
            return state_.open_code;
        }
        state_.receive = receive;
        state_.context = context;
        return 0;
    }
    void close() override {
        std::lock_guard lock(state_.mutex);
        state_.calls.push_back("close");
        state_.receive = nullptr;
    }

  private:
    State& state_;
};

// A composer with its own windows, on the null sound device.
class LiveTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        settings() = Settings{};
    }
    void start_composer(uint32_t midi_device = NO_MIDI_INPUT) {
        settings().midi_device_id = midi_device;
        ASSERT_TRUE(write_settings());
        Composer::Options options;
        options.splash = false;
        if (!audio_) audio_ = std::make_unique<NullAudioSystem>(audio_devices_);
        options.audio = audio_.get();
        options.offer_recovery = false;
        options.midi_backend = [this] { return std::make_unique<MidiPorts>(ports_); };
        composer_ = std::make_unique<Composer>(options);
        frame_ = composer_->start({});
        frame_->activateWindow();
        QApplication::setActiveWindow(frame_);
    }
    void TearDown() override {
        if (frame_) {
            composer_->document().song_for_engine().modified = false;
            frame_->close();
        }
        composer_.reset();
        audio_.reset();
        AppTest::TearDown();
    }

    // Adds an instrument to the song: looping ones sound until released, one-shots for `ms`.
    size_t add_instrument(const std::string& name, bool loops, uint32_t ms = 300) {
        const uint32_t rate = 8000;
        const uint32_t length = rate * ms / 1000;
        Instrument instrument =
            make_sampled_instrument(name, 10, length, loops ? 0 : NO_LOOP, rate, 1, false);
        size_t index = 0;
        Edit edit;
        edit.name = U_ADD_INSTRUMENT;
        composer_->document().edit(
            edit, [&](EditContext& c) { index = c.add_instrument(std::move(instrument)); });
        return index;
    }

    // Plays MIDI short messages into the open port, from a thread as the MIDI system does.
    void play_into_port(const std::vector<uint32_t>& messages) {
        std::thread midi_thread([this, messages] {
            std::lock_guard lock(ports_.mutex);
            ASSERT_NE(ports_.receive, nullptr);
            uint32_t time = 1;
            for (uint32_t message : messages)
                ports_.receive(ports_.context, message, time++, false);
        });
        midi_thread.join();
    }

    template <typename Window> Window* find_window() const {
        for (QMdiSubWindow* child : frame_->mdi_area()->subWindowList())
            if (auto* window = qobject_cast<Window*>(child->widget())) return window;
        return nullptr;
    }

    // The sound devices of the next start.
    std::vector<NullDeviceOptions> audio_devices_ = {NullDeviceOptions{}};
    std::unique_ptr<NullAudioSystem> audio_;
    MidiPorts::State ports_;
    std::unique_ptr<Composer> composer_;
    MainWindow* frame_ = nullptr;
};

inline uint32_t note_on(uint32_t note) {
    return 0x90 | note << 8 | 100u << 16;
}
inline uint32_t note_off(uint32_t note) {
    return 0x80 | note << 8;
}

} // namespace tunemill::test
