#include "sim/topology_loader.h"

#include <algorithm>
#include <bitset>
#include <cerrno>
#include <cstdio>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <initializer_list>
#include <set>
#include <utility>

#include "sim/json_tape.h"
#include "sim/sim_code_page.h"
#include "sim/sim_registry.h"
#include "tree/ascii_case.h"

namespace {

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
constexpr char kBlanks[] = " \t\n\r";

// Text from the file as an error line shows it: C0 and C1 controls escaped
// ("\x0a", "\u0085"), cut after 60 characters. The text is UTF-8, as the
// JSON parser checked.
std::string Shown(const std::string& text)
{
    std::string out;
    size_t characters = 0;
    for (size_t i = 0, end = 0; i < text.size(); i = end) {
        for (end = i + 1; end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80;)
            ++end;
        if (characters++ == kMaxShownCharacters)
            return out + "...";
        const auto lead = static_cast<unsigned char>(text[i]);
        const auto next = static_cast<unsigned char>(end == i + 2 ? text[i + 1] : 0);
        char escaped[8];
        if (lead < 0x20 || lead == 0x7F)
            snprintf(escaped, sizeof(escaped), "\\x%02x", lead);
        else if (lead == 0xC2 && next >= 0x80 && next <= 0x9F)
            snprintf(escaped, sizeof(escaped), "\\u%04x", next);
        else
            escaped[0] = 0;
        out += escaped[0] ? std::string(escaped) : text.substr(i, end - i);
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

using Type = JsonTape::Type;

std::string Found(Type type)
{
    return std::string("found ") + JsonTape::TypeName(type);
}

void ExpectType(JsonTape& reader, Type type, const std::string& place, const char* what)
{
    const Type found = reader.Peek();
    if (found != type)
        Fail(place, std::string("expected ") + what + ", " + Found(found));
}

// What loading a file may cost: a multiple of its size, with an allowance
// that no file of realistic size reaches. The charges estimate, on the high
// side, the heap bytes of what is built: blocks with the allocator's header
// and rounding, tree nodes with their links, vector elements three times
// (old and new storage while a vector grows).
constexpr size_t kMemoryPerFileByte = 16;
constexpr size_t kMemoryAllowance = size_t{4} << 20;
constexpr size_t kBlock = 32;
constexpr size_t kNode = 48 + kBlock;

template <typename T>
constexpr size_t ElementCost()
{
    return 3 * sizeof(T);
}

// The JSON text being read and the memory spent on it: its tape, and what
// it describes.
class Input : public JsonTape {
public:
    explicit Input(const std::string& text)
        : JsonTape(text), limit_(kMemoryPerFileByte * text.size() + kMemoryAllowance), spent_(Bytes())
    {
    }

    void Charge(size_t bytes, const std::string& place)
    {
        spent_ += bytes;
        if (spent_ > limit_)
            ::Fail(place, "loading the file would take more than " + std::to_string(kMemoryPerFileByte) +
                            " bytes of memory per byte of it");
    }

private:
    size_t limit_;
    size_t spent_;
};

// Keys of one object: a second one with the same name breaks the format.
class KeysSeen {
public:
    void Add(Input& reader, const std::string& key, const std::string& place)
    {
        reader.Charge(kNode + key.size(), place);
        if (!keys_.insert(key).second)
            Fail(place, "key given twice in one object");
    }

private:
    std::set<std::string> keys_;
};

// Reads an object holding no keys but the given ones (and comments), calling
// read(key, place of the member) with the reader at each member's value.
template <typename Read>
void ReadObject(Input& reader, const std::string& place, std::initializer_list<const char*> keys, Read read)
{
    ExpectType(reader, Type::Object, place, "an object");
    reader.EnterObject();
    uint32_t seen = 0;
    KeysSeen comments;
    std::string key;
    while (reader.NextMember(&key)) {
        const std::string memberPlace = Member(place, key);
        if (IsComment(key)) {
            comments.Add(reader, key, memberPlace);
            reader.Skip();
            continue;
        }
        const auto known = std::find_if(keys.begin(), keys.end(), [&](const char* allowed) { return key == allowed; });
        if (known == keys.end())
            Fail(memberPlace, "unknown key");
        const uint32_t bit = uint32_t{1} << (known - keys.begin());
        if (seen & bit)
            Fail(memberPlace, "key given twice in one object");
        seen |= bit;
        read(key, memberPlace);
    }
}

// Reads an object of named entries (comments passed over), calling
// read(key, place of the entry) with the reader at each entry's value.
template <typename Read>
void ReadEntries(Input& reader, const std::string& place, const char* expected, Read read)
{
    ExpectType(reader, Type::Object, place, expected);
    reader.EnterObject();
    KeysSeen seen;
    std::string key;
    while (reader.NextMember(&key)) {
        const std::string entryPlace = Keyed(place, key);
        seen.Add(reader, key, entryPlace);
        if (IsComment(key)) {
            reader.Skip();
            continue;
        }
        read(key, entryPlace);
    }
}

// Calls read(place of the element, its position) for each element of an array.
template <typename Read>
void ReadArray(Input& reader, const std::string& place, Read read)
{
    ExpectType(reader, Type::Array, place, "an array");
    reader.EnterArray();
    for (size_t i = 0; reader.NextElement(); ++i)
        read(Element(place, i), i);
}

std::string Text(Input& reader, const std::string& place)
{
    ExpectType(reader, Type::String, place, "a string");
    return reader.String();
}

bool Flag(Input& reader, const std::string& place)
{
    ExpectType(reader, Type::Boolean, place, "true or false");
    return reader.Boolean();
}

// A value that may be null: false (and the null read) when it is.
bool NotNull(Input& reader)
{
    if (reader.Peek() != Type::Null)
        return true;
    reader.Null();
    return false;
}

uint64_t Unsigned(Input& reader, const std::string& place, uint64_t max)
{
    ExpectType(reader, Type::Number, place, "an integer");
    const JsonTape::Number number = reader.ReadNumber();
    if (!number.integer)
        Fail(place, "expected an integer, found number");
    if (number.negative && number.magnitude != 0)
        Fail(place, "must not be negative");
    if (number.magnitude > max)
        Fail(place, "must be at most " + std::to_string(max));
    return number.magnitude;
}

// The number written as exactly `digits` hex digits (base 16) or as 1 to
// `digits` decimal ones (base 10); -1 for any other text.
long Digits(const std::string& text, size_t digits, int base)
{
    const bool fits = base == 16 ? text.size() == digits : !text.empty() && text.size() <= digits;
    const auto digit = [&](unsigned char c) { return base == 16 ? isxdigit(c) : isdigit(c); };
    if (!fits || !std::all_of(text.begin(), text.end(), digit))
        return -1;
    return strtol(text.c_str(), nullptr, base);
}

// "12 01 00 02": pairs of hex digits separated by blanks.
std::vector<uint8_t> Bytes(const std::string& text, const std::string& place)
{
    std::vector<uint8_t> bytes;
    for (size_t i = text.find_first_not_of(kBlanks); i != std::string::npos; i = text.find_first_not_of(kBlanks, i)) {
        const size_t end = std::min(text.find_first_of(kBlanks, i), text.size());
        const std::string token = text.substr(i, end - i);
        const long value = Digits(token, 2, 16);
        if (value < 0)
            Fail(place, "byte " + std::to_string(bytes.size()) + " is not two hex digits: \"" + Shown(token) + "\"");
        bytes.push_back(static_cast<uint8_t>(value));
        i = end;
    }
    return bytes;
}

// A language ID: exactly four hex digits.
uint16_t Language(const std::string& text, const std::string& place)
{
    const long id = Digits(text, 4, 16);
    if (id < 0)
        Fail(place, "a language is four hex digits, found \"" + Shown(text) + "\"");
    return static_cast<uint16_t>(id);
}

// A string index written in decimal, within [low, 255].
uint8_t StringIndex(const std::string& text, const std::string& place, unsigned low)
{
    const long number = Digits(text, 3, 10);
    if (number < 0)
        Fail(place, "a string index is a decimal number, found \"" + Shown(text) + "\"");
    if (number < static_cast<long>(low) || number > 255)
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

// A name or key path: no NUL inside, which the platform's strings end at.
const std::string& NameText(const std::string& text, const std::string& place)
{
    if (text.find('\0') != std::string::npos)
        Fail(place, "a name has no NUL character");
    return text;
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

// A UTF-16 text kept in the model.
std::u16string Utf16(Input& reader, const std::string& text, const std::string& place)
{
    std::u16string units = Utf8ToUtf16(text);
    reader.Charge(2 * units.size() + kBlock, place);
    return units;
}

std::u16string Name16(Input& reader, const std::string& place)
{
    return Utf16(reader, NameText(Text(reader, place), place), place);
}

// A byte string kept in the model.
std::vector<uint8_t> KeptBytes(Input& reader, const std::string& place)
{
    std::vector<uint8_t> bytes = Bytes(Text(reader, place), place);
    reader.Charge(bytes.capacity() + kBlock, place);
    return bytes;
}

// A code page 1252 text kept in the model.
std::string KeptCp1252(Input& reader, const std::string& text, const std::string& place)
{
    std::string out = Cp1252(text, place);
    reader.Charge(out.size() + kBlock, place);
    return out;
}

SimFailures Failures(Input& reader, const std::string& place, bool port)
{
    SimFailures failures;
    ReadArray(reader, place, [&](const std::string& itemPlace, size_t) {
        std::string name = Text(reader, itemPlace);
        if (port && name.compare(0, 7, "string:") == 0) {
            const auto [index, language] = IndexAndLanguage(name.substr(7), itemPlace);
            char canonical[32];
            snprintf(canonical, sizeof(canonical), "string:%u:%04X", static_cast<unsigned>(index),
                     static_cast<unsigned>(language));
            name = canonical;
        } else if (!(port ? std::count(std::begin(kPortSteps), std::end(kPortSteps), name)
                          : std::count(std::begin(kControllerSteps), std::end(kControllerSteps), name))) {
            Fail(itemPlace, "unknown step \"" + Shown(name) + "\"");
        }
        reader.Charge(kNode + sizeof(std::string), itemPlace);
        failures.insert(name);
    });
    return failures;
}

std::unique_ptr<SimHub> ReadHub(Input& reader, const std::string& place, int depth);

void ReadStrings(Input& reader, const std::string& place, SimPort& port)
{
    ReadEntries(reader, place, "an object", [&](const std::string& key, const std::string& indexPlace) {
        const uint8_t index = StringIndex(key, indexPlace, 1);
        ReadEntries(reader, indexPlace, "an object of languages",
                    [&](const std::string& language, const std::string& textPlace) {
                        reader.Charge(2 * kNode, textPlace);
                        port.strings[index][Language(language, textPlace)] =
                            Utf16(reader, Text(reader, textPlace), textPlace);
                    });
    });
}

SimPort ReadPort(Input& reader, const std::string& place, size_t position, int depth)
{
    SimPort port;
    port.port = static_cast<uint32_t>(position + 1);
    bool statusGiven = false;
    std::string hubPlace;
    ReadObject(reader, place,
               {"port", "status", "speed", "is_hub", "config_value", "address", "device_descriptor",
                "config_descriptors", "languages", "strings", "raw_strings", "driver_key", "hub", "fail", "pipes"},
               [&](const std::string& key, const std::string& at) {
                   if (key == "port") {
                       port.port = static_cast<uint32_t>(Unsigned(reader, at, UINT8_MAX));
                       if (port.port == 0)
                           Fail(at, "ports are numbered from 1");
                   } else if (key == "status") {
                       port.status = static_cast<uint32_t>(Unsigned(reader, at, UINT32_MAX));
                       statusGiven = true;
                   } else if (key == "speed") {
                       port.speed = static_cast<uint8_t>(Unsigned(reader, at, UINT8_MAX));
                   } else if (key == "is_hub") {
                       port.isHub = Flag(reader, at);
                   } else if (key == "config_value") {
                       port.configValue = static_cast<uint8_t>(Unsigned(reader, at, UINT8_MAX));
                   } else if (key == "address") {
                       port.address = static_cast<uint16_t>(Unsigned(reader, at, UINT16_MAX));
                   } else if (key == "device_descriptor") {
                       port.deviceDescriptor = KeptBytes(reader, at);
                       if (port.deviceDescriptor.size() != 18)
                           Fail(at, "a device descriptor is 18 bytes, found " +
                                        std::to_string(port.deviceDescriptor.size()));
                   } else if (key == "config_descriptors") {
                       ReadArray(reader, at, [&](const std::string& setPlace, size_t) {
                           reader.Charge(ElementCost<std::vector<uint8_t>>(), setPlace);
                           port.configDescriptors.push_back(KeptBytes(reader, setPlace));
                       });
                   } else if (key == "languages") {
                       port.hasLanguageList = true;
                       ReadArray(reader, at, [&](const std::string& itemPlace, size_t) {
                           reader.Charge(ElementCost<uint16_t>(), itemPlace);
                           port.languages.push_back(Language(Text(reader, itemPlace), itemPlace));
                       });
                   } else if (key == "strings") {
                       ReadStrings(reader, at, port);
                   } else if (key == "raw_strings") {
                       ReadEntries(reader, at, "an object", [&](const std::string& name, const std::string& itemPlace) {
                           const auto indexAndLanguage = IndexAndLanguage(name, itemPlace);
                           reader.Charge(kNode + sizeof(std::vector<uint8_t>), itemPlace);
                           port.rawStrings[indexAndLanguage] = KeptBytes(reader, itemPlace);
                       });
                   } else if (key == "driver_key") {
                       if (NotNull(reader))
                           port.driverKey = Name16(reader, at);
                   } else if (key == "hub") {
                       if (NotNull(reader)) {
                           port.hub = ReadHub(reader, at, depth + 1);
                           hubPlace = at;
                       }
                   } else if (key == "fail") {
                       port.fail = Failures(reader, at, true);
                   } else {  // pipes
                       ReadArray(reader, at, [&](const std::string& itemPlace, size_t) {
                           reader.Charge(ElementCost<std::vector<uint8_t>>(), itemPlace);
                           port.pipes.push_back(KeptBytes(reader, itemPlace));
                           if (port.pipes.back().size() != 7)
                               Fail(itemPlace, "a pipe is a 7-byte endpoint descriptor, found " +
                                                   std::to_string(port.pipes.back().size()) + " bytes");
                       });
                   }
               });
    if (!statusGiven)
        port.status = port.deviceDescriptor.empty() ? 0 : 1;
    if (port.hub && !port.isHub)
        Fail(hubPlace, "a hub needs \"is_hub\": true");
    return port;
}

std::unique_ptr<SimHub> ReadHub(Input& reader, const std::string& place, int depth)
{
    if (depth > kMaxHubDepth)
        Fail(place, "hubs nested more than " + std::to_string(kMaxHubDepth) + " deep");
    reader.Charge(sizeof(SimHub) + kBlock, place);
    auto hub = std::make_unique<SimHub>();
    bool named = false;
    bool countGiven = false;
    std::string portsPlace = Member(place, "ports");
    ReadObject(reader, place, {"name", "open", "node_query", "port_count", "ports"},
               [&](const std::string& key, const std::string& at) {
                   if (key == "name") {
                       hub->name = Name16(reader, at);
                       named = true;
                   } else if (key == "open") {
                       hub->open = Flag(reader, at);
                   } else if (key == "node_query") {
                       hub->nodeQuery = Flag(reader, at);
                   } else if (key == "port_count") {
                       // bNumberOfPorts of the hub descriptor is one byte.
                       hub->portCount = static_cast<uint32_t>(Unsigned(reader, at, UINT8_MAX));
                       countGiven = true;
                   } else {  // ports
                       std::bitset<UINT8_MAX + 1> numbers;
                       ReadArray(reader, at, [&](const std::string& portPlace, size_t position) {
                           if (position >= UINT8_MAX)
                               Fail(at, "a hub has at most 255 ports");
                           reader.Charge(ElementCost<SimPort>(), portPlace);
                           hub->ports.push_back(ReadPort(reader, portPlace, position, depth));
                           const uint32_t number = hub->ports.back().port;
                           if (numbers.test(number))
                               Fail(portPlace, "port " + std::to_string(number) + " is listed twice");
                           numbers.set(number);
                       });
                   }
               });
    if (!named)
        Fail(place, "a hub needs a \"name\"");
    if (!countGiven)
        hub->portCount = static_cast<uint32_t>(hub->ports.size());
    return hub;
}

SimController ReadController(Input& reader, const std::string& place)
{
    SimController controller;
    ReadObject(reader, place, {"description", "open", "root_hub", "fail", "device_path"},
               [&](const std::string& key, const std::string& at) {
                   if (key == "description") {
                       if (NotNull(reader))
                           controller.description = KeptCp1252(reader, Text(reader, at), at);
                   } else if (key == "open") {
                       controller.open = Flag(reader, at);
                   } else if (key == "root_hub") {
                       if (NotNull(reader))
                           controller.rootHub = ReadHub(reader, at, 1);
                   } else if (key == "fail") {
                       controller.fail = Failures(reader, at, false);
                   } else {  // device_path
                       controller.devicePath = KeptCp1252(reader, NameText(Text(reader, at), at), at);
                   }
               });
    return controller;
}

// The keys a registry part of the file made, found by parent and name
// (case-insensitively, as the registry finds them) without a search of
// every sibling.
class RegistryKeys {
public:
    explicit RegistryKeys(SimRegistryKey& root) : root_(root) {}

    SimRegistryKey& At(Input& reader, const std::string& path, const std::string& place)
    {
        SimRegistryKey* key = &root_;
        size_t start = 0;
        while (start < path.size()) {
            size_t end = path.find('\\', start);
            if (end == std::string::npos)
                end = path.size();
            const std::string name = path.substr(start, end - start);
            auto [found, added] = byParent_.try_emplace({key, FoldedAsciiCase(name)}, nullptr);
            if (added) {
                reader.Charge(2 * kNode + 2 * name.size() + sizeof(SimRegistryKey) + ElementCost<void*>(), place);
                key->subkeys.push_back(std::make_unique<SimRegistryKey>());
                found->second = key->subkeys.back().get();
                found->second->name = name;
            }
            key = found->second;
            start = end + 1;
        }
        return *key;
    }

private:
    SimRegistryKey& root_;
    std::map<std::pair<const SimRegistryKey*, std::string>, SimRegistryKey*> byParent_;
};

void ReadRegistry(Input& reader, const std::string& place, SimRegistryKey& root)
{
    RegistryKeys keys(root);
    ReadEntries(reader, place, "an object of keys", [&](const std::string& path, const std::string& keyPlace) {
        if (path.empty() || path.front() == '\\' || path.back() == '\\' || path.find("\\\\") != std::string::npos)
            Fail(keyPlace, "a key path has no empty names");
        ExpectType(reader, Type::Object, keyPlace, "an object of values");
        SimRegistryKey& key = keys.At(reader, Cp1252(NameText(path, keyPlace), keyPlace), keyPlace);
        ReadEntries(reader, keyPlace, "an object of values", [&](const std::string& name, const std::string& at) {
            NameText(name, at);
            const Type type = reader.Peek();
            if (name == "@open") {
                key.openable = Flag(reader, at);
                return;
            }
            SimRegistryValue value;
            if (type == Type::String) {
                value = SimTextValue(Cp1252(reader.String(), at));
            } else if (type == Type::Object) {
                bool given = false;
                ReadObject(reader, at, {"hex"}, [&](const std::string&, const std::string& hexPlace) {
                    value = Bytes(Text(reader, hexPlace), hexPlace);
                    given = true;
                });
                if (!given)
                    Fail(at, "a binary value needs \"hex\"");
            } else {
                Fail(at, "expected text or {\"hex\": ...}, " + Found(type));
            }
            reader.Charge(kNode + sizeof(std::string) + sizeof(SimRegistryValue) + name.size() + value.capacity() +
                              kBlock,
                          at);
            key.values[Cp1252(name, at)] = std::move(value);
        });
    });
}

SimTopology ReadDocument(Input& reader)
{
    SimTopology topology;
    ReadObject(reader, "", {"controller_set", "caller_elevated", "controllers", "registry", "classes_root"},
               [&](const std::string& key, const std::string& at) {
                   if (key == "controller_set") {
                       topology.controllerSet = Flag(reader, at);
                   } else if (key == "caller_elevated") {
                       topology.callerElevated = Flag(reader, at);
                   } else if (key == "controllers") {
                       ReadArray(reader, at, [&](const std::string& controllerPlace, size_t) {
                           reader.Charge(ElementCost<SimController>(), controllerPlace);
                           topology.controllers.push_back(ReadController(reader, controllerPlace));
                       });
                   } else if (key == "registry") {
                       ReadRegistry(reader, at, topology.localMachine);
                   } else {  // classes_root
                       ReadRegistry(reader, at, topology.classesRoot);
                   }
               });
    return topology;
}

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

}  // namespace

bool ParseTopology(const std::string& text, const std::string& fileName, SimTopology* out, std::string* error)
{
    try {
        Input reader(text);
        SimTopology topology = ReadDocument(reader);
        if (out)
            *out = std::move(topology);
        return true;
    } catch (const JsonTape::SyntaxError& e) {
        SetError(error, fileName + ": not valid JSON: " + e.message);
    } catch (const FormatError& e) {
        SetError(error, fileName + ": " + (e.place.empty() ? std::string("top level") : e.place) + ": " + e.message);
    } catch (const std::exception& e) {
        SetError(error, fileName + ": cannot be loaded: " + e.what());
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
