// The thread-local mark of the real-time sections.
#include "platform/realtime_section.h"

namespace tunemill {

namespace {
thread_local RealtimeRule current_rule = RealtimeRule::NONE;
} // namespace

RealtimeRule current_realtime_rule() noexcept {
    return current_rule;
}

RealtimeSection::RealtimeSection(RealtimeRule rule) noexcept : outer_(current_rule) {
    current_rule = rule;
}

RealtimeSection::~RealtimeSection() {
    current_rule = outer_;
}

} // namespace tunemill
