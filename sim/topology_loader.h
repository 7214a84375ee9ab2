// Reads a simulated PC from a topology file (JSON).
//
// {"controller_set": bool, "caller_elevated": bool, "controllers": [CONTROLLER...],
//  "registry": {"KEY\\PATH": {"Name": "text" | {"hex": "..."}, "@open": bool}},
//  "classes_root": {same as "registry"}}
// CONTROLLER: description (null: unreadable), open, device_path, fail,
//             root_hub (HUB, or null: no root hub name).
// HUB: name ("" for a stopped root hub: its name query succeeds with an
//      empty name), open, node_query, port_count, ports [PORT...].
// "caller_elevated": false plays a program without administrator rights, to
// which the hub drivers refuse every port cycle; true when not given.
// PORT: port, status, speed, is_hub, config_value, address,
//       device_descriptor, config_descriptors, languages, strings,
//       raw_strings, driver_key, hub, fail, pipes.
// A port's "status" defaults to 1 when it has a device descriptor, else 0;
// "port" defaults to its 1-based position. A "string:I:LANG" failure is kept
// as "string:<I in decimal>:<LANG in four upper-case hex digits>". Byte
// strings are hex pairs separated by blanks. Keys starting with '_' are
// comments; any other unknown key is an error. Hub names, driver keys and
// string descriptors are taken as UTF-16; controller descriptions, device
// paths, registry names and text values as code page 1252.
#pragma once

#include <string>

#include "sim/sim_topology.h"

// Fills *out only on success; otherwise *error gets one line naming the
// file and the place, e.g. "pc.json: controllers[0].root_hub: expected an object".
bool ParseTopology(const std::string& text, const std::string& fileName, SimTopology* out, std::string* error);
bool LoadTopologyFile(const std::string& path, SimTopology* out, std::string* error);
