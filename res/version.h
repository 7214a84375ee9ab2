// The version of what ships: the version resources, the report's header and
// the package's name take it from here.
#pragma once

#define PORTOLAN_VERSION_MAJOR 1
#define PORTOLAN_VERSION_MINOR 0
#define PORTOLAN_VERSION_PATCH 0
#define PORTOLAN_VERSION_TEXT "1.0.0"
#define PORTOLAN_FILE_VERSION_TEXT "1.0.0.0"
