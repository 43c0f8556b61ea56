#include "platform/core/oxDriverDatabase.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <strings.h>

#include "platform/core/oxContentStream.h"
#include "platform/core/oxFiles.h"
#include "platform/core/oxOutput.h"
#include "platform/core/oxStrings.h"
#include "platform/core/oxRegistry.h"

namespace Kel::Core {

namespace {
constexpr uint64_t kMaxFileSize = 16u << 20;
// Deeper nesting or longer conditions are no configuration anyone writes; the limits bound
// the recursion of parsing, evaluating and destroying a condition.
constexpr int kMaxDepth = 64;
constexpr int kMaxTerms = 1000;

bool sameName(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

bool isIdentStart(char c)
{
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
}

bool isIdentChar(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.';
}

// Reads a whole text as a number; booleans count as 1 and 0.
bool asNumber(std::string_view text, double& out)
{
    bool b = false;
    if (sameName(text, "true") || sameName(text, "false")) {
        oxRegistry::parseBool(text, b);
        out = b ? 1.0 : 0.0;
        return true;
    }
    std::string s(oxTrim(text));
    if (s.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    double d = std::strtod(s.c_str(), &end);
    if (*end || errno || !std::isfinite(d))
        return false;
    out = d;
    return true;
}

// A directive word at the start of a line: the rest after it, or null when the line does not
// start with the word followed by a space or its end.
bool directive(std::string_view line, std::string_view word, std::string_view& rest)
{
    if (line.size() < word.size() || !sameName(line.substr(0, word.size()), word))
        return false;
    if (line.size() > word.size() && !std::isspace(static_cast<unsigned char>(line[word.size()])))
        return false;
    rest = oxTrim(line.substr(word.size()));
    return true;
}
} // namespace

// A condition, parsed once at load: a tree of and/or/not over comparisons and truths.
struct oxDriverCondition {
    enum Op { kOr, kAnd, kNot, kCompare, kTruth, kLiteral };
    enum Compare { kEq, kNe, kLt, kLe, kGt, kGe };
    struct Operand {
        bool isProperty = false;
        std::string text; // the property's name, or the literal's value
    };
    Op op = kLiteral;
    Compare compare = kEq;
    Operand a, b;
    std::unique_ptr<oxDriverCondition> left, right;

    bool evaluate(const oxDriverDatabase& db) const;

private:
    static bool value(const oxDriverDatabase& db, const Operand& o, std::string& out);
};

bool oxDriverCondition::value(const oxDriverDatabase& db, const Operand& o, std::string& out)
{
    if (!o.isProperty) {
        out = o.text;
        return true;
    }
    const oxDriverDatabase::Property* p = db.property(o.text);
    if (!p)
        return false;
    out = p->value;
    return true;
}

bool oxDriverCondition::evaluate(const oxDriverDatabase& db) const
{
    switch (op) {
    case kOr:
        return left->evaluate(db) || right->evaluate(db);
    case kAnd:
        return left->evaluate(db) && right->evaluate(db);
    case kNot:
        return !left->evaluate(db);
    case kLiteral:
    case kTruth: {
        std::string v;
        if (!value(db, a, v))
            return false;
        double d = 0;
        if (asNumber(v, d))
            return d != 0.0;
        return !v.empty();
    }
    case kCompare: {
        std::string x, y;
        if (!value(db, a, x) || !value(db, b, y))
            return false;
        double dx = 0, dy = 0;
        int order = 0;
        if (asNumber(x, dx) && asNumber(y, dy))
            order = dx < dy ? -1 : dx > dy ? 1 : 0;
        else {
            int c = strcasecmp(x.c_str(), y.c_str());
            order = c < 0 ? -1 : c > 0 ? 1 : 0;
        }
        switch (compare) {
        case kEq: return order == 0;
        case kNe: return order != 0;
        case kLt: return order < 0;
        case kLe: return order <= 0;
        case kGt: return order > 0;
        case kGe: return order >= 0;
        }
    }
    }
    return false;
}

namespace {

// Recursive descent over one condition's text; the first problem found is kept.
class ConditionParser {
public:
    explicit ConditionParser(std::string_view text) : _text(text) {}

    std::unique_ptr<oxDriverCondition> parse(std::string& problem)
    {
        next();
        auto c = parseOr(0);
        if (c && _kind != kEnd)
            fail("unexpected '" + std::string(_token) + "' in the condition");
        if (!_problem.empty()) {
            problem = _problem;
            return nullptr;
        }
        return c;
    }

private:
    enum Kind { kEnd, kIdent, kNumber, kString, kOperator, kOpen, kClose, kBad };
    using Node = std::unique_ptr<oxDriverCondition>;

    void fail(const std::string& problem)
    {
        if (_problem.empty())
            _problem = problem;
    }

    void next()
    {
        while (_pos < _text.size() && std::isspace(static_cast<unsigned char>(_text[_pos])))
            ++_pos;
        size_t start = _pos;
        if (_pos >= _text.size()) {
            _kind = kEnd;
            _token = {};
            return;
        }
        char c = _text[_pos];
        if (isIdentStart(c)) {
            while (_pos < _text.size() && isIdentChar(_text[_pos]))
                ++_pos;
            _kind = kIdent;
        } else if (std::isdigit(static_cast<unsigned char>(c)) || ((c == '-' || c == '+' || c == '.') && _pos + 1 < _text.size() &&
                                                                    (std::isdigit(static_cast<unsigned char>(_text[_pos + 1])) || _text[_pos + 1] == '.'))) {
            ++_pos;
            while (_pos < _text.size() && (std::isalnum(static_cast<unsigned char>(_text[_pos])) || _text[_pos] == '.' ||
                                           ((_text[_pos] == '-' || _text[_pos] == '+') && (_text[_pos - 1] == 'e' || _text[_pos - 1] == 'E'))))
                ++_pos;
            _kind = kNumber;
        } else if (c == '"') {
            size_t close = _text.find('"', _pos + 1);
            if (close == std::string_view::npos) {
                _pos = _text.size();
                _kind = kBad;
                _token = _text.substr(start);
                fail("unterminated string in the condition");
                return;
            }
            _pos = close + 1;
            _kind = kString;
            _token = _text.substr(start + 1, close - start - 1);
            return;
        } else if (c == '(' || c == ')') {
            ++_pos;
            _kind = c == '(' ? kOpen : kClose;
        } else if (std::string_view("=!<>").find(c) != std::string_view::npos) {
            ++_pos;
            if (_pos < _text.size() && _text[_pos] == '=')
                ++_pos;
            _kind = kOperator;
        } else {
            ++_pos;
            _kind = kBad;
        }
        _token = _text.substr(start, _pos - start);
        if (_kind == kBad)
            fail("unexpected '" + std::string(_token) + "' in the condition");
    }

    bool isWord(const char* word) const { return _kind == kIdent && sameName(_token, word); }

    Node binary(oxDriverCondition::Op op, Node l, Node r)
    {
        if (++_terms > kMaxTerms) {
            fail("the condition has too many terms");
            return nullptr;
        }
        auto n = std::make_unique<oxDriverCondition>();
        n->op = op;
        n->left = std::move(l);
        n->right = std::move(r);
        return n;
    }

    Node parseOr(int depth)
    {
        Node l = parseAnd(depth);
        while (l && isWord("or")) {
            next();
            Node r = parseAnd(depth);
            if (!r)
                return nullptr;
            l = binary(oxDriverCondition::kOr, std::move(l), std::move(r));
            if (!l)
                return nullptr;
        }
        return l;
    }

    Node parseAnd(int depth)
    {
        Node l = parseUnary(depth);
        while (l && isWord("and")) {
            next();
            Node r = parseUnary(depth);
            if (!r)
                return nullptr;
            l = binary(oxDriverCondition::kAnd, std::move(l), std::move(r));
            if (!l)
                return nullptr;
        }
        return l;
    }

    Node parseUnary(int depth)
    {
        if (depth > kMaxDepth) {
            fail("the condition nests too deeply");
            return nullptr;
        }
        if (isWord("not")) {
            next();
            Node operand = parseUnary(depth + 1);
            return operand ? binary(oxDriverCondition::kNot, std::move(operand), nullptr) : nullptr;
        }
        if (_kind == kOpen) {
            next();
            Node inner = parseOr(depth + 1);
            if (!inner)
                return nullptr;
            if (_kind != kClose) {
                fail("missing ')' in the condition");
                return nullptr;
            }
            next();
            return inner;
        }
        oxDriverCondition::Operand a;
        if (!operand(a))
            return nullptr;
        auto n = std::make_unique<oxDriverCondition>();
        n->a = std::move(a);
        if (_kind != kOperator) {
            n->op = n->a.isProperty ? oxDriverCondition::kTruth : oxDriverCondition::kLiteral;
            return n;
        }
        static const struct {
            const char* text;
            oxDriverCondition::Compare compare;
        } kOperators[] = {{"==", oxDriverCondition::kEq}, {"!=", oxDriverCondition::kNe}, {"<", oxDriverCondition::kLt},
                          {"<=", oxDriverCondition::kLe}, {">", oxDriverCondition::kGt}, {">=", oxDriverCondition::kGe}};
        bool known = false;
        for (auto& o : kOperators)
            if (_token == o.text) {
                n->compare = o.compare;
                known = true;
            }
        if (!known) {
            fail("unknown operator '" + std::string(_token) + "' (comparisons are ==, !=, <, <=, >, >=)");
            return nullptr;
        }
        next();
        if (!operand(n->b))
            return nullptr;
        n->op = oxDriverCondition::kCompare;
        return n;
    }

    bool operand(oxDriverCondition::Operand& o)
    {
        switch (_kind) {
        case kIdent:
            if (isWord("and") || isWord("or") || isWord("not")) {
                fail("expected a property or a value before '" + std::string(_token) + "'");
                return false;
            }
            if (isWord("true") || isWord("false"))
                o.text = sameName(_token, "true") ? "true" : "false";
            else {
                o.isProperty = true;
                o.text = _token;
            }
            break;
        case kNumber: {
            double d = 0;
            if (!asNumber(_token, d)) {
                fail("'" + std::string(_token) + "' is not a number");
                return false;
            }
            o.text = _token;
            break;
        }
        case kString:
            o.text = _token;
            break;
        case kEnd:
            fail("the condition ends where a property or a value was expected");
            return false;
        default:
            fail("expected a property or a value, found '" + std::string(_token) + "'");
            return false;
        }
        next();
        return true;
    }

    std::string_view _text;
    size_t _pos = 0;
    Kind _kind = kEnd;
    std::string_view _token;
    std::string _problem;
    int _terms = 0;
};

bool validKey(std::string_view key)
{
    return !key.empty() && key.find_first_of("\r\n") == std::string_view::npos && key.front() != '[' &&
           key.front() != ';' && key.front() != '#';
}

} // namespace

oxDriverDatabase& oxDriverDatabase::getGlobal()
{
    static oxDriverDatabase* global = [] {
        oxDriverDatabase* db = _instantiateFromPool(nullptr);
        db->ref();
        if (const char* file = std::getenv(kGlobalFileVariable); file && *file)
            db->load(file);
        return db;
    }();
    return *global;
}

const oxDriverDatabase::Property* oxDriverDatabase::property(std::string_view name) const
{
    int i = findProperty(name);
    return i < 0 ? nullptr : &_properties[size_t(i)];
}

int oxDriverDatabase::findProperty(std::string_view name) const
{
    for (size_t i = 0; i < _properties.size(); ++i)
        if (sameName(_properties[i].name, name))
            return int(i);
    return -1;
}

bool oxDriverDatabase::setProperty(const char* name, int kind, const char* value)
{
    if (!name || !*name) {
        oxReportWarning("driver database: a property needs a name");
        return false;
    }
    std::string text = value ? value : "";
    bool ok = true;
    switch (kind) {
    case kString:
        break;
    case kInt: {
        int n = 0;
        ok = oxRegistry::parseInt(text, n);
        break;
    }
    case kFloat: {
        float f = 0;
        ok = oxRegistry::parseFloat(text, f);
        break;
    }
    case kBool: {
        bool b = false;
        ok = oxRegistry::parseBool(text, b);
        if (ok)
            text = oxRegistry::boolText(b);
        break;
    }
    default:
        oxReportWarning("driver database: property \"%s\" has the unknown kind %d", name, kind);
        return false;
    }
    if (!ok) {
        oxReportWarning("driver database: \"%s\" is not a value of kind %d for property \"%s\"", text.c_str(), kind, name);
        return false;
    }
    int i = findProperty(name);
    if (i >= 0)
        _properties[size_t(i)] = Property{_properties[size_t(i)].name, kind, std::move(text)};
    else
        _properties.push_back(Property{name, kind, std::move(text)});
    return true;
}

bool oxDriverDatabase::setIntProperty(const char* name, int value)
{
    return setProperty(name, kInt, std::to_string(value).c_str());
}

bool oxDriverDatabase::setFloatProperty(const char* name, float value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%f", double(value));
    return setProperty(name, kFloat, text);
}

bool oxDriverDatabase::setBoolProperty(const char* name, bool value)
{
    return setProperty(name, kBool, oxRegistry::boolText(value));
}

bool oxDriverDatabase::removeProperty(const char* name)
{
    int i = name ? findProperty(name) : -1;
    if (i < 0)
        return false;
    _properties.erase(_properties.begin() + i);
    return true;
}

const char* oxDriverDatabase::getPropertyName(int index) const
{
    return index >= 0 && index < getPropertyCount() ? _properties[size_t(index)].name.c_str() : nullptr;
}

int oxDriverDatabase::getPropertyKind(int index) const
{
    return index >= 0 && index < getPropertyCount() ? _properties[size_t(index)].kind : -1;
}

const char* oxDriverDatabase::getPropertyValue(int index) const
{
    return index >= 0 && index < getPropertyCount() ? _properties[size_t(index)].value.c_str() : nullptr;
}

bool oxDriverDatabase::load(const char* file)
{
    std::vector<uint8_t> bytes;
    std::string error;
    if (!oxReadWholeFile(file, kMaxFileSize, bytes, error)) {
        oxReportWarning("driver database: %s", error.c_str());
        return false;
    }
    return loadFromMemory(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), file);
}

bool oxDriverDatabase::loadFromMemory(std::string_view text, const char* label)
{
    const std::string_view whole = text; // kept for scene files
    if (!label || !*label)
        label = "text";
    std::vector<oxDriverEntry> top;
    // The open blocks: each is a choice whose last child is the branch being filled.
    std::vector<oxDriverEntry> open;
    std::vector<std::pair<std::string, std::string>> defaults;
    int lineNumber = 0;
    bool ok = true;
    auto fail = [&](const std::string& problem) {
        oxReportWarning("%s:%d: %s", label, lineNumber, problem.c_str());
        ok = false;
    };
    auto current = [&]() -> std::vector<oxDriverEntry>& { return open.empty() ? top : open.back().children.back().children; };
    auto addBranch = [&](std::string_view conditionText, bool isElse) {
        oxDriverEntry branch;
        branch.kind = oxDriverEntry::kBranch;
        branch.line = lineNumber;
        if (!isElse) {
            std::string problem;
            branch.condition = ConditionParser(conditionText).parse(problem);
            if (!branch.condition) {
                fail(problem);
                return false;
            }
            branch.key = conditionText;
        }
        open.back().children.push_back(std::move(branch));
        return true;
    };

    std::string_view line;
    const char* problem = nullptr;
    while (oxNextConfigLine(text, lineNumber, line, problem)) {
        if (problem) {
            fail(problem);
            continue;
        }
        std::string_view rest;
        if (directive(line, "when", rest)) {
            if (open.size() >= size_t(kMaxDepth)) {
                fail("'when' blocks nest too deeply");
                continue;
            }
            oxDriverEntry choice;
            choice.kind = oxDriverEntry::kChoice;
            choice.line = lineNumber;
            open.push_back(std::move(choice));
            // A bad condition still opens its block, so that its 'end' matches.
            if (!addBranch(rest, false))
                addBranch({}, true);
        } else if (directive(line, "else", rest)) {
            if (open.empty()) {
                fail("'else' without 'when'");
                continue;
            }
            if (open.back().children.back().condition == nullptr && ok) {
                fail("'else' after the block's 'else'");
                continue;
            }
            std::string_view condition;
            if (rest.empty())
                addBranch({}, true);
            else if (directive(rest, "when", condition)) {
                if (!addBranch(condition, false))
                    addBranch({}, true);
            } else
                fail("expected 'else' or 'else when CONDITION'");
        } else if (directive(line, "end", rest)) {
            if (!rest.empty()) {
                fail("'end' takes nothing after it");
                continue;
            }
            if (open.empty()) {
                fail("'end' without 'when'");
                continue;
            }
            oxDriverEntry done = std::move(open.back());
            open.pop_back();
            current().push_back(std::move(done));
        } else if (directive(line, "default", rest)) {
            size_t eq = rest.find('=');
            std::string_view name = eq == std::string_view::npos ? std::string_view() : oxTrim(rest.substr(0, eq));
            if (!open.empty())
                fail("'default' inside a 'when' block");
            else if (name.empty() || !isIdentStart(name.front()) ||
                     !std::all_of(name.begin(), name.end(), [](char c) { return isIdentChar(c); }))
                fail("expected 'default NAME = VALUE' with a property name of letters, digits, '_' and '.'");
            else
                defaults.emplace_back(name, oxRegistry::unquote(oxTrim(rest.substr(eq + 1))));
        } else {
            size_t eq = line.find('=');
            std::string_view key = eq == std::string_view::npos ? std::string_view() : oxTrim(line.substr(0, eq));
            if (!validKey(key)) {
                fail("expected 'key = value', 'when', 'else', 'end' or 'default'");
                continue;
            }
            if (std::string_view value = oxTrim(line.substr(eq + 1)); value.find('\r') != std::string_view::npos) {
                fail("carriage return inside the value");
                continue;
            }
            oxDriverEntry setting;
            setting.kind = oxDriverEntry::kSetting;
            setting.line = lineNumber;
            setting.key = key;
            setting.value = oxTrim(line.substr(eq + 1));
            current().push_back(std::move(setting));
        }
    }
    if (!open.empty()) {
        lineNumber = open.back().line;
        fail("'when' without 'end'");
    }
    if (!ok)
        return false;

    for (auto& [name, value] : defaults) {
        if (findProperty(name) >= 0)
            continue;
        int n = 0;
        float f = 0;
        bool b = false;
        int kind = oxRegistry::parseInt(value, n)     ? kInt
                   : oxRegistry::parseFloat(value, f) ? kFloat
                   : oxRegistry::parseBool(value, b)  ? kBool
                                                      : kString;
        setProperty(name.c_str(), kind, value.c_str());
    }
    for (oxDriverEntry& e : top)
        _entries.push_back(std::move(e));
    _texts.emplace_back(label, std::string(whole));
    return true;
}

void oxDriverDatabase::removeAll()
{
    _properties.clear();
    _entries.clear();
    _texts.clear();
}

void oxDriverDatabase::collect(const std::vector<oxDriverEntry>& entries,
                               std::vector<std::pair<std::string, std::string>>& out) const
{
    for (const oxDriverEntry& e : entries) {
        if (e.kind == oxDriverEntry::kSetting) {
            auto same = std::find_if(out.begin(), out.end(), [&](auto& kv) { return sameName(kv.first, e.key); });
            if (same != out.end())
                same->second = e.value;
            else
                out.emplace_back(e.key, e.value);
        } else if (e.kind == oxDriverEntry::kChoice) {
            for (const oxDriverEntry& branch : e.children)
                if (!branch.condition || branch.condition->evaluate(*this)) {
                    collect(branch.children, out);
                    break;
                }
        }
    }
}

std::vector<std::pair<std::string, std::string>> oxDriverDatabase::evaluate() const
{
    std::vector<std::pair<std::string, std::string>> out;
    collect(_entries, out);
    return out;
}

bool oxDriverDatabase::applySettings(oxRegistry* registry, int section, bool overwrite) const
{
    if (!registry || !registry->getSectionName(section)) {
        oxReportWarning("driver database: no registry section %d to apply settings to", section);
        return false;
    }
    for (auto& [key, value] : evaluate())
        if (overwrite || !registry->getRawValue(section, key))
            registry->setValue(section, key, value);
    return true;
}

void oxDriverDatabase::userResetFields(bool forFileRead)
{
    oxObject::userResetFields(forFileRead);
    removeAll();
}

void oxDriverDatabase::userCopyShallow(const oxObject* source)
{
    auto* other = static_cast<const oxDriverDatabase*>(source);
    if (other == this)
        return;
    _properties = other->_properties;
    _entries = other->_entries;
    _texts = other->_texts;
}

void oxDriverDatabase::writeContents(oxContentWriter& out) const
{
    out.beginArray(oxFieldKind::String, 1, uint32_t(_texts.size() * 2));
    for (auto& [label, text] : _texts) {
        out.writeText(label);
        out.writeText(text);
    }
    out.beginArray(oxFieldKind::String, 1, uint32_t(_properties.size() * 3));
    for (const Property& p : _properties) {
        out.writeText(p.name);
        out.writeText(std::to_string(p.kind));
        out.writeText(p.value);
    }
}

bool oxDriverDatabase::readContents(oxContentReader& in)
{
    removeAll();
    uint32_t n = 0;
    if (!in.beginArray(oxFieldKind::String, 1, n))
        return false;
    if (n % 2)
        return in.fail("a driver database stores a label and a text for each load");
    std::string label, text;
    for (uint32_t i = 0; i < n; i += 2) {
        if (!in.readText(label) || !in.readText(text))
            return false;
        if (!loadFromMemory(text, label.c_str()))
            return in.fail("a stored driver-database text does not load");
    }
    if (!in.beginArray(oxFieldKind::String, 1, n))
        return false;
    if (n % 3)
        return in.fail("a driver database stores a name, a kind and a value for each property");
    std::string name, kind, value;
    for (uint32_t i = 0; i < n; i += 3) {
        if (!in.readText(name) || !in.readText(kind) || !in.readText(value))
            return false;
        int k = 0;
        if (!oxRegistry::parseInt(kind, k) || !setProperty(name.c_str(), k, value.c_str()))
            return in.fail("a stored driver-database property is not valid");
    }
    return true;
}

} // namespace Kel::Core
