// Runs the device-tree scan against a simulated PC read from a topology file
// and prints the tree: as text, or as JSON with --json.
#include <cstdio>
#include <cstring>
#include <string>

#include "sim/sim_session.h"
#include "sim/topology_loader.h"
#include "app/report_text.h"
#include "tools/report_json.h"
#include "tree/device_tree.h"
#include "tree/topology_scan.h"

namespace {

constexpr char kUsage[] =
    "usage: portolan-report [--show-unused-ports] [--show-unused-controllers] [--json] [--stats] TOPOLOGY.json";
constexpr int kFailure = 2;

struct Options {
    bool showUnusedPorts = false;
    bool showUnusedControllers = false;
    bool json = false;
    bool stats = false;
    std::string file;
};

int UsageError(const std::string& problem)
{
    fprintf(stderr, "portolan-report: %s; %s\n", problem.c_str(), kUsage);
    return kFailure;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    bool haveFile = false;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && (arg == "--help" || arg == "-h")) {
            printf("%s\n", kUsage);
            return 0;
        } else if (!optionsEnded && arg == "--show-unused-ports") {
            options.showUnusedPorts = true;
        } else if (!optionsEnded && arg == "--show-unused-controllers") {
            options.showUnusedControllers = true;
        } else if (!optionsEnded && arg == "--json") {
            options.json = true;
        } else if (!optionsEnded && arg == "--stats") {
            options.stats = true;
        } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            return UsageError("unknown option " + arg);
        } else if (haveFile) {
            return UsageError("more than one topology file");
        } else {
            options.file = arg;
            haveFile = true;
        }
    }
    if (!haveFile)
        return UsageError("no topology file");

    SimTopology topology;
    std::string error;
    if (!LoadTopologyFile(options.file, &topology, &error)) {
        fprintf(stderr, "portolan-report: %s\n", error.c_str());
        return kFailure;
    }

    SimSession session(std::move(topology));
    ShowUnusedPorts = options.showUnusedPorts ? 1 : 0;
    ShowUnusedControllers = options.showUnusedControllers ? 1 : 0;
    RefreshTree();
    std::string output;
    if (options.json) {
        output = TreeAsJson(session.Tree(), session.Status().Text(), options.stats ? &session : nullptr);
    } else {
        output = ReportBody(session.Tree(), session.Status().Text());
        if (options.stats)
            output += RequestsAsText(session);
    }
    ClearTree();
    fwrite(output.data(), 1, output.size(), stdout);
    return fflush(stdout) == 0 ? 0 : kFailure;
}
