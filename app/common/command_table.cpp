// Looking commands up in a target's table.
#include "app/common/command_table.h"

#include <algorithm>

namespace tunemill {

const CommandRecord* CommandTable::find(int id) const {
    auto found = std::find_if(records_.begin(), records_.end(),
                              [id](const CommandRecord& record) { return record.id == id; });
    return found == records_.end() ? nullptr : &*found;
}

bool CommandTable::enabled(int id, const Song& song) const {
    const CommandRecord* record = find(id);
    return record && record->enabled(song);
}

bool CommandTable::checked(int id, const Song& song) const {
    const CommandRecord* record = find(id);
    return record && record->checked(song);
}

bool CommandTable::run(int id) const {
    const CommandRecord* record = find(id);
    if (!record) return false;
    record->run();
    return true;
}

} // namespace tunemill
