/* A simulated PC's USB stack as one block of bytes: the form in which the
 * topology reaches the kernel driver, which reads it without a parser.
 * Little-endian; every offset counts from the start of the block; arrays
 * are of the records below. Shared by C (the driver) and C++ (the writer). */
#ifndef PORTOLAN_FLAT_TOPOLOGY_H
#define PORTOLAN_FLAT_TOPOLOGY_H

#include <stdint.h>

#define FLAT_MAGIC 0x42535550u /* "PUSB" */
#define FLAT_VERSION 2u
#define FLAT_NONE 0xFFFFFFFFu

typedef struct FlatSpan {
    uint32_t offset;
    uint32_t size; /* bytes */
} FlatSpan;

typedef struct FlatHeader {
    uint32_t magic;
    uint32_t version;
    uint32_t size; /* of the whole block */
    uint32_t controllerCount;
    uint32_t controllers; /* FlatController[] */
    uint32_t hubCount;
    uint32_t hubs; /* FlatHub[] */
    uint32_t portCount;
    uint32_t ports; /* FlatPort[] */
    uint32_t stringCount;
    uint32_t strings; /* FlatString[] */
    uint32_t flags;
} FlatHeader;

/* FlatHeader.flags: the caller is no administrator; the hub drivers refuse
 * IOCTL_USB_HUB_CYCLE_PORT, as Windows 8 and later do. */
#define FLAT_CALLER_NOT_ELEVATED 0x1u

/* FlatController.flags */
#define FLAT_CONTROLLER_OPEN 0x1u
#define FLAT_CONTROLLER_HAS_DESCRIPTION 0x2u
#define FLAT_FAIL_ROOT_HUB_NAME_PROBE 0x4u
#define FLAT_FAIL_ROOT_HUB_NAME 0x8u
/* SetupAPI does not give this controller's interface: the set of host
 * controllers is not there, its enumeration ended at or before this one, or
 * reading its interface or path fails. */
#define FLAT_CONTROLLER_NO_INTERFACE 0x10u

typedef struct FlatController {
    uint32_t flags;
    uint32_t rootHub;     /* hub index, or FLAT_NONE: no root hub name */
    FlatSpan description; /* code page 1252, no terminator */
} FlatController;

/* FlatHub.flags */
#define FLAT_HUB_OPEN 0x1u
#define FLAT_HUB_NODE_QUERY 0x2u

typedef struct FlatHub {
    uint32_t flags;
    uint32_t portCount;   /* bNumberOfPorts */
    uint32_t firstPort;   /* the listed ports: FlatPort[firstPort ...] */
    uint32_t listedPorts;
    uint32_t opensAs;     /* the hub that "\\.\" + this hub's name opens */
    uint32_t controller;  /* whose bus it is on */
    uint32_t parentPort;  /* the port it is plugged into, or FLAT_NONE for a root hub */
    FlatSpan name;        /* UTF-16, no terminator */
} FlatHub;

/* FlatPort.fail: the platform steps that fail. */
#define FLAT_FAIL_CONNECTION_EX 0x001u
#define FLAT_FAIL_CONNECTION 0x002u
#define FLAT_FAIL_DRIVER_KEY_PROBE 0x004u
#define FLAT_FAIL_DRIVER_KEY 0x008u
#define FLAT_FAIL_HUB_NAME_PROBE 0x010u
#define FLAT_FAIL_HUB_NAME 0x020u
#define FLAT_FAIL_CONFIG_PROBE 0x040u
#define FLAT_FAIL_CONFIG 0x080u
#define FLAT_FAIL_CYCLE_PORT 0x100u

/* FlatPort.flags */
#define FLAT_PORT_IS_HUB 0x1u
#define FLAT_PORT_HAS_LANGUAGE_LIST 0x4u
#define FLAT_PORT_HAS_DRIVER_KEY 0x8u
#define FLAT_PORT_HAS_SECOND_REPLY 0x10u

typedef struct FlatPort {
    uint32_t port;   /* ConnectionIndex */
    uint32_t status; /* ConnectionStatus */
    uint32_t flags;
    uint32_t fail;
    uint8_t speed;
    uint8_t configValue;
    uint16_t address;
    FlatSpan deviceDescriptor; /* 18 bytes, or empty: none */
    uint32_t hub;          /* the hub plugged in here, or FLAT_NONE */
    uint32_t ownerHub;     /* the hub this port belongs to */
    FlatSpan driverKey;    /* UTF-16 */
    FlatSpan configs;      /* FlatSpan[] of whole configuration sets */
    FlatSpan secondReply;  /* what a configuration request other than the probe gets instead */
    FlatSpan languages;    /* uint16_t[] */
    FlatSpan pipes;        /* 7-byte endpoint descriptors */
    uint32_t firstString;  /* FlatString[firstString ...], sorted by kind, index, language */
    uint32_t stringCount;
} FlatPort;

/* FlatString.kind */
#define FLAT_STRING_TEXT 0u   /* data: UTF-16 text, sent as a string descriptor */
#define FLAT_STRING_RAW 1u    /* data: the reply's bytes as they stand */
#define FLAT_STRING_FAILS 2u  /* the request stalls */

typedef struct FlatString {
    uint8_t kind;
    uint8_t index;
    uint16_t language;
    FlatSpan data;
} FlatString;

#endif
