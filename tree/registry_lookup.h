// Driver facts read from the registry for a port's driver key name.
#pragma once

constexpr unsigned kDriverDescBytes = 200;

// Fills description (200 bytes) with "DriverDesc" of the driver key, or
// leaves it as it was.
void ReadDriverDesc(const char* driverKeyName, char* description);
// "USB\<device key>\<instance key>" of the instance whose "Driver" value
// names the driver key, or null.
char* FindPnpInstanceId(const char* driverKeyName);
