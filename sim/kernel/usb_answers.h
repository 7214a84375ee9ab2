/* What the simulated host-controller and hub drivers answer to the USB
 * I/O controls, read from a flat topology block. Plain C, no library: the
 * same file runs in the kernel driver and in the native simulated stack.
 *
 * Each call works on the request's system buffer as METHOD_BUFFERED gives
 * it to a driver: max(inSize, outSize) bytes, holding the input; the answer
 * is written over it. A nonzero return completes the request with success
 * and *written bytes (at most outSize); zero fails it. */
#ifndef PORTOLAN_USB_ANSWERS_H
#define PORTOLAN_USB_ANSWERS_H

#include <stdint.h>

#include "sim/kernel/flat_topology.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The name a hub name record reports for hub index `hub` (the root hub of a
 * controller, or the hub on a port): UTF-16 units, no terminator. */
typedef const uint16_t* (*FlatHubNameFn)(void* context, uint32_t hub, uint32_t* units);

typedef struct FlatStack {
    const uint8_t* block; /* a block FlatCheck accepted */
    FlatHubNameFn hubName;
    void* context;
    const uint8_t* absent; /* per port index, nonzero: its device is unplugged (may be null) */
} FlatStack;

/* Nonzero when the block is whole: every offset, count and index within it. */
int FlatCheck(const uint8_t* block, uint32_t size);

int FlatControllerIoControl(const FlatStack* stack, uint32_t controller, uint32_t code, uint8_t* buffer,
                            uint32_t inSize, uint32_t outSize, uint32_t* written);

/* *cycledPort: set to the port the hub driver cycles (IOCTL_USB_HUB_CYCLE_PORT
 * accepted), else left alone. */
int FlatHubIoControl(const FlatStack* stack, uint32_t hub, uint32_t code, uint8_t* buffer, uint32_t inSize,
                     uint32_t outSize, uint32_t* written, uint32_t* cycledPort);

/* The listed port of `hub` with ConnectionIndex `index`, or FLAT_NONE. */
uint32_t FlatFindPort(const uint8_t* block, uint32_t hub, uint32_t index);

#ifdef __cplusplus
}
#endif

#endif
