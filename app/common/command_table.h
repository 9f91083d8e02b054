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

// A child window that owns commands of the menu (the pattern window its Edit, Voice, pane and
// Play commands): the main frame asks the active one whether a command is available and checked
// when a popup opens or a key comes, and hands it the command. A command no active window owns
// is grey.
class CommandTarget {
  public:
    virtual ~CommandTarget() = default;
    virtual bool command_enabled(int command, const Song& song) const = 0;
    virtual bool command_checked(int command, const Song& song) const = 0;
    // Carries out a command that command_enabled allowed.
    virtual void run_command(int command) = 0;
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
