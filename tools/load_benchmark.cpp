// Loads topology files of hostile shapes and sizes and reports what loading
// one costs: the peak of heap bytes live during the load (the text itself
// not counted) as a multiple of the file's size, and the time. Exits with 1
// when a load costs more than kMaxBytesPerFileByte times the file's size
// (plus kAllowance), when a realistic PC is refused, or when a shape's time
// grows faster than its size. The argument: the larger size in MiB (16).
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <new>
#include <string>

#include "sim/topology_loader.h"

namespace {

size_t g_live = 0;
size_t g_peak = 0;

}  // namespace

// Every allocation of the process, counted with the allocator's own
// rounding and its header word.
void* operator new(size_t size)
{
    void* block = malloc(size ? size : 1);
    if (!block)
        throw std::bad_alloc();
    g_live += malloc_usable_size(block) + sizeof(size_t);
    if (g_live > g_peak)
        g_peak = g_live;
    return block;
}

void operator delete(void* block) noexcept
{
    if (!block)
        return;
    g_live -= malloc_usable_size(block) + sizeof(size_t);
    free(block);
}

void operator delete(void* block, size_t) noexcept
{
    operator delete(block);
}

namespace {

constexpr double kMaxBytesPerFileByte = 16.0;
constexpr size_t kAllowance = size_t{1} << 20;

// Repeats item (numbered by the callback) between head and tail until the
// text reaches size bytes.
std::string Repeat(size_t size, const std::string& head, const std::function<std::string(size_t)>& item,
                   const std::string& separator, const std::string& tail)
{
    std::string text = head;
    for (size_t i = 0; text.size() + tail.size() < size; ++i) {
        if (i)
            text += separator;
        text += item(i);
    }
    return text + tail;
}

std::string Hex4(size_t n)
{
    char text[8];
    snprintf(text, sizeof(text), "%04zX", n & 0xFFFF);
    return text;
}

// Hubs of 255 ports each, every port given by item, on as many root hubs as the size takes.
std::string RootHubsOfPorts(size_t size, const std::string& port)
{
    std::string hub = R"({"root_hub": {"name": "R", "ports": [)";
    for (int i = 0; i < 255; ++i)
        hub += (i ? "," : "") + port;
    hub += "]}}";
    return Repeat(size, R"({"controllers": [)", [&](size_t) { return hub; }, ",", "]}");
}

struct Shape {
    const char* name;
    std::function<std::string(size_t)> make;
    bool mustLoad = false;  // a PC as real ones are
};

// Controllers of a 10-port root hub with a mouse on every port, strings in
// two languages, and each mouse's Class key.
std::string RealisticPc(size_t size)
{
    std::string text = R"({"controllers": [)";
    std::string registry;
    size_t device = 0;
    for (size_t controller = 0; text.size() + registry.size() + 1024 < size; ++controller) {
        text += controller ? "," : "";
        text += R"({"description": "Simulated USB Host Controller", "root_hub": {"name": "ROOT)" +
                std::to_string(controller) + R"(", "ports": [)";
        for (int port = 1; port <= 10; ++port, ++device) {
            const std::string key = "{36fc9e60-c465-11cf-8056-444553540000}\\\\" + std::to_string(device);
            text += port > 1 ? "," : "";
            text += R"({"speed": 1, "config_value": 1, "address": )" + std::to_string(port) +
                    R"(, "device_descriptor": "12 01 00 02 00 00 00 08 6D 04 77 C0 00 01 01 02 03 01",
                "config_descriptors": ["09 02 22 00 01 01 00 A0 32 09 04 00 00 01 03 01 02 00 09 21 11 01 00 01 22 34 00 07 05 81 03 04 00 0A"],
                "languages": ["0409", "0407"],
                "strings": {"1": {"0409": "Logitech", "0407": "Logitech"}, "2": {"0409": "USB Optical Mouse", "0407": "USB-Maus"},
                            "3": {"0409": "SN)" + std::to_string(device) + R"(", "0407": "SN)" + std::to_string(device) + R"("}},
                "driver_key": ")" + key + R"("})";
            registry += R"(, "System\\CurrentControlSet\\Control\\Class\\)" + key +
                        R"(": {"DriverDesc": "HID-konforme Maus", "MatchingDeviceId": "hid_device_system_mouse"})";
        }
        text += "]}}";
    }
    return text + R"(], "registry": {"_": "")" + registry + "}}";
}

const Shape kShapes[] = {
    {"realistic PCs", RealisticPc, true},
    {"empty controllers", [](size_t size) { return Repeat(size, R"({"controllers": [)", [](size_t) { return "{}"; }, ",", "]}"); }},
    {"empty ports", [](size_t size) { return RootHubsOfPorts(size, "{}"); }},
    {"ports with a speed", [](size_t size) { return RootHubsOfPorts(size, R"({"speed":1})"); }},
    {"ports with a hub", [](size_t size) { return RootHubsOfPorts(size, R"({"is_hub":true,"hub":{"name":"H"}})"); }},
    {"hubs of empty ports in hubs",
     [](size_t size) {
         std::string inner = R"({"is_hub":true,"hub":{"name":"H","ports":[)";
         for (int i = 0; i < 255; ++i)
             inner += i ? ",{}" : "{}";
         inner += "]}}";
         return RootHubsOfPorts(size, inner);
     }},
    {"registry keys",
     [](size_t size) {
         return Repeat(size, R"({"registry": {)", [](size_t i) { return "\"" + std::to_string(i) + "\":{}"; }, ",", "}}");
     }},
    {"registry values",
     [](size_t size) {
         return Repeat(size, R"({"registry": {"K": {)", [](size_t i) { return "\"" + std::to_string(i) + "\":\"\""; },
                       ",", "}}}");
     }},
    {"string languages",
     [](size_t size) {
         return RootHubsOfPorts(size, [] {
             std::string port = R"({"strings":{)";
             for (int index = 1; index <= 4; ++index) {
                 port += (index > 1 ? ",\"" : "\"") + std::to_string(index) + "\":{";
                 for (size_t language = 0; language < 64; ++language)
                     port += (language ? ",\"" : "\"") + Hex4(language) + "\":\"\"";
                 port += "}";
             }
             return port + "}}";
         }());
     }},
    {"configuration sets", [](size_t size) { return RootHubsOfPorts(size, R"({"config_descriptors":["","","","","","","",""]})"); }},
    {"string failures",
     [](size_t size) {
         return RootHubsOfPorts(size, [] {
             std::string port = R"({"fail":[)";
             for (size_t language = 0; language < 64; ++language)
                 port += (language ? ",\"string:1:" : "\"string:1:") + Hex4(language) + "\"";
             return port + "]}";
         }());
     }},
    {"comment arrays", [](size_t size) { return Repeat(size, R"({"_c": [)", [](size_t) { return "[]"; }, ",", "]}"); }},
    {"comment nesting",
     [](size_t size) {
         const size_t depth = (size - 10) / 2;
         return "{\"_c\": " + std::string(depth, '[') + std::string(depth, ']') + "}";
     }},
    {"comment keys",
     [](size_t size) {
         return Repeat(size, R"({"controllers": [{)", [](size_t i) { return "\"_" + std::to_string(i) + "\":0"; }, ",",
                       "}]}");
     }},
};

struct Measure {
    double bytesPerFileByte;
    double seconds;
    bool ok;
    std::string error;  // the loader's, when it refused the file
};

Measure Load(const std::string& text)
{
    const size_t before = g_live;
    g_peak = g_live;
    SimTopology topology;
    std::string error;
    const auto start = std::chrono::steady_clock::now();
    const bool ok = ParseTopology(text, "bench.json", &topology, &error);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return {static_cast<double>(g_peak - before) / static_cast<double>(text.size()), seconds, ok, error};
}

}  // namespace

int main(int argc, char** argv)
{
    size_t largest = size_t{16} << 20;
    if (argc > 1)
        largest = static_cast<size_t>(strtoull(argv[1], nullptr, 10)) << 20;
    const size_t smaller = largest / 16;
    // Freed memory stays mapped, so that both sizes are timed without the
    // kernel's page faults, which otherwise only the larger one pays.
    mallopt(M_MMAP_MAX, 0);
    mallopt(M_TRIM_THRESHOLD, INT_MAX);
    bool ok = true;
    printf("| shape | MiB | loads | peak bytes per file byte | ms | ms per MiB |\n|---|---:|---|---:|---:|---:|\n");
    for (const Shape& shape : kShapes) {
        double secondsPerMiB[2] = {0, 0};
        int column = 0;
        for (size_t size : {smaller, largest}) {
            const std::string text = shape.make(size);
            // The fastest of three loads: another process's load on the
            // machine only ever slows a run down.
            Measure measure = Load(text);
            for (int again = 0; again < 2; ++again)
                measure.seconds = std::min(measure.seconds, Load(text).seconds);
            const double mib = static_cast<double>(text.size()) / (1 << 20);
            secondsPerMiB[column++] = measure.seconds / mib;
            const bool withinBound = static_cast<double>(text.size()) * measure.bytesPerFileByte <=
                                     kMaxBytesPerFileByte * static_cast<double>(text.size()) + kAllowance;
            printf("| %s | %.1f | %s | %.2f | %.1f | %.1f |\n", shape.name, mib, measure.ok ? "yes" : "no",
                   measure.bytesPerFileByte, measure.seconds * 1e3, measure.seconds * 1e3 / mib);
            if (shape.mustLoad && !measure.ok) {
                fprintf(stderr, "%s: refused: %s\n", shape.name, measure.error.c_str());
                ok = false;
            }
            if (!withinBound) {
                fprintf(stderr, "%s: %.2f bytes per file byte, more than %.0f\n", shape.name, measure.bytesPerFileByte,
                        kMaxBytesPerFileByte);
                ok = false;
            }
        }
        // Linear: a file 16 times the size may take at most 4 times as long per MiB.
        if (secondsPerMiB[1] > 4 * secondsPerMiB[0] + 0.01) {
            fprintf(stderr, "%s: %.1f ms per MiB at the larger size, %.1f at the smaller\n", shape.name,
                    secondsPerMiB[1] * 1e3, secondsPerMiB[0] * 1e3);
            ok = false;
        }
    }
    return ok ? 0 : 1;
}
