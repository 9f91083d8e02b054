// The compact event texts of the song and storage tests.
#include "event_text.h"

#include <sstream>
#include <stdexcept>

namespace tunemill::testing {

std::vector<Event> events(const std::string& text) {
    std::vector<Event> result;
    std::istringstream words(text);
    std::string word;
    while (words >> word) {
        const auto at = word.find('@');
        if (at == std::string::npos) throw std::invalid_argument(word);
        Event e;
        e.tick = Tick(std::stoul(word.substr(at + 1)));
        const std::string head = word.substr(0, at);
        auto number = [&](size_t prefix) { return uint8_t(std::stoi(head.substr(prefix))); };
        if (head.rfind("on", 0) == 0) {
            e.kind = NOTE_ON;
            e.param1 = number(2);
        } else if (head.rfind("off", 0) == 0) {
            e.kind = NOTE_OFF;
            e.param1 = number(3);
        } else if (head.rfind("rel", 0) == 0) {
            e.kind = RELEASE_MARK;
            e.param1 = number(3);
        } else if (head.rfind("vol", 0) == 0) {
            e.kind = VOLUME;
            e.param1 = number(3);
        } else if (head.rfind("bal", 0) == 0) {
            e.kind = BALANCE;
            e.param1 = number(3);
        } else if (head.rfind("port", 0) == 0) {
            const auto gt = head.find('>'), colon = head.find(':');
            e.kind = PORTAMENTO;
            e.param1 = uint8_t(std::stoi(head.substr(4, gt - 4)));
            e.param2 = uint8_t(std::stoi(head.substr(gt + 1, colon - gt - 1)));
            e.param3 = uint8_t(std::stoi(head.substr(colon + 1)));
        } else {
            throw std::invalid_argument(word);
        }
        result.push_back(e);
    }
    return result;
}

std::string describe(const std::vector<Event>& events) {
    std::ostringstream out;
    for (size_t i = 0; i < events.size(); ++i) {
        const Event& e = events[i];
        if (i) out << ' ';
        switch (e.kind) {
        case NOTE_ON:
            out << "on" << int(e.param1);
            break;
        case NOTE_OFF:
            out << "off" << int(e.param1);
            break;
        case RELEASE_MARK:
            out << "rel" << int(e.param1);
            break;
        case VOLUME:
            out << "vol" << int(e.param1);
            break;
        case BALANCE:
            out << "bal" << int(e.param1);
            break;
        case PORTAMENTO:
            out << "port" << int(e.param1) << '>' << int(e.param2) << ':' << int(e.param3);
            break;
        default:
            out << "kind" << int(e.kind) << '/' << int(e.param1);
            break;
        }
        out << '@' << e.tick;
    }
    return out.str();
}

} // namespace tunemill::testing
