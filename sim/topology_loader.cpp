#include "sim/topology_loader.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <initializer_list>
#include <set>
#include <utility>

#include <nlohmann/json.hpp>

#include "sim/sim_code_page.h"
#include "sim/sim_registry.h"

namespace {

using Json = nlohmann::ordered_json;

constexpr size_t kMaxFileBytes = size_t{64} << 20;
// Far deeper than a real bus allows; keeps the recursive readers (and the
// scan) off the end of the stack on a hostile file.
constexpr int kMaxHubDepth = 64;

constexpr const char* kControllerSteps[] = {"interface", "path", "root_hub_name_probe", "root_hub_name"};
constexpr const char* kPortSteps[] = {"connection_ex", "connection",    "driver_key_probe", "driver_key",
                                      "hub_name_probe", "hub_name",     "config_probe",     "config",
                                      "cycle_port"};

// A broken rule of the format: where and what.
struct FormatError {
    std::string place;
    std::string message;
};

[[noreturn]] void Fail(const std::string& place, const std::string& message)
{
    throw FormatError{place, message};
}

constexpr size_t kMaxShownCharacters = 60;

// Text from the file as an error line shows it: C0 and C1 controls escaped
// ("\x0a", "\u0085"), cut after 60 characters.
std::string Shown(const std::string& text)
{
    std::string out;
    size_t characters = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if ((byte & 0xC0) == 0x80)
            continue;  // continuation bytes travel with their lead byte
        if (characters++ == kMaxShownCharacters) {
            out += "...";
            break;
        }
        char escaped[8];
        if (byte < 0x20 || byte == 0x7F) {
            snprintf(escaped, sizeof(escaped), "\\x%02x", byte);
            out += escaped;
            continue;
        }
        if (byte == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
            static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            snprintf(escaped, sizeof(escaped), "\\u%04x", static_cast<unsigned char>(text[i + 1]));
            out += escaped;
            ++i;
            continue;
        }
        size_t end = i + 1;
        while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
            ++end;
        out.append(text, i, end - i);
        i = end - 1;
    }
    return out;
}

std::string Member(const std::string& place, const std::string& key)
{
    return place.empty() ? Shown(key) : place + "." + Shown(key);
}

std::string Element(const std::string& place, size_t index)
{
    return place + "[" + std::to_string(index) + "]";
}

std::string Keyed(const std::string& place, const std::string& key)
{
    return place + "[\"" + Shown(key) + "\"]";
}

bool IsComment(const std::string& key)
{
    return !key.empty() && key[0] == '_';
}

std::string Found(const Json& value)
{
    return std::string("found ") + value.type_name();
}

const Json* Find(const Json& object, const char* key)
{
    auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

// Checks that value is an object holding no keys but the given ones (and comments).
void ExpectObject(const Json& value, const std::string& place, std::initializer_list<const char*> keys)
{
    if (!value.is_object())
        Fail(place, "expected an object, " + Found(value));
    for (auto it = value.begin(); it != value.end(); ++it) {
        const std::string& key = it.key();
        if (IsComment(key))
            continue;
        if (std::none_of(keys.begin(), keys.end(), [&](const char* allowed) { return key == allowed; }))
            Fail(Member(place, key), "unknown key");
    }
}

const Json& ExpectArray(const Json& value, const std::string& place)
{
    if (!value.is_array())
        Fail(place, "expected an array, " + Found(value));
    return value;
}

const std::string& Text(const Json& value, const std::string& place)
{
    if (!value.is_string())
        Fail(place, "expected a string, " + Found(value));
    return value.get_ref<const std::string&>();
}

bool Flag(const Json& object, const char* key, const std::string& place, bool fallback)
{
    const Json* value = Find(object, key);
    if (!value)
        return fallback;
    if (!value->is_boolean())
        Fail(Member(place, key), "expected true or false, " + Found(*value));
    return value->get<bool>();
}

uint64_t Unsigned(const Json& value, const std::string& place, uint64_t max)
{
    if (!value.is_number_integer())
        Fail(place, "expected an integer, " + Found(value));
    if (!value.is_number_unsigned() && value.get<int64_t>() < 0)
        Fail(place, "must not be negative");
    const uint64_t number = value.get<uint64_t>();
    if (number > max)
        Fail(place, "must be at most " + std::to_string(max));
    return number;
}

uint64_t Unsigned(const Json& object, const char* key, const std::string& place, uint64_t max, uint64_t fallback)
{
    const Json* value = Find(object, key);
    return value ? Unsigned(*value, Member(place, key), max) : fallback;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// "12 01 00 02": pairs of hex digits separated by blanks.
std::vector<uint8_t> Bytes(const Json& value, const std::string& place)
{
    const std::string& text = Text(value, place);
    std::vector<uint8_t> bytes;
    size_t i = 0;
    while (i < text.size()) {
        if (IsBlank(text[i])) {
            ++i;
            continue;
        }
        size_t end = i;
        while (end < text.size() && !IsBlank(text[end]))
            ++end;
        const std::string token = text.substr(i, end - i);
        if (token.size() != 2 || HexDigit(token[0]) < 0 || HexDigit(token[1]) < 0)
            Fail(place, "byte " + std::to_string(bytes.size()) + " is not two hex digits: \"" + Shown(token) +
                            "\"");
        bytes.push_back(static_cast<uint8_t>(HexDigit(token[0]) * 16 + HexDigit(token[1])));
        i = end;
    }
    return bytes;
}

// A language ID: exactly four hex digits.
uint16_t Language(const std::string& text, const std::string& place)
{
    if (text.size() != 4 || std::any_of(text.begin(), text.end(), [](char c) { return HexDigit(c) < 0; }))
        Fail(place, "a language is four hex digits, found \"" + Shown(text) + "\"");
    uint16_t id = 0;
    for (char c : text)
        id = static_cast<uint16_t>(id * 16 + HexDigit(c));
    return id;
}

// A string index written in decimal, within [low, 255].
uint8_t StringIndex(const std::string& text, const std::string& place, unsigned low)
{
    unsigned number = 0;
    if (text.empty() || text.size() > 3 ||
        std::any_of(text.begin(), text.end(), [](char c) { return c < '0' || c > '9'; }))
        Fail(place, "a string index is a decimal number, found \"" + Shown(text) + "\"");
    for (char c : text)
        number = number * 10 + static_cast<unsigned>(c - '0');
    if (number < low || number > 255)
        Fail(place, "a string index is " + std::to_string(low) + " to 255");
    return static_cast<uint8_t>(number);
}

// "I:LANG" as in raw strings and string failures.
std::pair<uint8_t, uint16_t> IndexAndLanguage(const std::string& text, const std::string& place)
{
    const size_t colon = text.find(':');
    if (colon == std::string::npos)
        Fail(place, "expected INDEX:LANGUAGE, found \"" + Shown(text) + "\"");
    return {StringIndex(text.substr(0, colon), place, 0), Language(text.substr(colon + 1), place)};
}

std::u16string Utf16(const Json& value, const std::string& place)
{
    return Utf8ToUtf16(Text(value, place));
}

// A name or key path: no NUL inside, which the platform's strings end at.
const std::string& NameText(const std::string& text, const std::string& place)
{
    if (text.find('\0') != std::string::npos)
        Fail(place, "a name has no NUL character");
    return text;
}

std::u16string Name16(const Json& value, const std::string& place)
{
    return Utf8ToUtf16(NameText(Text(value, place), place));
}

// UTF-8 text as code page 1252; a character it lacks breaks the format.
std::string Cp1252(const std::string& text, const std::string& place)
{
    const std::u16string units = Utf8ToUtf16(text);
    std::string out;
    out.reserve(units.size());
    for (char16_t unit : units) {
        if (!Cp1252Holds(unit)) {
            char code[16];
            snprintf(code, sizeof(code), "U+%04X", static_cast<unsigned>(unit));
            Fail(place, std::string("character ") + code + " has no code page 1252 form");
        }
        out += Cp1252FromUnit(unit);
    }
    return out;
}

SimFailures Failures(const Json& object, const std::string& place, bool port)
{
    SimFailures failures;
    const Json* list = Find(object, "fail");
    if (!list)
        return failures;
    const std::string listPlace = Member(place, "fail");
    ExpectArray(*list, listPlace);
    for (size_t i = 0; i < list->size(); ++i) {
        const std::string itemPlace = Element(listPlace, i);
        const std::string& name = Text((*list)[i], itemPlace);
        if (port && name.compare(0, 7, "string:") == 0) {
            const auto [index, language] = IndexAndLanguage(name.substr(7), itemPlace);
            char canonical[32];
            snprintf(canonical, sizeof(canonical), "string:%u:%04X", static_cast<unsigned>(index),
                     static_cast<unsigned>(language));
            failures.insert(canonical);
            continue;
        }
        bool known = false;
        if (port)
            known = std::any_of(std::begin(kPortSteps), std::end(kPortSteps), [&](const char* s) { return name == s; });
        else
            known = std::any_of(std::begin(kControllerSteps), std::end(kControllerSteps),
                                [&](const char* s) { return name == s; });
        if (!known)
            Fail(itemPlace, "unknown step \"" + Shown(name) + "\"");
        failures.insert(name);
    }
    return failures;
}

std::unique_ptr<SimHub> ParseHub(const Json& value, const std::string& place, int depth);

SimPort ParsePort(const Json& value, const std::string& place, size_t position, int depth)
{
    ExpectObject(value, place,
                 {"port", "status", "speed", "is_hub", "config_value", "address", "device_descriptor",
                  "config_descriptors", "languages", "strings", "raw_strings", "driver_key", "hub", "fail", "pipes"});
    SimPort port;
    port.port = static_cast<uint32_t>(Unsigned(value, "port", place, UINT32_MAX, position + 1));
    if (port.port == 0)
        Fail(Member(place, "port"), "ports are numbered from 1");

    if (const Json* descriptor = Find(value, "device_descriptor")) {
        const std::string descriptorPlace = Member(place, "device_descriptor");
        port.deviceDescriptor = Bytes(*descriptor, descriptorPlace);
        if (port.deviceDescriptor.size() != 18)
            Fail(descriptorPlace, "a device descriptor is 18 bytes, found " +
                                      std::to_string(port.deviceDescriptor.size()));
    }
    port.status = static_cast<uint32_t>(
        Unsigned(value, "status", place, UINT32_MAX, port.deviceDescriptor.empty() ? 0 : 1));
    port.speed = static_cast<uint8_t>(Unsigned(value, "speed", place, UINT8_MAX, 0));
    port.isHub = Flag(value, "is_hub", place, false);
    port.configValue = static_cast<uint8_t>(Unsigned(value, "config_value", place, UINT8_MAX, 0));
    port.address = static_cast<uint16_t>(Unsigned(value, "address", place, UINT16_MAX, 0));

    if (const Json* sets = Find(value, "config_descriptors")) {
        const std::string setsPlace = Member(place, "config_descriptors");
        ExpectArray(*sets, setsPlace);
        for (size_t i = 0; i < sets->size(); ++i)
            port.configDescriptors.push_back(Bytes((*sets)[i], Element(setsPlace, i)));
    }

    if (const Json* languages = Find(value, "languages")) {
        const std::string languagesPlace = Member(place, "languages");
        ExpectArray(*languages, languagesPlace);
        port.hasLanguageList = true;
        for (size_t i = 0; i < languages->size(); ++i) {
            const std::string itemPlace = Element(languagesPlace, i);
            port.languages.push_back(Language(Text((*languages)[i], itemPlace), itemPlace));
        }
    }

    if (const Json* strings = Find(value, "strings")) {
        const std::string stringsPlace = Member(place, "strings");
        if (!strings->is_object())
            Fail(stringsPlace, "expected an object, " + Found(*strings));
        for (auto it = strings->begin(); it != strings->end(); ++it) {
            if (IsComment(it.key()))
                continue;
            const std::string indexPlace = Keyed(stringsPlace, it.key());
            const uint8_t index = StringIndex(it.key(), indexPlace, 1);
            if (!it.value().is_object())
                Fail(indexPlace, "expected an object of languages, " + Found(it.value()));
            for (auto text = it.value().begin(); text != it.value().end(); ++text) {
                if (IsComment(text.key()))
                    continue;
                const std::string textPlace = Keyed(indexPlace, text.key());
                port.strings[index][Language(text.key(), textPlace)] = Utf16(text.value(), textPlace);
            }
        }
    }

    if (const Json* raw = Find(value, "raw_strings")) {
        const std::string rawPlace = Member(place, "raw_strings");
        if (!raw->is_object())
            Fail(rawPlace, "expected an object, " + Found(*raw));
        for (auto it = raw->begin(); it != raw->end(); ++it) {
            if (IsComment(it.key()))
                continue;
            const std::string itemPlace = Keyed(rawPlace, it.key());
            port.rawStrings[IndexAndLanguage(it.key(), itemPlace)] = Bytes(it.value(), itemPlace);
        }
    }

    if (const Json* driverKey = Find(value, "driver_key"); driverKey && !driverKey->is_null())
        port.driverKey = Name16(*driverKey, Member(place, "driver_key"));

    if (const Json* hub = Find(value, "hub"); hub && !hub->is_null()) {
        if (!port.isHub)
            Fail(Member(place, "hub"), "a hub needs \"is_hub\": true");
        port.hub = ParseHub(*hub, Member(place, "hub"), depth + 1);
    }

    port.fail = Failures(value, place, true);

    if (const Json* pipes = Find(value, "pipes")) {
        const std::string pipesPlace = Member(place, "pipes");
        ExpectArray(*pipes, pipesPlace);
        for (size_t i = 0; i < pipes->size(); ++i) {
            const std::string itemPlace = Element(pipesPlace, i);
            port.pipes.push_back(Bytes((*pipes)[i], itemPlace));
            if (port.pipes.back().size() != 7)
                Fail(itemPlace, "a pipe is a 7-byte endpoint descriptor, found " +
                                    std::to_string(port.pipes.back().size()) + " bytes");
        }
    }
    return port;
}

std::unique_ptr<SimHub> ParseHub(const Json& value, const std::string& place, int depth)
{
    if (depth > kMaxHubDepth)
        Fail(place, "hubs nested more than " + std::to_string(kMaxHubDepth) + " deep");
    ExpectObject(value, place, {"name", "open", "node_query", "port_count", "ports"});
    auto hub = std::make_unique<SimHub>();
    const Json* name = Find(value, "name");
    if (!name)
        Fail(place, "a hub needs a \"name\"");
    hub->name = Name16(*name, Member(place, "name"));
    hub->open = Flag(value, "open", place, true);
    hub->nodeQuery = Flag(value, "node_query", place, true);

    if (const Json* ports = Find(value, "ports")) {
        const std::string portsPlace = Member(place, "ports");
        ExpectArray(*ports, portsPlace);
        std::set<uint32_t> numbers;
        for (size_t i = 0; i < ports->size(); ++i) {
            const std::string portPlace = Element(portsPlace, i);
            hub->ports.push_back(ParsePort((*ports)[i], portPlace, i, depth));
            if (!numbers.insert(hub->ports.back().port).second)
                Fail(portPlace, "port " + std::to_string(hub->ports.back().port) + " is listed twice");
        }
    }
    // bNumberOfPorts of the hub descriptor is one byte.
    if (!Find(value, "port_count") && hub->ports.size() > UINT8_MAX)
        Fail(Member(place, "ports"), "a hub has at most 255 ports");
    hub->portCount = static_cast<uint32_t>(Unsigned(value, "port_count", place, UINT8_MAX, hub->ports.size()));
    return hub;
}

SimController ParseController(const Json& value, const std::string& place)
{
    ExpectObject(value, place, {"description", "open", "root_hub", "fail", "device_path"});
    SimController controller;
    if (const Json* description = Find(value, "description"); description && !description->is_null()) {
        const std::string descriptionPlace = Member(place, "description");
        controller.description = Cp1252(Text(*description, descriptionPlace), descriptionPlace);
    }
    controller.open = Flag(value, "open", place, true);
    if (const Json* hub = Find(value, "root_hub"); hub && !hub->is_null())
        controller.rootHub = ParseHub(*hub, Member(place, "root_hub"), 1);
    controller.fail = Failures(value, place, false);
    if (const Json* path = Find(value, "device_path")) {
        const std::string pathPlace = Member(place, "device_path");
        controller.devicePath = Cp1252(NameText(Text(*path, pathPlace), pathPlace), pathPlace);
    }
    return controller;
}

void ParseRegistry(const Json& value, const std::string& place, SimRegistryKey& root)
{
    if (!value.is_object())
        Fail(place, "expected an object of keys, " + Found(value));
    for (auto it = value.begin(); it != value.end(); ++it) {
        const std::string& path = it.key();
        if (IsComment(path))
            continue;
        const std::string keyPlace = Keyed(place, path);
        if (path.empty() || path.front() == '\\' || path.back() == '\\' || path.find("\\\\") != std::string::npos)
            Fail(keyPlace, "a key path has no empty names");
        if (!it.value().is_object())
            Fail(keyPlace, "expected an object of values, " + Found(it.value()));
        SimRegistryKey& key = SimRegistryPath(root, Cp1252(NameText(path, keyPlace), keyPlace));
        for (auto entry = it.value().begin(); entry != it.value().end(); ++entry) {
            const std::string& name = entry.key();
            if (IsComment(name))
                continue;
            const std::string valuePlace = Keyed(keyPlace, name);
            NameText(name, valuePlace);
            const Json& data = entry.value();
            if (name == "@open") {
                if (!data.is_boolean())
                    Fail(valuePlace, "expected true or false, " + Found(data));
                key.openable = data.get<bool>();
            } else if (data.is_string()) {
                key.values[Cp1252(name, valuePlace)] = SimTextValue(Cp1252(data.get_ref<const std::string&>(), valuePlace));
            } else if (data.is_object()) {
                ExpectObject(data, valuePlace, {"hex"});
                const Json* hex = Find(data, "hex");
                if (!hex)
                    Fail(valuePlace, "a binary value needs \"hex\"");
                key.values[Cp1252(name, valuePlace)] = Bytes(*hex, Member(valuePlace, "hex"));
            } else {
                Fail(valuePlace, "expected text or {\"hex\": ...}, " + Found(data));
            }
        }
    }
}

SimTopology ParseDocument(const Json& document)
{
    ExpectObject(document, "", {"controller_set", "controllers", "registry", "classes_root"});
    SimTopology topology;
    topology.controllerSet = Flag(document, "controller_set", "", true);
    if (const Json* controllers = Find(document, "controllers")) {
        ExpectArray(*controllers, "controllers");
        for (size_t i = 0; i < controllers->size(); ++i)
            topology.controllers.push_back(ParseController((*controllers)[i], Element("controllers", i)));
    }
    if (const Json* registry = Find(document, "registry"))
        ParseRegistry(*registry, "registry", topology.localMachine);
    if (const Json* classesRoot = Find(document, "classes_root"))
        ParseRegistry(*classesRoot, "classes_root", topology.classesRoot);
    return topology;
}

// Refuses a key given twice in one object, which the parser would silently
// let the last one win; it tracks where it is for the error's place.
class DuplicateKeyCheck {
public:
    bool operator()(int, Json::parse_event_t event, Json& parsed)
    {
        using Event = Json::parse_event_t;
        switch (event) {
        case Event::object_start:
        case Event::array_start:
            CountElement();
            frames_.push_back({event == Event::array_start, Place(), {}, 0, {}});
            break;
        case Event::object_end:
        case Event::array_end:
            if (!frames_.empty())
                frames_.pop_back();
            break;
        case Event::key:
            if (!frames_.empty()) {
                Frame& object = frames_.back();
                object.key = parsed.get<std::string>();
                if (!object.keys.insert(object.key).second)
                    Fail(Member(object.place, object.key), "key given twice in one object");
            }
            break;
        case Event::value:
            CountElement();
            break;
        }
        return true;
    }

private:
    struct Frame {
        bool array;
        std::string place;   // where this object or array is
        std::string key;     // the member being read
        size_t elements;     // elements read so far, of an array
        std::set<std::string> keys;
    };

    void CountElement()
    {
        if (!frames_.empty() && frames_.back().array)
            ++frames_.back().elements;
    }

    // The place of the value being read now.
    std::string Place() const
    {
        if (frames_.empty())
            return "";
        const Frame& parent = frames_.back();
        return parent.array ? Element(parent.place, parent.elements - 1) : Member(parent.place, parent.key);
    }

    std::vector<Frame> frames_;
};

// The error as one line: control characters from the file become blanks.
void SetError(std::string* error, std::string text)
{
    if (!error)
        return;
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = ' ';
    *error = std::move(text);
}

// nlohmann's message without its "[json.exception.parse_error.101] " tag.
std::string ParserMessage(const char* what)
{
    std::string message = what;
    if (!message.empty() && message[0] == '[') {
        const size_t end = message.find("] ");
        if (end != std::string::npos)
            message.erase(0, end + 2);
    }
    // The parser quotes the token it stopped at, which may be long.
    const std::string lastRead = "last read: '";
    const size_t quoted = message.find(lastRead);
    const size_t end = message.rfind('\'');
    if (quoted != std::string::npos && end > quoted + lastRead.size())
        message = message.substr(0, quoted + lastRead.size()) +
                  Shown(message.substr(quoted + lastRead.size(), end - quoted - lastRead.size())) + message.substr(end);
    return message;
}

}  // namespace

bool ParseTopology(const std::string& text, const std::string& fileName, SimTopology* out, std::string* error)
{
    try {
        Json document;
        try {
            document = Json::parse(text, DuplicateKeyCheck());
        } catch (const Json::parse_error& e) {
            SetError(error, fileName + ": not valid JSON: " + ParserMessage(e.what()));
            return false;
        }
        SimTopology topology = ParseDocument(document);
        if (out)
            *out = std::move(topology);
        return true;
    } catch (const FormatError& e) {
        SetError(error, fileName + ": " + (e.place.empty() ? std::string("top level") : e.place) + ": " + e.message);
    } catch (const std::exception& e) {
        SetError(error, fileName + ": cannot be loaded: " + ParserMessage(e.what()));
    } catch (...) {
        SetError(error, fileName + ": cannot be loaded");
    }
    return false;
}

bool LoadTopologyFile(const std::string& path, SimTopology* out, std::string* error)
{
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) {
        SetError(error, path + ": cannot be read: " + strerror(errno));
        return false;
    }
    std::string text;
    char chunk[65536];
    bool tooLarge = false;
    size_t got = 0;
    while ((got = fread(chunk, 1, sizeof(chunk), file)) > 0) {
        if (text.size() + got > kMaxFileBytes) {
            tooLarge = true;
            break;
        }
        text.append(chunk, got);
    }
    const bool failed = ferror(file) != 0;
    const int readErrno = errno;
    fclose(file);
    if (failed) {
        SetError(error, path + ": cannot be read: " + strerror(readErrno));
        return false;
    }
    if (tooLarge) {
        SetError(error, path + ": larger than " + std::to_string(kMaxFileBytes >> 20) + " MiB");
        return false;
    }
    return ParseTopology(text, path, out, error);
}
