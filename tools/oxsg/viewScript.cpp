#include "tools/oxsg/viewScript.h"

#include <sstream>

#include "tools/oxsg/sceneInput.h"
#include "tools/oxsg/viewer.h"

namespace oxsg {

namespace {

struct Name {
    const char* text;
    int value;
};

bool lookUp(const std::string& word, std::initializer_list<Name> names, int& value)
{
    for (const Name& n : names)
        if (word == n.text) {
            value = n.value;
            return true;
        }
    return false;
}

bool number(std::istringstream& in, double& out)
{
    std::string word;
    return in >> word && parseNumber(word.c_str(), out);
}

// What follows the event's name; empty when it is complete.
std::string parseArguments(std::istringstream& in, const std::string& name, ScriptEvent& e)
{
    std::string word;
    int kind = 0;
    const auto is = [&](std::initializer_list<Name> names) {
        if (!lookUp(name, names, kind))
            return false;
        e.kind = ScriptEvent::Kind(kind);
        return true;
    };
    if (is({{"move", ScriptEvent::MOVE}, {"click", ScriptEvent::CLICK}, {"double-click", ScriptEvent::DOUBLE_CLICK}})) {
        if (!number(in, e.x) || !number(in, e.y))
            return name + " needs X and Y";
    } else if (is({{"press", ScriptEvent::PRESS}, {"release", ScriptEvent::RELEASE}})) {
        if (!(in >> word) || !lookUp(word, {{"left", Viewer::LEFT}, {"right", Viewer::RIGHT}, {"middle", Viewer::MIDDLE}},
                                     e.code))
            return name + " needs left, right or middle";
    } else if (name == "scroll") {
        e.kind = ScriptEvent::SCROLL;
        if (!number(in, e.x))
            return "scroll needs a number of steps";
    } else if (name == "key") {
        e.kind = ScriptEvent::KEY;
        if (!(in >> word))
            return "key needs a key";
        if (word.size() == 1 && word[0] > ' ' && word[0] < 127)
            e.code = word[0];
        else if (!lookUp(word, {{"space", ' '}, {"left", Viewer::KEY_LEFT}, {"right", Viewer::KEY_RIGHT},
                                {"escape", Viewer::KEY_ESCAPE}},
                         e.code))
            return "unknown key '" + word + "'";
    } else if (is({{"drop", ScriptEvent::DROP}, {"screenshot", ScriptEvent::SCREENSHOT}})) {
        if (!(in >> e.text))
            return name + " needs a file";
    } else if (name == "quit") {
        e.kind = ScriptEvent::QUIT;
    } else {
        return "unknown event '" + name + "'";
    }
    if (in >> word)
        return "unexpected '" + word + "' after " + name;
    return {};
}

} // namespace

bool parseScript(const std::string& text, std::vector<ScriptEvent>& events, std::string& error)
{
    std::istringstream lines(text);
    std::string line;
    double last = 0;
    for (int number = 1; std::getline(lines, line); ++number) {
        line = line.substr(0, line.find('#'));
        std::istringstream in(line);
        std::string first, name;
        if (!(in >> first))
            continue;
        ScriptEvent e;
        e.line = number;
        const std::string where = std::to_string(number) + ": ";
        if (!parseNumber(first.c_str(), e.seconds) || e.seconds < 0 || e.seconds > 1e6)
            return error = where + "'" + first + "' is not a time in seconds", false;
        if (e.seconds < last)
            return error = where + "time goes back", false;
        if (!(in >> name))
            return error = where + "no event after the time", false;
        if (std::string problem = parseArguments(in, name, e); !problem.empty())
            return error = where + problem, false;
        last = e.seconds;
        events.push_back(std::move(e));
    }
    return true;
}

} // namespace oxsg
