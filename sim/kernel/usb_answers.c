#include "sim/kernel/usb_answers.h"

#include <stddef.h>

#define IOCTL_ROOT_HUB_NAME_OR_NODE_INFORMATION 0x220408u
#define IOCTL_CONNECTION_INFORMATION 0x22040Cu
#define IOCTL_DESCRIPTOR_FROM_CONNECTION 0x220410u
#define IOCTL_CONNECTION_NAME 0x220414u
#define IOCTL_CONNECTION_DRIVER_KEY_NAME 0x220420u
#define IOCTL_CYCLE_PORT 0x220444u
#define IOCTL_CONNECTION_INFORMATION_EX 0x220448u

/* Record sizes and field offsets of usbioctl.h (byte-packed). */
#define NODE_INFORMATION_SIZE 76u
#define CONNECTION_INFORMATION_SIZE 35u
#define PIPE_INFO_SIZE 11u
#define ENDPOINT_DESCRIPTOR_SIZE 7u
#define DESCRIPTOR_REQUEST_SIZE 12u
#define CONNECTION_NAME_SIZE 10u
#define CONNECTION_NAME_TEXT 8u
#define ROOT_HUB_NAME_SIZE 6u
#define ROOT_HUB_NAME_TEXT 4u
#define CYCLE_PORT_PARAMS_SIZE 8u
#define CONFIGURATION_DESCRIPTOR_SIZE 9u
#define DEVICE_DESCRIPTOR_SIZE 18u

#define MAX_PIPES 256u

static void Copy(uint8_t* to, const uint8_t* from, uint32_t count)
{
    uint32_t i;
    for (i = 0; i < count; ++i)
        to[i] = from[i];
}

static void Zero(uint8_t* to, uint32_t count)
{
    uint32_t i;
    for (i = 0; i < count; ++i)
        to[i] = 0;
}

static uint32_t Min(uint32_t a, uint32_t b)
{
    return a < b ? a : b;
}

static uint32_t Read32(const uint8_t* at)
{
    return (uint32_t)at[0] | ((uint32_t)at[1] << 8) | ((uint32_t)at[2] << 16) | ((uint32_t)at[3] << 24);
}

static void Write32(uint8_t* at, uint32_t value)
{
    at[0] = (uint8_t)value;
    at[1] = (uint8_t)(value >> 8);
    at[2] = (uint8_t)(value >> 16);
    at[3] = (uint8_t)(value >> 24);
}

static const FlatHeader* Header(const uint8_t* block)
{
    return (const FlatHeader*)block;
}

static const FlatHub* HubOf(const uint8_t* block, uint32_t hub)
{
    return (const FlatHub*)(block + Header(block)->hubs) + hub;
}

static const FlatPort* PortOf(const uint8_t* block, uint32_t port)
{
    return (const FlatPort*)(block + Header(block)->ports) + port;
}

static const FlatString* StringOf(const uint8_t* block, uint32_t string)
{
    return (const FlatString*)(block + Header(block)->strings) + string;
}

/* ---- checking a block ---- */

static int Within(uint32_t size, uint32_t offset, uint64_t bytes)
{
    return (uint64_t)offset + bytes <= size;
}

static int SpanWithin(uint32_t size, const FlatSpan* span)
{
    return Within(size, span->offset, span->size);
}

static int ArrayWithin(uint32_t size, uint32_t offset, uint32_t count, uint32_t record)
{
    return (offset % 4) == 0 && Within(size, offset, (uint64_t)count * record);
}

int FlatCheck(const uint8_t* block, uint32_t size)
{
    const FlatHeader* header = Header(block);
    uint32_t i;
    if (!block || size < sizeof(FlatHeader) || ((uintptr_t)block % 4) != 0)
        return 0;
    if (header->magic != FLAT_MAGIC || header->version != FLAT_VERSION || header->size != size)
        return 0;
    if (!ArrayWithin(size, header->controllers, header->controllerCount, sizeof(FlatController)) ||
        !ArrayWithin(size, header->hubs, header->hubCount, sizeof(FlatHub)) ||
        !ArrayWithin(size, header->ports, header->portCount, sizeof(FlatPort)) ||
        !ArrayWithin(size, header->strings, header->stringCount, sizeof(FlatString)))
        return 0;
    for (i = 0; i < header->controllerCount; ++i) {
        const FlatController* controller = (const FlatController*)(block + header->controllers) + i;
        if (controller->rootHub != FLAT_NONE && controller->rootHub >= header->hubCount)
            return 0;
        if (!SpanWithin(size, &controller->description))
            return 0;
    }
    for (i = 0; i < header->hubCount; ++i) {
        const FlatHub* hub = HubOf(block, i);
        if ((uint64_t)hub->firstPort + hub->listedPorts > header->portCount || hub->opensAs >= header->hubCount ||
            hub->controller >= header->controllerCount ||
            (hub->parentPort != FLAT_NONE && hub->parentPort >= header->portCount) || !SpanWithin(size, &hub->name) ||
            (hub->name.size % 2) != 0)
            return 0;
    }
    for (i = 0; i < header->portCount; ++i) {
        const FlatPort* port = PortOf(block, i);
        uint32_t set;
        if ((port->hub != FLAT_NONE && port->hub >= header->hubCount) || port->ownerHub >= header->hubCount)
            return 0;
        if (!SpanWithin(size, &port->deviceDescriptor) || !SpanWithin(size, &port->driverKey) ||
            !SpanWithin(size, &port->secondReply) || !SpanWithin(size, &port->languages) ||
            !SpanWithin(size, &port->pipes) || (port->driverKey.size % 2) != 0 || (port->languages.size % 2) != 0 ||
            (port->pipes.size % ENDPOINT_DESCRIPTOR_SIZE) != 0 || port->pipes.size / ENDPOINT_DESCRIPTOR_SIZE > MAX_PIPES)
            return 0;
        if (!ArrayWithin(size, port->configs.offset, port->configs.size / sizeof(FlatSpan), sizeof(FlatSpan)) ||
            (port->configs.size % sizeof(FlatSpan)) != 0)
            return 0;
        for (set = 0; set < port->configs.size / sizeof(FlatSpan); ++set)
            if (!SpanWithin(size, (const FlatSpan*)(block + port->configs.offset) + set))
                return 0;
        if ((uint64_t)port->firstString + port->stringCount > header->stringCount)
            return 0;
    }
    for (i = 0; i < header->stringCount; ++i) {
        const FlatString* string = StringOf(block, i);
        if (!SpanWithin(size, &string->data) || (string->kind == FLAT_STRING_TEXT && (string->data.size % 2) != 0))
            return 0;
    }
    return 1;
}

/* ---- answers ---- */

uint32_t FlatFindPort(const uint8_t* block, uint32_t hub, uint32_t index)
{
    const FlatHub* record = HubOf(block, hub);
    uint32_t i;
    for (i = 0; i < record->listedPorts; ++i)
        if (PortOf(block, record->firstPort + i)->port == index)
            return record->firstPort + i;
    return FLAT_NONE;
}

static uint32_t PortCountOf(const FlatHub* hub)
{
    return hub->portCount & 0xFF;
}

/* Writes a name record's ActualLength and as much of the name (with its
 * terminator) as fits after nameOffset; returns the bytes of the answer. */
static uint32_t FillName(uint8_t* out, uint32_t outSize, uint32_t nameOffset, const uint16_t* name, uint32_t units)
{
    const uint32_t actualLength = nameOffset + (units + 1) * 2;
    const uint32_t room = (outSize - nameOffset) / 2;
    uint32_t i;
    Write32(out + nameOffset - 4, actualLength);
    for (i = 0; i < room && i <= units; ++i) {
        const uint16_t unit = i < units ? name[i] : 0;
        out[nameOffset + 2 * i] = (uint8_t)unit;
        out[nameOffset + 2 * i + 1] = (uint8_t)(unit >> 8);
    }
    return Min(outSize, actualLength);
}

static const uint16_t* HubName(const FlatStack* stack, uint32_t hub, uint32_t* units)
{
    *units = 0;
    return stack->hubName ? stack->hubName(stack->context, hub, units) : 0;
}

int FlatControllerIoControl(const FlatStack* stack, uint32_t controller, uint32_t code, uint8_t* buffer,
                            uint32_t inSize, uint32_t outSize, uint32_t* written)
{
    const FlatController* record =
        (const FlatController*)(stack->block + Header(stack->block)->controllers) + controller;
    uint32_t units = 0;
    const uint16_t* name;
    int probe;
    (void)inSize;
    *written = 0;
    if (code != IOCTL_ROOT_HUB_NAME_OR_NODE_INFORMATION || record->rootHub == FLAT_NONE ||
        outSize < ROOT_HUB_NAME_SIZE)
        return 0;
    probe = outSize == ROOT_HUB_NAME_SIZE;
    if (record->flags & (probe ? FLAT_FAIL_ROOT_HUB_NAME_PROBE : FLAT_FAIL_ROOT_HUB_NAME))
        return 0;
    Zero(buffer, outSize);
    name = HubName(stack, record->rootHub, &units);
    *written = FillName(buffer, outSize, ROOT_HUB_NAME_TEXT, name, units);
    return 1;
}

/* Calls take(descriptor, 7 bytes) for each open pipe of the port: those it
 * lists, or else, for a configured device, the endpoints of set 0. */
static uint32_t OpenPipes(const uint8_t* block, const FlatPort* port, uint8_t* out, uint32_t outSize,
                          uint32_t* written)
{
    const uint8_t* pipes = block + port->pipes.offset;
    uint32_t count = port->pipes.size / ENDPOINT_DESCRIPTOR_SIZE;
    uint32_t i;
    const FlatSpan* sets = (const FlatSpan*)(block + port->configs.offset);
    const int derived = count == 0 && port->status == 1 && port->configValue != 0 && port->configs.size != 0;
    uint32_t found = 0;
    if (!derived) {
        for (i = 0; i < count; ++i) {
            if (*written + PIPE_INFO_SIZE <= outSize) {
                Copy(out + *written, pipes + i * ENDPOINT_DESCRIPTOR_SIZE, ENDPOINT_DESCRIPTOR_SIZE);
                *written += PIPE_INFO_SIZE;
            } else {
                outSize = 0;  /* the ones after a pipe that does not fit are not written either */
            }
        }
        return count;
    }
    {
        const uint8_t* set = block + sets[0].offset;
        const uint32_t size = sets[0].size;
        uint32_t cursor = 0;
        while (cursor + 2 <= size) {
            const uint8_t length = set[cursor];
            if (length < 2 || cursor + length > size)
                break;
            if (set[cursor + 1] == 5 && length >= ENDPOINT_DESCRIPTOR_SIZE) {
                ++found;
                if (*written + PIPE_INFO_SIZE <= outSize) {
                    Copy(out + *written, set + cursor, ENDPOINT_DESCRIPTOR_SIZE);
                    *written += PIPE_INFO_SIZE;
                } else {
                    outSize = 0;
                }
            }
            cursor += length;
        }
    }
    return found;
}

static uint32_t FillConnection(const uint8_t* block, uint8_t* out, uint32_t outSize, const FlatPort* port,
                               uint8_t speedField)
{
    const uint32_t index = Read32(out);
    uint32_t written = CONNECTION_INFORMATION_SIZE;
    uint32_t pipes;
    Zero(out, outSize);
    Write32(out, index);
    if (!port)
        return CONNECTION_INFORMATION_SIZE;
    if (port->deviceDescriptor.size == DEVICE_DESCRIPTOR_SIZE)
        Copy(out + 4, block + port->deviceDescriptor.offset, DEVICE_DESCRIPTOR_SIZE);
    out[22] = port->configValue;
    out[23] = speedField;
    out[24] = (port->flags & FLAT_PORT_IS_HUB) ? 1 : 0;
    out[25] = (uint8_t)port->address;
    out[26] = (uint8_t)(port->address >> 8);
    Write32(out + 31, port->status);
    pipes = OpenPipes(block, port, out, outSize, &written);
    Write32(out + 27, pipes);
    return written;
}

/* The string request's stall, raw reply or text, by kind. */
static const FlatString* FindString(const uint8_t* block, const FlatPort* port, uint8_t kind, uint8_t index,
                                    uint16_t language)
{
    uint32_t i;
    for (i = 0; i < port->stringCount; ++i) {
        const FlatString* string = StringOf(block, port->firstString + i);
        if (string->kind == kind && string->index == index && string->language == language)
            return string;
    }
    return 0;
}

/* A string descriptor of UTF-16 text from the block (or of the language
 * IDs): bLength is one byte, so at most 126 units fit. */
static uint32_t StringDescriptor(uint8_t* out, uint32_t room, const uint8_t* units, uint32_t unitCount)
{
    uint8_t head[2];
    uint32_t count;
    if (unitCount > 126)
        unitCount = 126;
    head[0] = (uint8_t)(2 + 2 * unitCount);
    head[1] = 3;
    count = Min(room, 2);
    Copy(out, head, count);
    if (room > 2)
        Copy(out + 2, units, Min(room - 2, 2 * unitCount));
    return 2 + 2 * unitCount;
}

/* Fills the reply to a GET_DESCRIPTOR request into out (room bytes at most)
 * and gives its whole length; zero return: the device stalls. */
static int DescriptorReply(const uint8_t* block, const FlatPort* port, uint16_t value, uint16_t index,
                           uint16_t length, uint8_t* out, uint32_t room, uint32_t* replyLength)
{
    const uint8_t type = (uint8_t)(value >> 8);
    const uint8_t number = (uint8_t)value;
    const FlatString* string;
    const FlatSpan* reply = 0;
    if (type == 1) {
        reply = &port->deviceDescriptor;
        if (reply->size == 0)
            return 0;
    } else if (type == 2) {
        const FlatSpan* sets = (const FlatSpan*)(block + port->configs.offset);
        if (port->fail & (length == CONFIGURATION_DESCRIPTOR_SIZE ? FLAT_FAIL_CONFIG_PROBE : FLAT_FAIL_CONFIG))
            return 0;
        if (number >= port->configs.size / sizeof(FlatSpan))
            return 0;
        reply = &sets[number];
        if (length != CONFIGURATION_DESCRIPTOR_SIZE && (port->flags & FLAT_PORT_HAS_SECOND_REPLY))
            reply = &port->secondReply;
    } else if (type == 3) {
        if (FindString(block, port, FLAT_STRING_FAILS, number, index))
            return 0;
        if ((string = FindString(block, port, FLAT_STRING_RAW, number, index)) != 0) {
            reply = &string->data;
        } else if (number == 0) {
            if (!(port->flags & FLAT_PORT_HAS_LANGUAGE_LIST) && port->languages.size == 0)
                return 0;
            *replyLength = StringDescriptor(out, room, block + port->languages.offset, port->languages.size / 2);
            return 1;
        } else {
            if ((string = FindString(block, port, FLAT_STRING_TEXT, number, index)) == 0)
                return 0;
            *replyLength = StringDescriptor(out, room, block + string->data.offset, string->data.size / 2);
            return 1;
        }
    } else {
        return 0;
    }
    Copy(out, block + reply->offset, Min(room, reply->size));
    *replyLength = reply->size;
    return 1;
}

int FlatHubIoControl(const FlatStack* stack, uint32_t hubIndex, uint32_t code, uint8_t* buffer, uint32_t inSize,
                     uint32_t outSize, uint32_t* written, uint32_t* cycledPort)
{
    const uint8_t* block = stack->block;
    const FlatHub* hub = HubOf(block, hubIndex);
    uint32_t index = 0;
    int validPort;
    uint32_t portIndex;
    const FlatPort* port;
    *written = 0;
    if (inSize >= 4)
        index = Read32(buffer);
    validPort = index >= 1 && index <= PortCountOf(hub);
    portIndex = validPort ? FlatFindPort(block, hubIndex, index) : FLAT_NONE;
    if (portIndex != FLAT_NONE && stack->absent && stack->absent[portIndex])
        portIndex = FLAT_NONE; /* an unplugged port answers as an empty one */
    port = portIndex == FLAT_NONE ? 0 : PortOf(block, portIndex);

    switch (code) {
    case IOCTL_ROOT_HUB_NAME_OR_NODE_INFORMATION: {
        const uint32_t ports = PortCountOf(hub);
        if (inSize < NODE_INFORMATION_SIZE || outSize < NODE_INFORMATION_SIZE || !(hub->flags & FLAT_HUB_NODE_QUERY))
            return 0;
        Zero(buffer, NODE_INFORMATION_SIZE);
        /* NodeType UsbHub (0); the hub descriptor from byte 4. */
        buffer[4] = (uint8_t)(7 + 2 * ((ports + 8) / 8));
        buffer[5] = 0x29;
        buffer[6] = (uint8_t)ports;
        buffer[7] = 0x09; /* wHubCharacteristics */
        buffer[9] = 50;   /* bPowerOnToPowerGood */
        buffer[10] = 100; /* bHubControlCurrent */
        *written = NODE_INFORMATION_SIZE;
        return 1;
    }
    case IOCTL_CONNECTION_INFORMATION_EX:
    case IOCTL_CONNECTION_INFORMATION: {
        const int newer = code == IOCTL_CONNECTION_INFORMATION_EX;
        uint8_t speedField;
        if (inSize < CONNECTION_INFORMATION_SIZE || outSize < CONNECTION_INFORMATION_SIZE)
            return 0;
        if (!validPort || (port && (port->fail & (newer ? FLAT_FAIL_CONNECTION_EX : FLAT_FAIL_CONNECTION))))
            return 0;
        if (newer)
            speedField = port ? port->speed : 0;
        else
            speedField = port && port->speed == 0 ? 1 : 0;
        *written = FillConnection(block, buffer, outSize, port, speedField);
        return 1;
    }
    case IOCTL_DESCRIPTOR_FROM_CONNECTION: {
        uint16_t value;
        uint16_t language;
        uint16_t length;
        uint32_t replyLength = 0;
        uint32_t room;
        if (inSize < DESCRIPTOR_REQUEST_SIZE || outSize < DESCRIPTOR_REQUEST_SIZE)
            return 0;
        if (!port || port->status != 1)
            return 0;
        value = (uint16_t)(buffer[6] | (buffer[7] << 8));
        language = (uint16_t)(buffer[8] | (buffer[9] << 8));
        length = (uint16_t)(buffer[10] | (buffer[11] << 8));
        room = Min(outSize - DESCRIPTOR_REQUEST_SIZE, length);
        if (!DescriptorReply(block, port, value, language, length, buffer + DESCRIPTOR_REQUEST_SIZE, room,
                             &replyLength))
            return 0;
        *written = DESCRIPTOR_REQUEST_SIZE + Min(replyLength, room);
        return 1;
    }
    case IOCTL_CONNECTION_NAME:
    case IOCTL_CONNECTION_DRIVER_KEY_NAME: {
        const int driverKey = code == IOCTL_CONNECTION_DRIVER_KEY_NAME;
        int probe;
        const uint16_t* name = 0;
        uint32_t units = 0;
        if (inSize < CONNECTION_NAME_SIZE || outSize < CONNECTION_NAME_SIZE || !validPort)
            return 0;
        probe = outSize == CONNECTION_NAME_SIZE;
        if (driverKey) {
            if (!port || port->status == 0 || !(port->flags & FLAT_PORT_HAS_DRIVER_KEY))
                return 0;
            if (port->fail & (probe ? FLAT_FAIL_DRIVER_KEY_PROBE : FLAT_FAIL_DRIVER_KEY))
                return 0;
            name = (const uint16_t*)(block + port->driverKey.offset);
            units = port->driverKey.size / 2;
        } else {
            if (port && (port->fail & (probe ? FLAT_FAIL_HUB_NAME_PROBE : FLAT_FAIL_HUB_NAME)))
                return 0;
            /* A port without a hub has an empty name. */
            if (port && (port->flags & FLAT_PORT_IS_HUB) && port->hub != FLAT_NONE)
                name = HubName(stack, port->hub, &units);
        }
        Zero(buffer + 4, outSize - 4);
        *written = FillName(buffer, outSize, CONNECTION_NAME_TEXT, name, units);
        return 1;
    }
    case IOCTL_CYCLE_PORT:
        /* The documented input is a whole USB_CYCLE_PORT_PARAMS. */
        if (inSize < CYCLE_PORT_PARAMS_SIZE || !validPort || (port && (port->fail & FLAT_FAIL_CYCLE_PORT)) ||
            (Header(stack->block)->flags & FLAT_CALLER_NOT_ELEVATED))
            return 0;
        if (cycledPort)
            *cycledPort = index;
        return 1;
    default:
        return 0;
    }
}
