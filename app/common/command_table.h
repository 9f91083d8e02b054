// The commands one command target owns (the frame, a pattern window), each as one record: what
// it does, when it is available and when its item shows a check mark. Menus, keys and toolbar
// buttons all ask the same record.
#pragma once

#include <functional>
#include <vector>

namespace tunemill {

struct Song;

struct CommandRecord {
    using Rule = std::function<bool(const Song&)>;

    int id = 0;
    std::function<void()> run;
    Rule enabled = [](const Song&) { return true; };
    Rule checked = [](const Song&) { return false; };
};

class CommandTable {
  public:
    void add(CommandRecord record) { records_.push_back(std::move(record)); }
    // The record of the command, or none when the target does not own it.
    const CommandRecord* find(int id) const;
    bool owns(int id) const { return find(id) != nullptr; }
    // False for a command the target does not own.
    bool enabled(int id, const Song& song) const;
    bool checked(int id, const Song& song) const;
    // Runs the command when the target owns it; returns whether it did.
    bool run(int id) const;

  private:
    std::vector<CommandRecord> records_;
};

} // namespace tunemill
