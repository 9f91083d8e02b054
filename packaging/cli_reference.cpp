// Writes tmw-cli's manual page and its bash, zsh and fish completion from the program's own
// command tree, so that every command and option they name is one the program has, with the
// program's own description.
//   tmw_cli_reference man|bash|zsh|fish OUT [DATE]
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/app.h"

#ifndef TUNEMILL_VERSION
#define TUNEMILL_VERSION "0"
#endif

namespace {

using namespace tunemill;

struct OptionInfo {
    std::vector<std::string> names; // "--format", "-h"
    std::string value;              // the value's type as the help shows it; empty for a flag
    std::vector<std::string> choices;
    std::string fallback; // the default value, when the help shows one
    std::string description;
};

struct Node {
    std::string path; // "" for the program, "render", "instrument export"
    std::string description;
    std::vector<std::string> positionals; // "IN", "OUT"
    std::vector<std::string> positional_descriptions;
    std::vector<OptionInfo> options;
    std::vector<const Node*> children;
    std::vector<std::string> child_names;
};

std::vector<std::string> choices_of(const std::string& type) {
    const size_t open = type.find('{'), close = type.find('}');
    std::vector<std::string> out;
    if (open == std::string::npos || close == std::string::npos || close < open) return out;
    std::stringstream list(type.substr(open + 1, close - open - 1));
    for (std::string item; std::getline(list, item, ',');)
        out.push_back(item);
    return out;
}

// Every command of the tree, parents before their children.
void walk(const CLI::App& app, const std::string& path, std::vector<Node>& nodes) {
    const size_t index = nodes.size();
    nodes.push_back({path, app.get_description(), {}, {}, {}, {}, {}});
    for (const CLI::Option* option : app.get_options()) {
        if (option->get_positional()) {
            nodes[index].positionals.push_back(option->get_name());
            nodes[index].positional_descriptions.push_back(option->get_description());
            continue;
        }
        OptionInfo info;
        for (const std::string& name : option->get_snames())
            info.names.push_back("-" + name);
        for (const std::string& name : option->get_lnames())
            info.names.push_back("--" + name);
        if (option->get_expected_min() > 0) info.value = option->get_type_name();
        info.choices = choices_of(info.value);
        if (!info.value.empty()) info.fallback = option->get_default_str();
        info.description = option->get_description();
        nodes[index].options.push_back(info);
    }
    for (const CLI::App* child : app.get_subcommands([](const CLI::App*) { return true; }))
        walk(*child, path.empty() ? child->get_name() : path + " " + child->get_name(), nodes);
}

std::vector<Node> command_tree() {
    static CLI::App app;
    static cli::Options options;
    cli::build_app(app, options);
    std::vector<Node> nodes;
    walk(app, "", nodes);
    // Link children by path (the vector no longer moves).
    for (Node& parent : nodes)
        for (const Node& node : nodes) {
            const size_t cut = node.path.rfind(' ');
            const std::string parent_path =
                cut == std::string::npos ? "" : node.path.substr(0, cut);
            if (&node != &parent && !node.path.empty() && parent_path == parent.path) {
                parent.children.push_back(&node);
                parent.child_names.push_back(cut == std::string::npos ? node.path
                                                                      : node.path.substr(cut + 1));
            }
        }
    return nodes;
}

std::string joined(const std::vector<std::string>& items, const std::string& between) {
    std::string out;
    for (const std::string& item : items)
        out += (out.empty() ? "" : between) + item;
    return out;
}

// ---- Manual page ----

std::string roff(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-";
        else
            out += c;
    }
    if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out = "\\&" + out;
    return out;
}

void write_man(std::ostream& out, const std::vector<Node>& nodes, const std::string& date) {
    const Node& root = nodes[0];
    out << ".TH TMW\\-CLI 1 \"" << date << "\" \"Tunemill " TUNEMILL_VERSION
        << "\" \"User Commands\"\n"
        << ".SH NAME\ntmw\\-cli \\- " << roff(root.description) << "\n"
        << ".SH SYNOPSIS\n.B tmw\\-cli\n.I COMMAND\n[\\fIOPTIONS\\fR] [\\fIARGS\\fR]\n.br\n"
        << ".B tmw\\-cli\n.BR \\-\\-help \" | \" \\-\\-version\n"
        << ".SH DESCRIPTION\n"
           "tmw\\-cli is the command-line front end of the Tunemill composer, tmw(1), over the "
           "same core: it shows what song, module and instrument files hold, converts songs and "
           "modules, renders them into sound files, imports samples, lists the stock instrument "
           "bank and plays songs on the sound device.\n.PP\n"
           "Every command keeps one convention: \\fBtmw\\-cli\\fR \\fICOMMAND\\fR "
           "[\\fIoptions\\fR] \\fIARGS\\fR; \\fB\\-\\-json\\fR, where a command has it, prints "
           "one JSON object on standard output. \\fBtmw\\-cli\\fR \\fICOMMAND\\fR "
           "\\fB\\-\\-help\\fR shows the text of this page for one command.\n"
        << ".SH OPTIONS\n";
    for (const OptionInfo& option : root.options) {
        out << ".TP\n.B " << roff(joined(option.names, ", ")) << "\n"
            << roff(option.description) << "\n";
    }
    out << ".SH COMMANDS\n";
    for (size_t i = 1; i < nodes.size(); ++i) {
        const Node& node = nodes[i];
        out << ".SS \"" << roff(node.path);
        if (!node.child_names.empty()) out << " {" << roff(joined(node.child_names, "|")) << "}";
        if (!node.options.empty()) out << " [OPTIONS]";
        for (const std::string& positional : node.positionals)
            out << " " << roff(positional);
        out << "\"\n" << roff(node.description) << "\n";
        for (size_t p = 0; p < node.positionals.size(); ++p)
            out << ".TP\n.I " << roff(node.positionals[p]) << "\n"
                << roff(node.positional_descriptions[p]) << "\n";
        for (const OptionInfo& option : node.options) {
            out << ".TP\n\\fB" << roff(joined(option.names, ", ")) << "\\fR";
            if (!option.value.empty()) out << " \\fI" << roff(option.value) << "\\fR";
            out << "\n" << roff(option.description);
            if (!option.fallback.empty()) out << " (default: " << roff(option.fallback) << ")";
            out << "\n";
        }
    }
    out << ".SH EXIT STATUS\n"
           ".TP\n.B 0\nsuccess\n"
           ".TP\n.B 1\nthe operation failed; exactly one line on standard error gives the "
           "reason, in the current language\n"
           ".TP\n.B 2\na usage error: an unknown command or option, a missing argument, or an "
           "output file whose type is not known (the line names the known types)\n"
           ".TP\n.B 130\n\\fBrender\\fR or \\fBplay\\fR was interrupted with Ctrl-C; "
           "\\fBrender\\fR leaves no file behind\n"
           ".SH ENVIRONMENT\n"
           ".TP\n.BR LC_ALL \", \" LC_MESSAGES \", \" LANG\n"
           "The language of the messages: German for every de* locale, English otherwise.\n"
           ".TP\n.BR XDG_CONFIG_HOME \", \" HOME\n"
           "The composer's settings, which \\fBplay\\fR takes its defaults from, are kept in "
           "\\fI$XDG_CONFIG_HOME/tunemill/\\fR (\\fI~/.config/tunemill/\\fR).\n"
           ".SH FILES\n"
           ".TP\n.I ../share/tunemill/tmill.bnk\n"
           "The stock instrument bank, found from the program's folder: in the share folder of "
           "the installed prefix, in the build tree, or beside the program as \\fBsetup\\fR "
           "installs it.\n"
           ".TP\n.I ../share/tunemill/demos/\n"
           "Demo songs to start from.\n"
           ".SH SEE ALSO\n.BR tmw (1)\n";
}

// ---- Shell completion ----

// The case patterns that step from one command into its subcommand: "render" from the
// program, "instrument export" from "instrument".
std::string step_patterns(const std::vector<Node>& nodes) {
    std::string out;
    for (size_t i = 1; i < nodes.size(); ++i) {
        const std::string& path = nodes[i].path;
        const size_t cut = path.rfind(' ');
        const std::string parent = cut == std::string::npos ? "" : path.substr(0, cut);
        const std::string word = cut == std::string::npos ? path : path.substr(cut + 1);
        out += (out.empty() ? "" : "|") + std::string("\"") + parent + ":" + word + "\"";
    }
    return out;
}

std::vector<std::string> option_words(const Node& node) {
    std::vector<std::string> words;
    for (const OptionInfo& option : node.options)
        for (const std::string& name : option.names)
            words.push_back(name);
    return words;
}

// Options that take a value: the value is completed from its choices, or not at all (numbers,
// names), or as a file name.
void value_cases(std::ostream& out, const std::vector<Node>& nodes, const std::string& indent,
                 const std::function<std::string(const std::string&)>& choices_command,
                 const std::string& none_command) {
    for (const Node& node : nodes)
        for (const OptionInfo& option : node.options) {
            if (option.value.empty()) continue;
            std::string patterns;
            for (const std::string& name : option.names)
                patterns += (patterns.empty() ? "" : "|") + ("\"" + node.path + ":" + name + "\"");
            out << indent << patterns << ") "
                << (option.choices.empty()
                        ? none_command
                        : choices_command(joined(option.choices, " ")) + "; return")
                << " ;;\n";
        }
}

void write_bash(std::ostream& out, const std::vector<Node>& nodes) {
    out << "# bash completion for tmw-cli, written from its command tree -*- shell-script -*-\n"
           "_tmw_cli() {\n"
           "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
           "    local cmdpath= word i\n"
           "    COMPREPLY=()\n"
           "    for ((i = 1; i < COMP_CWORD; i++)); do\n"
           "        word=${COMP_WORDS[i]}\n"
           "        case \"$cmdpath:$word\" in\n"
           "            "
        << step_patterns(nodes)
        << ") cmdpath=${cmdpath:+$cmdpath }$word ;;\n"
           "        esac\n"
           "    done\n"
           "    case \"$cmdpath:$prev\" in\n";
    value_cases(
        out, nodes, "        ",
        [](const std::string& words) {
            return "COMPREPLY=($(compgen -W \"" + words + "\" -- \"$cur\"))";
        },
        "return");
    out << "    esac\n"
           "    local words=\n"
           "    if [[ $cur == -* ]]; then\n"
           "        case \"$cmdpath\" in\n";
    for (const Node& node : nodes)
        out << "            \"" << node.path << "\") words=\"" << joined(option_words(node), " ")
            << "\" ;;\n";
    out << "        esac\n"
           "        COMPREPLY=($(compgen -W \"$words\" -- \"$cur\"))\n"
           "        return\n"
           "    fi\n"
           "    case \"$cmdpath\" in\n";
    for (const Node& node : nodes) {
        if (!node.child_names.empty())
            out << "        \"" << node.path << "\") COMPREPLY=($(compgen -W \""
                << joined(node.child_names, " ") << "\" -- \"$cur\")) ;;\n";
        else if (!node.positionals.empty())
            out << "        \"" << node.path
                << "\") compopt -o filenames 2>/dev/null; COMPREPLY=($(compgen -f -- \"$cur\")) "
                   ";;\n";
    }
    out << "    esac\n"
           "}\n"
           "complete -F _tmw_cli tmw-cli\n";
}

std::string single_quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

void write_zsh(std::ostream& out, const std::vector<Node>& nodes) {
    out << "#compdef tmw-cli\n"
           "# zsh completion for tmw-cli, written from its command tree.\n"
           "_tmw_cli() {\n"
           "    local cmdpath= word i\n"
           "    for ((i = 2; i < CURRENT; i++)); do\n"
           "        word=${words[i]}\n"
           "        case \"$cmdpath:$word\" in\n"
           "            "
        << step_patterns(nodes)
        << ") cmdpath=${cmdpath:+$cmdpath }$word ;;\n"
           "        esac\n"
           "    done\n"
           "    local prev=${words[CURRENT-1]} cur=${words[CURRENT]}\n"
           "    case \"$cmdpath:$prev\" in\n";
    value_cases(
        out, nodes, "        ", [](const std::string& words) { return "compadd -- " + words; },
        "return 1");
    out << "    esac\n"
           "    local -a described\n"
           "    if [[ $cur == -* ]]; then\n"
           "        case \"$cmdpath\" in\n";
    for (const Node& node : nodes) {
        out << "            \"" << node.path << "\") described=(";
        for (const OptionInfo& option : node.options)
            for (const std::string& name : option.names)
                out << " " << single_quoted(name + ":" + option.description);
        out << " ) ;;\n";
    }
    out << "        esac\n"
           "        _describe -t options option described\n"
           "        return\n"
           "    fi\n"
           "    case \"$cmdpath\" in\n";
    for (const Node& node : nodes) {
        if (!node.child_names.empty()) {
            out << "        \"" << node.path << "\") described=(";
            for (const Node* child : node.children) {
                const size_t cut = child->path.rfind(' ');
                const std::string word =
                    cut == std::string::npos ? child->path : child->path.substr(cut + 1);
                out << " " << single_quoted(word + ":" + child->description);
            }
            out << " ); _describe -t commands command described ;;\n";
        } else if (!node.positionals.empty()) {
            out << "        \"" << node.path << "\") _files ;;\n";
        }
    }
    out << "    esac\n"
           "}\n"
           "_tmw_cli \"$@\"\n";
}

void write_fish(std::ostream& out, const std::vector<Node>& nodes) {
    out << "# fish completion for tmw-cli, written from its command tree.\n"
           "complete -c tmw-cli -f\n";
    const Node& root = nodes[0];
    for (const Node& node : nodes) {
        // When this command's words are on the line (and, for a command of the program, no
        // other command of the program).
        std::string condition;
        if (node.path.empty()) {
            condition = "__fish_use_subcommand";
        } else if (node.path.find(' ') == std::string::npos) {
            std::string others;
            for (const std::string& name : root.child_names)
                if (name != node.path) others += (others.empty() ? "" : " ") + name;
            condition = "__fish_seen_subcommand_from " + node.path +
                        "; and not __fish_seen_subcommand_from " + others;
        } else {
            const size_t cut = node.path.rfind(' ');
            condition = "__fish_seen_subcommand_from " + node.path.substr(0, cut) +
                        "; and __fish_seen_subcommand_from " + node.path.substr(cut + 1);
        }
        std::string children_condition = condition;
        if (!node.child_names.empty() && !node.path.empty())
            children_condition +=
                "; and not __fish_seen_subcommand_from " + joined(node.child_names, " ");
        for (const Node* child : node.children) {
            const size_t cut = child->path.rfind(' ');
            const std::string word =
                cut == std::string::npos ? child->path : child->path.substr(cut + 1);
            out << "complete -c tmw-cli -n " << single_quoted(children_condition) << " -a "
                << single_quoted(word) << " -d " << single_quoted(child->description) << "\n";
        }
        for (const OptionInfo& option : node.options) {
            out << "complete -c tmw-cli -n " << single_quoted(condition);
            for (const std::string& name : option.names)
                out << (name.size() == 2 ? " -s " : " -l ")
                    << name.substr(name.size() == 2 ? 1 : 2);
            if (!option.value.empty()) out << " -x";
            if (!option.choices.empty())
                out << " -a " << single_quoted(joined(option.choices, " "));
            out << " -d " << single_quoted(option.description) << "\n";
        }
        if (!node.positionals.empty())
            out << "complete -c tmw-cli -n " << single_quoted(condition) << " -F\n";
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::cerr << "usage: tmw_cli_reference man|bash|zsh|fish OUT [DATE]\n";
        return 2;
    }
    const std::string kind = argv[1];
    const std::vector<Node> nodes = command_tree();
    std::ofstream out(argv[2], std::ios::binary);
    if (kind == "man")
        write_man(out, nodes, argc > 3 ? argv[3] : "");
    else if (kind == "bash")
        write_bash(out, nodes);
    else if (kind == "zsh")
        write_zsh(out, nodes);
    else if (kind == "fish")
        write_fish(out, nodes);
    else {
        std::cerr << "unknown kind " << kind << "\n";
        return 2;
    }
    out.close();
    return out ? 0 : 1;
}
