// The self-pipe behind EndSignals.
#include "app/shell/end_signals.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace tunemill {

namespace {

int pipe_ends[2] = {-1, -1};
struct sigaction previous_term {
}, previous_int{};

void on_end_signal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(pipe_ends[1], &byte, 1);
    errno = saved;
}

} // namespace

EndSignals::EndSignals(std::function<void()> on_signal, QObject* parent)
    : QObject(parent), on_signal_(std::move(on_signal)) {
    if (::pipe2(pipe_ends, O_CLOEXEC | O_NONBLOCK) != 0) return;
    notifier_ = std::make_unique<QSocketNotifier>(pipe_ends[0], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] {
        char bytes[16];
        while (::read(pipe_ends[0], bytes, sizeof bytes) > 0) {
        }
        if (on_signal_) on_signal_();
    });
    struct sigaction action {};
    action.sa_handler = on_end_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, &previous_term);
    ::sigaction(SIGINT, &action, &previous_int);
}

EndSignals::~EndSignals() {
    if (!notifier_) return;
    ::sigaction(SIGTERM, &previous_term, nullptr);
    ::sigaction(SIGINT, &previous_int, nullptr);
    notifier_.reset();
    ::close(pipe_ends[0]);
    ::close(pipe_ends[1]);
    pipe_ends[0] = pipe_ends[1] = -1;
}

} // namespace tunemill
