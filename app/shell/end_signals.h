// SIGTERM and SIGINT end the composer the orderly way: the handler only writes a byte into a
// pipe, and the user-interface thread, woken by it, runs the end (autosave, then quit) between
// two events, never in the middle of an edit or a save.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <functional>
#include <memory>

namespace tunemill {

class EndSignals : public QObject {
    Q_OBJECT

  public:
    // Installs the handlers; on_signal runs on this object's thread once per signal. Only one
    // instance may live at a time; destroying it puts the previous handlers back.
    explicit EndSignals(std::function<void()> on_signal, QObject* parent = nullptr);
    ~EndSignals() override;

  private:
    std::function<void()> on_signal_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace tunemill
