/* A simulated USB stack as a Windows kernel driver (x64): host controllers,
 * root hubs, external hubs and devices as PnP devices with the platform's
 * device interfaces, answering the hub and host-controller I/O controls
 * from a flat topology block (usb_answers.c).
 *
 * A root-enumerated device of service PortolanUsb is the bus; its children
 * are the controllers, theirs the root hubs, a hub's the hubs and devices on
 * its ports. The control device \\.\PortolanUsbControl loads a topology,
 * plugs and unplugs the device of a port, and reports what was asked. */
#include <ntddk.h>
#include <stdio.h>

#include "sim/kernel/control_codes.h"
#include "sim/kernel/usb_answers.h"

#define POOL_TAG 0x62735550u /* "PUsb" */

static const GUID kHostControllerInterface = {0x3abf6f2d, 0x71c4, 0x462a, {0x8a, 0x92, 0x1e, 0x68, 0x61, 0xe6, 0xaf, 0x27}};
static const GUID kHubInterface = {0xf18a0e88, 0xc30c, 0x11d0, {0x88, 0x15, 0x00, 0xa0, 0xc9, 0x06, 0xbe, 0xd8}};
static const GUID kDeviceInterface = {0xa5dcbf10, 0x6530, 0x11d2, {0x90, 0x1f, 0x00, 0xc0, 0x4f, 0xb9, 0x51, 0xed}};

typedef enum NodeKind { NODE_CONTROL, NODE_BUS, NODE_CONTROLLER, NODE_HUB, NODE_DEVICE } NodeKind;

typedef struct Node {
    NodeKind kind;
    uint32_t index;         /* controller, hub or port index in the block */
    uint32_t generation;    /* of the topology it belongs to */
    DEVICE_OBJECT* self;
    DEVICE_OBJECT* lower;   /* the bus: the PDO below it */
    UNICODE_STRING link;    /* the interface of its kind */
    UNICODE_STRING deviceLink; /* a hub on a port: its USB device interface */
    BOOLEAN noInterface;    /* a controller that SetupAPI does not list */
    BOOLEAN refusesOpen;    /* a controller or hub that does not open */
    BOOLEAN onPort;         /* a hub plugged into a port, not a root hub */
    BOOLEAN linkHidden;     /* `link` is listed but leads nowhere: the device does not open */
    BOOLEAN started;
} Node;

/* Everything the driver holds, under one lock: an auto-reset event, not a
 * KMUTEX, whose release under Wine leaves a waiting thread blocked for good. */
static struct {
    KEVENT lock;
    DEVICE_OBJECT* control;
    DEVICE_OBJECT* bus;      /* the bus FDO */
    uint8_t* block;
    uint32_t size;
    uint8_t* pending;        /* a topology waiting for the old one's devices to go */
    uint32_t pendingSize;
    uint32_t generation;
    DEVICE_OBJECT** controllers;
    DEVICE_OBJECT** hubs;
    DEVICE_OBJECT** ports;   /* the device on a port (not a hub) */
    uint8_t* absent;         /* per port: unplugged */
    uint8_t* cycling;        /* per port: unplugged by a port cycle, to come back */
    uint32_t liveChildren;
    PortolanUsbStats stats;
} g;

static void Lock(void)
{
    KeWaitForSingleObject(&g.lock, Executive, KernelMode, FALSE, NULL);
}

static void Unlock(void)
{
    KeSetEvent(&g.lock, IO_NO_INCREMENT, FALSE);
}

static void* Allocate(SIZE_T size)
{
    void* memory = ExAllocatePoolWithTag(NonPagedPool, size ? size : 1, POOL_TAG);
    if (memory)
        RtlZeroMemory(memory, size ? size : 1);
    return memory;
}

static void Free(void* memory)
{
    if (memory)
        ExFreePoolWithTag(memory, POOL_TAG);
}

static const FlatHeader* Header(void)
{
    return (const FlatHeader*)g.block;
}

static const FlatHub* HubRecord(uint32_t hub)
{
    return (const FlatHub*)(g.block + Header()->hubs) + hub;
}

static const FlatPort* PortRecord(uint32_t port)
{
    return (const FlatPort*)(g.block + Header()->ports) + port;
}

static NTSTATUS Complete(IRP* irp, NTSTATUS status, ULONG_PTR information)
{
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

/* ---- the topology's arrays of device objects ---- */

static void FreeTopology(void)
{
    Free(g.block);
    Free(g.controllers);
    Free(g.hubs);
    Free(g.ports);
    Free(g.absent);
    Free(g.cycling);
    g.block = NULL;
    g.size = 0;
    g.controllers = g.hubs = g.ports = NULL;
    g.absent = g.cycling = NULL;
}

static BOOLEAN TakeTopology(uint8_t* block, uint32_t size)
{
    const FlatHeader* header = (const FlatHeader*)block;
    FreeTopology();
    g.block = block;
    g.size = size;
    ++g.generation;
    g.controllers = Allocate(sizeof(DEVICE_OBJECT*) * header->controllerCount);
    g.hubs = Allocate(sizeof(DEVICE_OBJECT*) * header->hubCount);
    g.ports = Allocate(sizeof(DEVICE_OBJECT*) * header->portCount);
    g.absent = Allocate(header->portCount);
    g.cycling = Allocate(header->portCount);
    if (!g.controllers || !g.hubs || !g.ports || !g.absent || !g.cycling) {
        FreeTopology();
        return FALSE;
    }
    return TRUE;
}

/* ---- identifiers ---- */

/* A copy in paged pool with two terminators: also a multi-string of one. */
static WCHAR* PoolText(const WCHAR* text)
{
    SIZE_T units = 0;
    WCHAR* copy;
    while (text[units])
        ++units;
    copy = ExAllocatePoolWithTag(PagedPool, (units + 2) * sizeof(WCHAR), POOL_TAG);
    if (copy) {
        RtlCopyMemory(copy, text, units * sizeof(WCHAR));
        copy[units] = copy[units + 1] = 0;
    }
    return copy;
}

static const WCHAR* DeviceIdOf(const Node* node)
{
    switch (node->kind) {
    case NODE_CONTROLLER: return L"PORTOLAN\\HOST_CONTROLLER";
    case NODE_HUB: return node->onPort ? L"PORTOLAN\\HUB" : L"PORTOLAN\\ROOT_HUB";
    default: return L"PORTOLAN\\DEVICE";
    }
}

static NTSTATUS QueryId(const Node* node, BUS_QUERY_ID_TYPE type, ULONG_PTR* information)
{
    WCHAR text[32];
    WCHAR* id;
    switch (type) {
    case BusQueryDeviceID:
    case BusQueryHardwareIDs:
        id = PoolText(DeviceIdOf(node));
        break;
    case BusQueryCompatibleIDs:
        id = PoolText(L"");
        break;
    case BusQueryInstanceID:
        /* The generation keeps a reloaded topology's devices apart from the
         * old ones'; four digits at least, so that instances sort as the
         * topology lists them. */
        _snwprintf(text, RTL_NUMBER_OF(text), L"%04u&%04u", node->generation, node->index);
        id = PoolText(text);
        break;
    default:
        return STATUS_NOT_SUPPORTED;
    }
    if (!id)
        return STATUS_INSUFFICIENT_RESOURCES;
    *information = (ULONG_PTR)id;
    return STATUS_SUCCESS;
}

/* ---- children ---- */

/* Whether a node belongs to the topology loaded now. */
static BOOLEAN Current(const Node* node)
{
    return g.block && node->generation == g.generation;
}

static DEVICE_OBJECT* CreateChild(NodeKind kind, uint32_t index)
{
    DEVICE_OBJECT* device = NULL;
    Node* node;
    if (!NT_SUCCESS(IoCreateDevice(g.control->DriverObject, sizeof(Node), NULL, FILE_DEVICE_UNKNOWN,
                                   FILE_AUTOGENERATED_DEVICE_NAME | FILE_DEVICE_SECURE_OPEN, FALSE, &device)))
        return NULL;
    node = device->DeviceExtension;
    RtlZeroMemory(node, sizeof(*node));
    node->kind = kind;
    node->index = index;
    node->generation = g.generation;
    node->self = device;
    /* What it is in this topology, kept for when a newer one has replaced it. */
    if (kind == NODE_CONTROLLER) {
        const FlatController* controller = (const FlatController*)(g.block + Header()->controllers) + index;
        node->noInterface = (controller->flags & FLAT_CONTROLLER_NO_INTERFACE) != 0;
        node->refusesOpen = !(controller->flags & FLAT_CONTROLLER_OPEN);
    } else if (kind == NODE_HUB) {
        node->refusesOpen = !(HubRecord(index)->flags & FLAT_HUB_OPEN);
        node->onPort = HubRecord(index)->parentPort != FLAT_NONE;
    }
    device->Flags |= DO_BUFFERED_IO;
    device->Flags &= ~DO_DEVICE_INITIALIZING;
    ++g.liveChildren;
    return device;
}

/* Adds the child kept in *slot to out, created first where missing. */
static void Report(DEVICE_OBJECT** slot, NodeKind kind, uint32_t index, DEVICE_OBJECT** out, uint32_t* count)
{
    if (!*slot)
        *slot = CreateChild(kind, index);
    if (*slot)
        out[(*count)++] = *slot;
}

/* The children a node reports now. */
static uint32_t Children(const Node* node, DEVICE_OBJECT** out, uint32_t room)
{
    uint32_t count = 0;
    uint32_t i;
    /* While a new topology waits, the bus reports none, so that the old devices go. */
    if (!g.block || g.pending || (node->kind != NODE_BUS && node->generation != g.generation))
        return 0;
    if (node->kind == NODE_BUS) {
        for (i = 0; i < Header()->controllerCount && count < room; ++i)
            Report(&g.controllers[i], NODE_CONTROLLER, i, out, &count);
    } else if (node->kind == NODE_CONTROLLER) {
        const FlatController* controller = (const FlatController*)(g.block + Header()->controllers) + node->index;
        if (controller->rootHub != FLAT_NONE && room)
            Report(&g.hubs[controller->rootHub], NODE_HUB, controller->rootHub, out, &count);
    } else if (node->kind == NODE_HUB) {
        const FlatHub* hub = HubRecord(node->index);
        for (i = 0; i < hub->listedPorts && count < room; ++i) {
            const uint32_t at = hub->firstPort + i;
            const FlatPort* port = PortRecord(at);
            if (g.absent[at])
                continue;
            if (port->hub != FLAT_NONE)
                Report(&g.hubs[port->hub], NODE_HUB, port->hub, out, &count);
            else if (port->status != 0)
                Report(&g.ports[at], NODE_DEVICE, at, out, &count);
        }
    }
    return count;
}

static uint32_t MostChildren(const Node* node)
{
    if (!g.block)
        return 0;
    if (node->kind == NODE_BUS)
        return Header()->controllerCount;
    if (!Current(node))
        return 0;
    if (node->kind == NODE_HUB)
        return HubRecord(node->index)->listedPorts;
    return 1;
}

static NTSTATUS ReportChildren(const Node* node, IRP* irp)
{
    DEVICE_RELATIONS* relations;
    uint32_t most;
    uint32_t i;
    Lock();
    most = MostChildren(node);
    relations = ExAllocatePoolWithTag(PagedPool, sizeof(DEVICE_RELATIONS) + sizeof(DEVICE_OBJECT*) * most, POOL_TAG);
    if (!relations) {
        Unlock();
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    relations->Count = Children(node, relations->Objects, most);
    for (i = 0; i < relations->Count; ++i)
        ObReferenceObject(relations->Objects[i]);
    Unlock();
    irp->IoStatus.Information = (ULONG_PTR)relations;
    return STATUS_SUCCESS;
}

static void Invalidate(DEVICE_OBJECT* device)
{
    if (device)
        IoInvalidateDeviceRelations(device, BusRelations);
}

/* The bus's PDO (below the bus FDO), whose relations list the controllers. */
static DEVICE_OBJECT* BusPdo(void)
{
    return g.bus ? ((Node*)g.bus->DeviceExtension)->lower : NULL;
}

static void EnableInterface(DEVICE_OBJECT* device, const GUID* guid, UNICODE_STRING* link)
{
    if (!link->Buffer && !NT_SUCCESS(IoRegisterDeviceInterface(device, guid, NULL, link)))
        return;
    IoSetDeviceInterfaceState(link, TRUE);
}

/* Wine's I/O manager hands out the handle before the driver has answered
 * the create request, so a refused create still opens. A device that must
 * not open therefore loses the symbolic link of its interface: SetupAPI
 * still lists the interface, and CreateFileA on its path fails. */
static void HideLink(Node* node)
{
    if (node->link.Buffer && NT_SUCCESS(IoDeleteSymbolicLink(&node->link)))
        node->linkHidden = TRUE;
}

/* The link back, so that disabling the interface (which deletes it) succeeds. */
static void RestoreLink(Node* node)
{
    WCHAR name[128] = {0}; /* the last unit stays the terminator */
    ULONG length = 0;
    UNICODE_STRING target;
    if (!node->linkHidden)
        return;
    node->linkHidden = FALSE;
    if (NT_SUCCESS(IoGetDeviceProperty(node->self, DevicePropertyPhysicalDeviceObjectName, sizeof(name) - sizeof(WCHAR),
                                       name, &length))) {
        RtlInitUnicodeString(&target, name);
        IoCreateSymbolicLink(&node->link, &target);
    }
}

static void DisableInterface(UNICODE_STRING* link)
{
    if (link->Buffer) {
        IoSetDeviceInterfaceState(link, FALSE);
        RtlFreeUnicodeString(link);
        link->Buffer = NULL;
    }
}

/* The device leaves: its interfaces go, with their notifications. */
static void DisableInterfaces(Node* node)
{
    RestoreLink(node);
    DisableInterface(&node->link);
    DisableInterface(&node->deviceLink);
}

static void StartChild(Node* node)
{
    if (node->kind == NODE_CONTROLLER) {
        if (!node->noInterface)
            EnableInterface(node->self, &kHostControllerInterface, &node->link);
    } else if (node->kind == NODE_HUB) {
        EnableInterface(node->self, &kHubInterface, &node->link);
        if (node->onPort)
            EnableInterface(node->self, &kDeviceInterface, &node->deviceLink);
    } else {
        EnableInterface(node->self, &kDeviceInterface, &node->link);
    }
    if (node->refusesOpen)
        HideLink(node);
    Lock();
    node->started = TRUE;
    ++g.stats.started;
    Unlock();
    if (node->kind != NODE_DEVICE)
        Invalidate(node->self);
}

/* A cycled port's device has gone: it comes back; the hub to enumerate again. */
static DEVICE_OBJECT* BackFromCycle(uint32_t port)
{
    if (port == FLAT_NONE || !g.cycling[port])
        return NULL;
    g.cycling[port] = 0;
    g.absent[port] = 0;
    return g.hubs[PortRecord(port)->ownerHub];
}

/* The child is gone from its parent's relations: forget it, and bring back
 * a cycled port's device or a pending topology. */
static void RemoveChild(Node* node)
{
    DEVICE_OBJECT* reenumerate = NULL;
    uint8_t* pending = NULL;
    uint32_t pendingSize = 0;
    DisableInterfaces(node);
    Lock();
    if (node->started)
        --g.stats.started;
    ++g.stats.removed;
    if (g.block && node->generation == g.generation) {
        if (node->kind == NODE_CONTROLLER && g.controllers[node->index] == node->self)
            g.controllers[node->index] = NULL;
        if (node->kind == NODE_HUB && g.hubs[node->index] == node->self) {
            g.hubs[node->index] = NULL;
            reenumerate = BackFromCycle(HubRecord(node->index)->parentPort);
        }
        if (node->kind == NODE_DEVICE && g.ports[node->index] == node->self) {
            g.ports[node->index] = NULL;
            reenumerate = BackFromCycle(node->index);
        }
    }
    --g.liveChildren;
    if (!g.liveChildren && g.pending) {
        pending = g.pending;
        pendingSize = g.pendingSize;
        g.pending = NULL;
        if (!TakeTopology(pending, pendingSize))
            Free(pending);
        reenumerate = BusPdo();
    }
    Unlock();
    IoDeleteDevice(node->self);
    Invalidate(reenumerate);
}

static NTSTATUS ChildPnp(Node* node, IRP* irp)
{
    IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
    NTSTATUS status = irp->IoStatus.Status;
    switch (stack->MinorFunction) {
    case IRP_MN_START_DEVICE:
        StartChild(node);
        status = STATUS_SUCCESS;
        break;
    case IRP_MN_QUERY_ID:
        status = QueryId(node, stack->Parameters.QueryId.IdType, &irp->IoStatus.Information);
        break;
    case IRP_MN_QUERY_CAPABILITIES: {
        DEVICE_CAPABILITIES* caps = stack->Parameters.DeviceCapabilities.Capabilities;
        caps->RawDeviceOK = 1;
        caps->SurpriseRemovalOK = 1;
        caps->Removable = node->kind == NODE_DEVICE || node->kind == NODE_HUB;
        caps->UniqueID = 0;
        status = STATUS_SUCCESS;
        break;
    }
    case IRP_MN_QUERY_DEVICE_RELATIONS:
        if (stack->Parameters.QueryDeviceRelations.Type == BusRelations && node->kind != NODE_DEVICE)
            status = ReportChildren(node, irp);
        break;
    case IRP_MN_SURPRISE_REMOVAL:
        DisableInterfaces(node);
        status = STATUS_SUCCESS;
        break;
    case IRP_MN_REMOVE_DEVICE:
        irp->IoStatus.Status = STATUS_SUCCESS;
        IoCompleteRequest(irp, IO_NO_INCREMENT);
        RemoveChild(node);
        return STATUS_SUCCESS;
    default:
        break;
    }
    return Complete(irp, status, irp->IoStatus.Information);
}

static NTSTATUS BusPnp(Node* node, IRP* irp)
{
    IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
    DEVICE_OBJECT* lower = node->lower;
    switch (stack->MinorFunction) {
    case IRP_MN_QUERY_DEVICE_RELATIONS:
        if (stack->Parameters.QueryDeviceRelations.Type == BusRelations) {
            NTSTATUS status = ReportChildren(node, irp);
            irp->IoStatus.Status = status;
            if (!NT_SUCCESS(status))
                return Complete(irp, status, 0);
        }
        break;
    case IRP_MN_START_DEVICE: {
        NTSTATUS status;
        irp->IoStatus.Status = STATUS_SUCCESS;
        IoSkipCurrentIrpStackLocation(irp);
        status = IoCallDriver(lower, irp);
        Lock();
        node->started = TRUE;
        Unlock();
        /* A topology loaded before the bus had its device is enumerated now. */
        Invalidate(lower);
        return status;
    }
    case IRP_MN_REMOVE_DEVICE:
        irp->IoStatus.Status = STATUS_SUCCESS;
        IoSkipCurrentIrpStackLocation(irp);
        IoCallDriver(lower, irp);
        Lock();
        g.bus = NULL;
        Unlock();
        IoDetachDevice(lower);
        IoDeleteDevice(node->self);
        return STATUS_SUCCESS;
    default:
        break;
    }
    IoSkipCurrentIrpStackLocation(irp);
    return IoCallDriver(lower, irp);
}

static NTSTATUS DispatchPnp(DEVICE_OBJECT* device, IRP* irp)
{
    Node* node = device->DeviceExtension;
    if (node->kind == NODE_BUS)
        return BusPnp(node, irp);
    if (node->kind == NODE_CONTROL)
        return Complete(irp, STATUS_NOT_SUPPORTED, 0);
    return ChildPnp(node, irp);
}

/* ---- opens and I/O controls ---- */

static NTSTATUS DispatchCreate(DEVICE_OBJECT* device, IRP* irp)
{
    Node* node = device->DeviceExtension;
    NTSTATUS status = STATUS_SUCCESS;
    if (node->kind == NODE_CONTROL)
        return Complete(irp, STATUS_SUCCESS, 0);
    Lock();
    ++g.stats.opens;
    if (node->kind == NODE_BUS || !Current(node))
        status = STATUS_NO_SUCH_DEVICE;
    else if (node->kind == NODE_DEVICE || node->refusesOpen)
        status = STATUS_ACCESS_DENIED; /* the scan opens no device, and this one refuses */
    if (!NT_SUCCESS(status)) {
        ++g.stats.openFailures;
    } else {
        ++g.stats.openHandles;
        /* Marks the handle as opened, for its close. */
        IoGetCurrentIrpStackLocation(irp)->FileObject->FsContext2 = node;
    }
    Unlock();
    return Complete(irp, status, 0);
}

static NTSTATUS DispatchClose(DEVICE_OBJECT* device, IRP* irp)
{
    Node* node = device->DeviceExtension;
    FILE_OBJECT* file = IoGetCurrentIrpStackLocation(irp)->FileObject;
    if (node->kind != NODE_CONTROL && file && file->FsContext2 == node) {
        Lock();
        ++g.stats.closes;
        if (g.stats.openHandles)
            --g.stats.openHandles;
        Unlock();
    }
    return Complete(irp, STATUS_SUCCESS, 0);
}

/* The name "\\.\" + which opens hub `hub` as the platform names hubs: its
 * interface link without the "\??\" in front. */
static const uint16_t* HubLinkName(void* context, uint32_t hub, uint32_t* units)
{
    const FlatHub* record = HubRecord(hub);
    DEVICE_OBJECT* target = g.hubs[record->opensAs];
    (void)context;
    /* A stopped root hub: the name query succeeds with an empty name. */
    if (target && record->name.size) {
        const Node* node = target->DeviceExtension;
        if (node->link.Buffer && node->link.Length > 8) {
            *units = node->link.Length / sizeof(WCHAR) - 4;
            return (const uint16_t*)node->link.Buffer + 4;
        }
    }
    *units = record->name.size / 2;
    return (const uint16_t*)(g.block + record->name.offset);
}

static void CountIoctl(uint32_t code)
{
    uint32_t i;
    for (i = 0; i < PORTOLAN_USB_CODES; ++i) {
        if (g.stats.ioctl[i].code == code || g.stats.ioctl[i].code == 0) {
            g.stats.ioctl[i].code = code;
            ++g.stats.ioctl[i].count;
            return;
        }
    }
}

static NTSTATUS UsbIoControl(Node* node, IRP* irp, IO_STACK_LOCATION* stack)
{
    const uint32_t code = stack->Parameters.DeviceIoControl.IoControlCode;
    const uint32_t inSize = stack->Parameters.DeviceIoControl.InputBufferLength;
    const uint32_t outSize = stack->Parameters.DeviceIoControl.OutputBufferLength;
    uint8_t* buffer = irp->AssociatedIrp.SystemBuffer;
    uint8_t empty[16] = {0};
    uint32_t written = 0;
    uint32_t cycled = FLAT_NONE;
    FlatStack usb;
    int ok = 0;
    DEVICE_OBJECT* reenumerate = NULL;
    Lock();
    CountIoctl(code);
    if (Current(node) && (node->kind == NODE_CONTROLLER || node->kind == NODE_HUB)) {
        usb.block = g.block;
        usb.hubName = HubLinkName;
        usb.context = NULL;
        usb.absent = g.absent;
        if (!buffer)
            buffer = empty; /* no input and no output */
        if (node->kind == NODE_CONTROLLER)
            ok = FlatControllerIoControl(&usb, node->index, code, buffer, inSize, outSize, &written);
        else
            ok = FlatHubIoControl(&usb, node->index, code, buffer, inSize, outSize, &written, &cycled);
        if (ok && cycled != FLAT_NONE) {
            /* The hub driver takes the device off the port and enumerates it again. */
            const uint32_t at = FlatFindPort(g.block, node->index, cycled);
            if (at != FLAT_NONE && !g.absent[at] && (g.ports[at] || PortRecord(at)->hub != FLAT_NONE)) {
                g.absent[at] = 1;
                g.cycling[at] = 1;
                reenumerate = node->self;
            }
            ++g.stats.cycles;
            g.stats.lastCycleHub = node->index;
            g.stats.lastCyclePort = cycled;
            g.stats.lastCycleIn = inSize;
            g.stats.lastCycleOut = outSize;
        }
    }
    Unlock();
    Invalidate(reenumerate);
    if (written > outSize)
        written = outSize;
    return Complete(irp, ok ? STATUS_SUCCESS : STATUS_INVALID_PARAMETER, ok ? written : 0);
}

/* A topology block from the loader: checked, then taken at once or, while
 * the old one's devices are there, once they are gone. */
static NTSTATUS Load(const uint8_t* input, uint32_t size)
{
    uint8_t* block;
    DEVICE_OBJECT* reenumerate = NULL;
    if (!input || size < sizeof(FlatHeader))
        return STATUS_INVALID_PARAMETER;
    block = Allocate(size);
    if (!block)
        return STATUS_INSUFFICIENT_RESOURCES;
    RtlCopyMemory(block, input, size);
    if (!FlatCheck(block, size)) {
        Free(block);
        return STATUS_INVALID_PARAMETER;
    }
    Lock();
    Free(g.pending);
    g.pending = NULL;
    if (g.liveChildren == 0) {
        if (!TakeTopology(block, size)) {
            Unlock();
            return STATUS_INSUFFICIENT_RESOURCES;
        }
    } else {
        /* The old devices leave first: the bus reports none until they have. */
        g.pending = block;
        g.pendingSize = size;
        ++g.generation;
    }
    reenumerate = BusPdo();
    Unlock();
    Invalidate(reenumerate);
    return STATUS_SUCCESS;
}

static NTSTATUS Plug(uint32_t port, BOOLEAN present)
{
    DEVICE_OBJECT* reenumerate = NULL;
    NTSTATUS status = STATUS_INVALID_PARAMETER;
    Lock();
    if (g.block && port < Header()->portCount) {
        g.absent[port] = present ? 0 : 1;
        g.cycling[port] = 0;
        reenumerate = g.hubs[PortRecord(port)->ownerHub];
        status = STATUS_SUCCESS;
    }
    Unlock();
    Invalidate(reenumerate);
    return status;
}

/* The devices the loaded topology makes now: every controller, every hub
 * whose parent port is plugged (hub indices run parents first), every
 * device on a plugged port of such a hub. */
static uint32_t ExpectedDevices(void)
{
    const FlatHeader* header = Header();
    uint8_t* reachable = Allocate(header->hubCount);
    uint32_t count = header->controllerCount;
    uint32_t i;
    if (!reachable)
        return 0;
    for (i = 0; i < header->hubCount; ++i) {
        const FlatHub* hub = HubRecord(i);
        reachable[i] = hub->parentPort == FLAT_NONE ||
                       (reachable[PortRecord(hub->parentPort)->ownerHub] && !g.absent[hub->parentPort]);
        count += reachable[i];
    }
    for (i = 0; i < header->portCount; ++i) {
        const FlatPort* port = PortRecord(i);
        if (port->hub == FLAT_NONE && port->status != 0 && !g.absent[i] && reachable[port->ownerHub])
            ++count;
    }
    Free(reachable);
    return count;
}

static NTSTATUS ControlIoControl(IRP* irp, IO_STACK_LOCATION* stack)
{
    const uint32_t code = stack->Parameters.DeviceIoControl.IoControlCode;
    const uint32_t inSize = stack->Parameters.DeviceIoControl.InputBufferLength;
    const uint32_t outSize = stack->Parameters.DeviceIoControl.OutputBufferLength;
    uint8_t* buffer = irp->AssociatedIrp.SystemBuffer;
    uint32_t port = 0;
    if (inSize >= sizeof(uint32_t) && buffer)
        RtlCopyMemory(&port, buffer, sizeof(port));
    switch (code) {
    case IOCTL_PORTOLAN_LOAD:
        return Complete(irp, Load(buffer, inSize), 0);
    case IOCTL_PORTOLAN_PLUG:
    case IOCTL_PORTOLAN_UNPLUG:
        if (inSize < sizeof(uint32_t))
            return Complete(irp, STATUS_INVALID_PARAMETER, 0);
        return Complete(irp, Plug(port, code == IOCTL_PORTOLAN_PLUG), 0);
    case IOCTL_PORTOLAN_STATS:
        if (outSize < sizeof(PortolanUsbStats) || !buffer)
            return Complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
        Lock();
        g.stats.generation = g.generation;
        g.stats.loaded = g.block != NULL && g.pending == NULL;
        g.stats.expected = g.stats.loaded ? ExpectedDevices() : 0;
        g.stats.live = g.liveChildren;
        g.stats.busStarted = g.bus && ((Node*)g.bus->DeviceExtension)->started;
        RtlCopyMemory(buffer, &g.stats, sizeof(g.stats));
        Unlock();
        return Complete(irp, STATUS_SUCCESS, sizeof(PortolanUsbStats));
    case IOCTL_PORTOLAN_RESET_STATS:
        Lock();
        RtlZeroMemory(g.stats.ioctl, sizeof(g.stats.ioctl));
        g.stats.opens = g.stats.openFailures = g.stats.closes = g.stats.cycles = 0;
        Unlock();
        return Complete(irp, STATUS_SUCCESS, 0);
    default:
        return Complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
    }
}

static NTSTATUS DispatchIoControl(DEVICE_OBJECT* device, IRP* irp)
{
    Node* node = device->DeviceExtension;
    IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
    if (node->kind == NODE_CONTROL)
        return ControlIoControl(irp, stack);
    if (node->kind == NODE_BUS)
        return Complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
    return UsbIoControl(node, irp, stack);
}

/* ---- the driver ---- */

static NTSTATUS AddDevice(DRIVER_OBJECT* driver, DEVICE_OBJECT* pdo)
{
    DEVICE_OBJECT* device = NULL;
    Node* node;
    NTSTATUS status = IoCreateDevice(driver, sizeof(Node), NULL, FILE_DEVICE_BUS_EXTENDER, FILE_DEVICE_SECURE_OPEN,
                                     FALSE, &device);
    if (!NT_SUCCESS(status))
        return status;
    node = device->DeviceExtension;
    RtlZeroMemory(node, sizeof(*node));
    node->kind = NODE_BUS;
    node->self = device;
    node->lower = IoAttachDeviceToDeviceStack(device, pdo);
    if (!node->lower) {
        IoDeleteDevice(device);
        return STATUS_NO_SUCH_DEVICE;
    }
    device->Flags &= ~DO_DEVICE_INITIALIZING;
    Lock();
    g.bus = device;
    Unlock();
    return STATUS_SUCCESS;
}

static void Unload(DRIVER_OBJECT* driver)
{
    UNICODE_STRING link;
    (void)driver;
    RtlInitUnicodeString(&link, L"\\DosDevices\\PortolanUsbControl");
    IoDeleteSymbolicLink(&link);
    if (g.control)
        IoDeleteDevice(g.control);
    Free(g.pending);
    FreeTopology();
}

NTSTATUS DriverEntry(DRIVER_OBJECT* driver, UNICODE_STRING* registryPath)
{
    UNICODE_STRING name;
    UNICODE_STRING link;
    Node* node;
    NTSTATUS status;
    (void)registryPath;
    KeInitializeEvent(&g.lock, SynchronizationEvent, TRUE);
    driver->MajorFunction[IRP_MJ_CREATE] = DispatchCreate;
    driver->MajorFunction[IRP_MJ_CLOSE] = DispatchClose;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchIoControl;
    driver->MajorFunction[IRP_MJ_PNP] = DispatchPnp;
    driver->DriverExtension->AddDevice = AddDevice;
    driver->DriverUnload = Unload;

    RtlInitUnicodeString(&name, L"\\Device\\PortolanUsbControl");
    status = IoCreateDevice(driver, sizeof(Node), &name, FILE_DEVICE_UNKNOWN, 0, FALSE, &g.control);
    if (!NT_SUCCESS(status))
        return status;
    node = g.control->DeviceExtension;
    RtlZeroMemory(node, sizeof(*node));
    node->kind = NODE_CONTROL;
    node->self = g.control;
    g.control->Flags |= DO_BUFFERED_IO;
    g.control->Flags &= ~DO_DEVICE_INITIALIZING;
    RtlInitUnicodeString(&link, L"\\DosDevices\\PortolanUsbControl");
    return IoCreateSymbolicLink(&link, &name);
}
