/* The private control device of the simulated USB stack driver
 * (\\.\PortolanUsbControl): its I/O controls and what they carry. */
#ifndef PORTOLAN_CONTROL_CODES_H
#define PORTOLAN_CONTROL_CODES_H

#include <stdint.h>

/* CTL_CODE(FILE_DEVICE_UNKNOWN, 0x900 + n, METHOD_BUFFERED, FILE_ANY_ACCESS) */
#define PORTOLAN_CONTROL_CODE(n) ((0x22u << 16) | ((0x900u + (n)) << 2))
#define IOCTL_PORTOLAN_LOAD PORTOLAN_CONTROL_CODE(0)        /* in: a flat topology block */
#define IOCTL_PORTOLAN_PLUG PORTOLAN_CONTROL_CODE(1)        /* in: uint32_t port index */
#define IOCTL_PORTOLAN_UNPLUG PORTOLAN_CONTROL_CODE(2)      /* in: uint32_t port index */
#define IOCTL_PORTOLAN_STATS PORTOLAN_CONTROL_CODE(3)       /* out: PortolanUsbStats */
#define IOCTL_PORTOLAN_RESET_STATS PORTOLAN_CONTROL_CODE(4) /* the request counts back to zero */

#define PORTOLAN_USB_CODES 16

typedef struct PortolanUsbIoctlCount {
    uint32_t code;
    uint32_t count;
} PortolanUsbIoctlCount;

typedef struct PortolanUsbStats {
    uint32_t generation; /* of the topology loaded last */
    uint32_t loaded;     /* nonzero once it has replaced the one before */
    uint32_t expected;   /* devices it makes: controllers, hubs, devices plugged in */
    uint32_t started;    /* devices started now */
    uint32_t live;       /* device objects of controllers, hubs and devices */
    uint32_t busStarted; /* the root-enumerated bus has its device and has started */
    uint32_t removed;    /* devices removed since the driver started */
    /* Since the last reset: I/O controls to controllers and hubs by code,
     * opens (and those refused), closes, and handles open now. */
    PortolanUsbIoctlCount ioctl[PORTOLAN_USB_CODES];
    uint32_t opens;
    uint32_t openFailures;
    uint32_t closes;
    uint32_t openHandles;
    /* Port cycles the hub driver accepted, and the last one's request. */
    uint32_t cycles;
    uint32_t lastCycleHub;
    uint32_t lastCyclePort;
    uint32_t lastCycleIn;
    uint32_t lastCycleOut;
} PortolanUsbStats;

#endif
