// PortolanDemo.exe: the same application over the simulated USB stack and
// registry, serving the sample PC bundled as resource 200; the machine's own
// windows behind the other seams.
#include <memory>
#include <string>

#include "app/main_window.h"
#include "sim/sim_registry.h"
#include "sim/sim_usb_platform.h"
#include "sim/topology_loader.h"
#include "usb/win32_code_page.h"

namespace {

constexpr int kDemoTopology = 200;

struct DemoMachine {
    SimTopology topology;
    std::unique_ptr<SimUsbPlatform> usb;
    std::unique_ptr<SimRegistry> registry;
};
DemoMachine Demo;
Win32AnsiCodePage CodePageOfMachine;

bool LoadBundledTopology(std::string* text)
{
    HRSRC resource = FindResourceA(nullptr, MAKEINTRESOURCEA(kDemoTopology), RT_RCDATA);
    HGLOBAL loaded = resource ? LoadResource(nullptr, resource) : nullptr;
    const char* bytes = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
    if (!bytes)
        return false;
    text->assign(bytes, SizeofResource(nullptr, resource));
    return true;
}

}  // namespace

bool InstallPlatform()
{
    std::string text;
    std::string error;
    if (!LoadBundledTopology(&text) || !ParseTopology(text, "office-pc.json", &Demo.topology, &error))
        return false;
    Demo.usb = std::make_unique<SimUsbPlatform>(Demo.topology);
    Demo.registry = std::make_unique<SimRegistry>(Demo.topology);
    ActiveUsbPlatform = Demo.usb.get();
    ActiveCodePage = &CodePageOfMachine;
    ActiveRegistry = Demo.registry.get();
    InstallWindowPlatform();
    return true;
}
