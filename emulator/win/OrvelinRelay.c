/* Kernel-mode relay of the emulated device: every control request of the panel is handed to the
   Windows emulator, which keeps a Wait pending on its own interface and answers with a second request.
   Freestanding: it imports only ntoskrnl.exe, since a runtime-linked driver fails to start. */
#include <ntddk.h>

#include "RelayProtocol.h"

static const GUID kPanelInterface = { 0x6EB9AB90, 0xB331, 0x4508, { 0xB9, 0x03, 0x48, 0xAA, 0xA2, 0x6E, 0xA4, 0xF1 } };
static const GUID kRelayInterface = ORVELIN_RELAY_GUID_INIT;

typedef struct Relay
{
    PDEVICE_OBJECT lower;
    UNICODE_STRING panelName;
    UNICODE_STRING relayName;
    KSPIN_LOCK lock;
    LIST_ENTRY queued; /* panel requests not yet handed over */
    LIST_ENTRY handed; /* panel requests waiting for their answer */
    PIRP wait; /* the emulator's pending Wait */
    PFILE_OBJECT emulator; /* the file that waits; NULL while no emulator runs */
    unsigned int nextId;
    unsigned int nextConnection;
    LONG openFiles; /* handles of the panel and the emulator not yet closed */
    BOOLEAN removed; /* the device has been removed; it is deleted with its last handle */
} Relay;

/* The driver's own host device (see RelayProtocol.h); the stand-in devices carry a Relay each. */
static PDEVICE_OBJECT hostDevice;

static BOOLEAN isHost(PDEVICE_OBJECT device)
{
    return device == hostDevice;
}

/* A panel handle's number lives in its file object; this bit marks a handle whose connection the
   emulator dropped. */
#define CONNECTION_CLOSED 0x80000000u

static unsigned int requestId(PIRP irp)
{
    return (unsigned int)(ULONG_PTR)irp->Tail.Overlay.DriverContext[0];
}

static unsigned int connectionOf(PFILE_OBJECT file)
{
    return file ? (unsigned int)(ULONG_PTR)file->FsContext2 : 0;
}

static void copyBytes(void *to, const void *from, unsigned int length)
{
    volatile unsigned char *t = (volatile unsigned char *)to;
    const unsigned char *f = (const unsigned char *)from;
    while (length--)
        *t++ = *f++;
}

static NTSTATUS finish(PIRP irp, NTSTATUS status, ULONG_PTR information)
{
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

/* Under the lock: moves the next queued request into the pending Wait. Returns the Wait to complete
   (its status set), or NULL; a request that does not fit goes to *refused. */
static PIRP handOver(Relay *relay, PIRP *refused)
{
    PIRP wait = relay->wait;
    PIRP panel;
    PIO_STACK_LOCATION waitStack, panelStack;
    RelayRequest header;
    ULONG room;
    if (!wait || IsListEmpty(&relay->queued))
        return NULL;
    panel = CONTAINING_RECORD(RemoveHeadList(&relay->queued), IRP, Tail.Overlay.ListEntry);
    relay->wait = NULL;
    waitStack = IoGetCurrentIrpStackLocation(wait);
    panelStack = IoGetCurrentIrpStackLocation(panel);
    header.id = requestId(panel);
    header.connection = connectionOf(panelStack->FileObject) & ~CONNECTION_CLOSED;
    header.reserved = 0;
    header.code = panelStack->Parameters.DeviceIoControl.IoControlCode;
    header.inputLength = panelStack->Parameters.DeviceIoControl.InputBufferLength;
    header.outputLength = panelStack->Parameters.DeviceIoControl.OutputBufferLength;
    room = waitStack->Parameters.DeviceIoControl.OutputBufferLength;
    if (room < sizeof(header)) {
        *refused = panel;
        wait->IoStatus.Status = STATUS_BUFFER_TOO_SMALL;
        wait->IoStatus.Information = 0;
        return wait;
    }
    /* Input that does not fit is left out: the emulator sees the header and refuses the request. */
    room -= sizeof(header);
    if (header.inputLength < room)
        room = header.inputLength;
    if (room < header.inputLength)
        room = 0;
    copyBytes(wait->AssociatedIrp.SystemBuffer, &header, sizeof(header));
    copyBytes(
        (unsigned char *)wait->AssociatedIrp.SystemBuffer + sizeof(header), panel->AssociatedIrp.SystemBuffer, room);
    InsertTailList(&relay->handed, &panel->Tail.Overlay.ListEntry);
    wait->IoStatus.Status = STATUS_SUCCESS;
    wait->IoStatus.Information = sizeof(header) + room;
    return wait;
}

/* Under the lock, with irp just queued or made the Wait: marks it pending, hands over what can be
   handed over, releases the lock and completes what that freed. */
static NTSTATUS pendAndHandOver(Relay *relay, PIRP irp, KIRQL irql)
{
    PIRP wait, refused = NULL;
    IoMarkIrpPending(irp);
    wait = handOver(relay, &refused);
    KeReleaseSpinLock(&relay->lock, irql);
    if (wait)
        IoCompleteRequest(wait, IO_NO_INCREMENT);
    if (refused)
        finish(refused, STATUS_INVALID_PARAMETER, 0);
    return STATUS_PENDING;
}

/* Moves every request of one file (or of all files when file is NULL) from list into out. */
static void takeRequests(LIST_ENTRY *list, PFILE_OBJECT file, LIST_ENTRY *out)
{
    LIST_ENTRY *entry = list->Flink;
    while (entry != list) {
        LIST_ENTRY *next = entry->Flink;
        PIRP irp = CONTAINING_RECORD(entry, IRP, Tail.Overlay.ListEntry);
        if (!file || IoGetCurrentIrpStackLocation(irp)->FileObject == file) {
            RemoveEntryList(entry);
            InsertTailList(out, entry);
        }
        entry = next;
    }
}

static void failAll(LIST_ENTRY *list, NTSTATUS status)
{
    while (!IsListEmpty(list))
        finish(CONTAINING_RECORD(RemoveHeadList(list), IRP, Tail.Overlay.ListEntry), status, 0);
}

/* The emulator went away (or the device did): nothing pending may wait for it. */
static void dropEmulator(Relay *relay)
{
    KIRQL irql;
    LIST_ENTRY failed;
    PIRP wait;
    InitializeListHead(&failed);
    KeAcquireSpinLock(&relay->lock, &irql);
    wait = relay->wait;
    relay->wait = NULL;
    relay->emulator = NULL;
    takeRequests(&relay->queued, NULL, &failed);
    takeRequests(&relay->handed, NULL, &failed);
    KeReleaseSpinLock(&relay->lock, irql);
    if (wait)
        finish(wait, STATUS_CANCELLED, 0);
    failAll(&failed, STATUS_DEVICE_NOT_CONNECTED);
}

static NTSTATUS panelRequest(Relay *relay, PIRP irp, PFILE_OBJECT file)
{
    KIRQL irql;
    KeAcquireSpinLock(&relay->lock, &irql);
    if (!relay->emulator || (connectionOf(file) & CONNECTION_CLOSED)) {
        KeReleaseSpinLock(&relay->lock, irql);
        return finish(irp, STATUS_DEVICE_NOT_CONNECTED, 0);
    }
    if (file && !file->FsContext2)
        file->FsContext2 = (PVOID)(ULONG_PTR)++relay->nextConnection;
    irp->Tail.Overlay.DriverContext[0] = (PVOID)(ULONG_PTR)++relay->nextId;
    InsertTailList(&relay->queued, &irp->Tail.Overlay.ListEntry);
    return pendAndHandOver(relay, irp, irql);
}

static NTSTATUS emulatorWait(Relay *relay, PIRP irp, PFILE_OBJECT file)
{
    KIRQL irql;
    KeAcquireSpinLock(&relay->lock, &irql);
    if (relay->wait || (relay->emulator && relay->emulator != file)) {
        KeReleaseSpinLock(&relay->lock, irql);
        return finish(irp, STATUS_DEVICE_BUSY, 0);
    }
    relay->emulator = file;
    relay->wait = irp;
    return pendAndHandOver(relay, irp, irql);
}

static NTSTATUS emulatorAnswer(Relay *relay, PIRP irp, ULONG inputLength)
{
    KIRQL irql;
    RelayAnswer answer;
    LIST_ENTRY *entry;
    PIRP panel = NULL;
    ULONG length;
    if (inputLength < sizeof(answer))
        return finish(irp, STATUS_INVALID_PARAMETER, 0);
    copyBytes(&answer, irp->AssociatedIrp.SystemBuffer, sizeof(answer));
    if (answer.length > inputLength - sizeof(answer))
        return finish(irp, STATUS_INVALID_PARAMETER, 0);
    KeAcquireSpinLock(&relay->lock, &irql);
    for (entry = relay->handed.Flink; entry != &relay->handed; entry = entry->Flink) {
        PIRP candidate = CONTAINING_RECORD(entry, IRP, Tail.Overlay.ListEntry);
        if (requestId(candidate) == answer.id) {
            RemoveEntryList(entry);
            panel = candidate;
            break;
        }
    }
    if (panel && (answer.flags & ORVELIN_RELAY_CLOSE)) {
        PFILE_OBJECT file = IoGetCurrentIrpStackLocation(panel)->FileObject;
        if (file)
            file->FsContext2 = (PVOID)(ULONG_PTR)(connectionOf(file) | CONNECTION_CLOSED);
    }
    KeReleaseSpinLock(&relay->lock, irql);
    if (!panel) /* the panel closed its handle meanwhile */
        return finish(irp, STATUS_NOT_FOUND, 0);
    if (answer.flags & ORVELIN_RELAY_CLOSE) {
        finish(panel, STATUS_DEVICE_NOT_CONNECTED, 0);
        return finish(irp, STATUS_SUCCESS, 0);
    }
    length = IoGetCurrentIrpStackLocation(panel)->Parameters.DeviceIoControl.OutputBufferLength;
    if (answer.length < length)
        length = answer.length;
    if (!answer.ok && !(answer.flags & ORVELIN_RELAY_PARTIAL))
        length = 0;
    copyBytes(
        panel->AssociatedIrp.SystemBuffer, (unsigned char *)irp->AssociatedIrp.SystemBuffer + sizeof(answer), length);
    if (answer.ok)
        finish(panel, STATUS_SUCCESS, length);
    else if (answer.flags & ORVELIN_RELAY_PARTIAL) /* ERROR_MORE_DATA, the buffer filled all the same */
        finish(panel, STATUS_BUFFER_OVERFLOW, length);
    else
        finish(panel, STATUS_INVALID_DEVICE_REQUEST, 0);
    return finish(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS NTAPI dispatchControl(PDEVICE_OBJECT device, PIRP irp)
{
    Relay *relay = (Relay *)device->DeviceExtension;
    if (isHost(device))
        return finish(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    const ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
    if (code == ORVELIN_RELAY_WAIT)
        return emulatorWait(relay, irp, stack->FileObject);
    if (code == ORVELIN_RELAY_ANSWER)
        return emulatorAnswer(relay, irp, stack->Parameters.DeviceIoControl.InputBufferLength);
    if (code == ORVELIN_RELAY_READY)
        return finish(irp, relay->emulator ? STATUS_SUCCESS : STATUS_DEVICE_NOT_READY, 0);
    return panelRequest(relay, irp, stack->FileObject);
}

static void deleteRelay(PDEVICE_OBJECT device)
{
    Relay *relay = (Relay *)device->DeviceExtension;
    RtlFreeUnicodeString(&relay->panelName);
    RtlFreeUnicodeString(&relay->relayName);
    IoDeleteDevice(device);
}

/* The device object outlives its removal while handles to it are open: their close still comes
   here and must find it. The last close after the removal deletes it. */
static NTSTATUS NTAPI dispatchCreateClose(PDEVICE_OBJECT device, PIRP irp)
{
    Relay *relay = (Relay *)device->DeviceExtension;
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    BOOLEAN last = FALSE;
    KIRQL irql;
    if (isHost(device))
        return finish(irp, STATUS_SUCCESS, 0);
    KeAcquireSpinLock(&relay->lock, &irql);
    if (stack->MajorFunction == IRP_MJ_CREATE) {
        if (relay->removed) {
            KeReleaseSpinLock(&relay->lock, irql);
            return finish(irp, STATUS_DELETE_PENDING, 0);
        }
        ++relay->openFiles;
        /* A new handle has no connection number until its first request. */
        if (stack->FileObject)
            stack->FileObject->FsContext2 = NULL;
    } else if (relay->openFiles > 0) {
        last = --relay->openFiles == 0 && relay->removed;
    }
    KeReleaseSpinLock(&relay->lock, irql);
    finish(irp, STATUS_SUCCESS, 0);
    if (last)
        deleteRelay(device);
    return STATUS_SUCCESS;
}

/* A closing file takes its pending requests with it; the emulator's takes everything. */
static NTSTATUS NTAPI dispatchCleanup(PDEVICE_OBJECT device, PIRP irp)
{
    Relay *relay = (Relay *)device->DeviceExtension;
    PFILE_OBJECT file = IoGetCurrentIrpStackLocation(irp)->FileObject;
    KIRQL irql;
    LIST_ENTRY failed;
    BOOLEAN isEmulator;
    if (isHost(device))
        return finish(irp, STATUS_SUCCESS, 0);
    InitializeListHead(&failed);
    KeAcquireSpinLock(&relay->lock, &irql);
    isEmulator = file && relay->emulator == file;
    if (!isEmulator) {
        takeRequests(&relay->queued, file, &failed);
        takeRequests(&relay->handed, file, &failed);
    }
    KeReleaseSpinLock(&relay->lock, irql);
    if (isEmulator)
        dropEmulator(relay);
    failAll(&failed, STATUS_CANCELLED);
    return finish(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS NTAPI dispatchPnp(PDEVICE_OBJECT device, PIRP irp)
{
    Relay *relay = (Relay *)device->DeviceExtension;
    PDEVICE_OBJECT lower;
    NTSTATUS status;
    if (isHost(device))
        return finish(irp, STATUS_NOT_SUPPORTED, 0);
    lower = relay->lower;
    switch (IoGetCurrentIrpStackLocation(irp)->MinorFunction) {
    case IRP_MN_START_DEVICE:
        IoSetDeviceInterfaceState(&relay->relayName, TRUE);
        IoSetDeviceInterfaceState(&relay->panelName, TRUE);
        break;
    case IRP_MN_SURPRISE_REMOVAL:
        IoSetDeviceInterfaceState(&relay->panelName, FALSE);
        IoSetDeviceInterfaceState(&relay->relayName, FALSE);
        dropEmulator(relay);
        break;
    case IRP_MN_REMOVE_DEVICE:
        IoSetDeviceInterfaceState(&relay->panelName, FALSE);
        IoSetDeviceInterfaceState(&relay->relayName, FALSE);
        dropEmulator(relay);
        irp->IoStatus.Status = STATUS_SUCCESS;
        IoSkipCurrentIrpStackLocation(irp);
        status = IoCallDriver(lower, irp);
        IoDetachDevice(lower);
        {
            KIRQL irql;
            BOOLEAN unused;
            KeAcquireSpinLock(&relay->lock, &irql);
            relay->removed = TRUE;
            unused = relay->openFiles == 0;
            KeReleaseSpinLock(&relay->lock, irql);
            if (unused)
                deleteRelay(device);
        }
        return status;
    default:
        break;
    }
    IoSkipCurrentIrpStackLocation(irp);
    return IoCallDriver(lower, irp);
}

static NTSTATUS NTAPI addDevice(PDRIVER_OBJECT driver, PDEVICE_OBJECT pdo)
{
    PDEVICE_OBJECT device;
    Relay *relay;
    NTSTATUS status = IoCreateDevice(driver, sizeof(Relay), NULL, FILE_DEVICE_UNKNOWN, 0, FALSE, &device);
    if (!NT_SUCCESS(status))
        return status;
    relay = (Relay *)device->DeviceExtension;
    KeInitializeSpinLock(&relay->lock);
    InitializeListHead(&relay->queued);
    InitializeListHead(&relay->handed);
    relay->wait = NULL;
    relay->emulator = NULL;
    relay->nextId = 0;
    relay->nextConnection = 0;
    relay->openFiles = 0;
    relay->removed = FALSE;
    relay->panelName.Buffer = NULL;
    relay->relayName.Buffer = NULL;
    status = IoRegisterDeviceInterface(pdo, &kPanelInterface, NULL, &relay->panelName);
    if (NT_SUCCESS(status))
        status = IoRegisterDeviceInterface(pdo, &kRelayInterface, NULL, &relay->relayName);
    if (NT_SUCCESS(status)) {
        relay->lower = IoAttachDeviceToDeviceStack(device, pdo);
        if (!relay->lower)
            status = STATUS_NO_SUCH_DEVICE;
    }
    if (!NT_SUCCESS(status)) {
        if (relay->panelName.Buffer)
            RtlFreeUnicodeString(&relay->panelName);
        if (relay->relayName.Buffer)
            RtlFreeUnicodeString(&relay->relayName);
        IoDeleteDevice(device);
        return status;
    }
    device->Flags |= DO_BUFFERED_IO;
    device->Flags &= ~DO_DEVICE_INITIALIZING;
    return STATUS_SUCCESS;
}

static void NTAPI unload(PDRIVER_OBJECT driver)
{
    UNICODE_STRING link;
    (void)driver;
    if (hostDevice) {
        RtlInitUnicodeString(&link, ORVELIN_RELAY_HOST_LINK);
        IoDeleteSymbolicLink(&link);
        IoDeleteDevice(hostDevice);
        hostDevice = NULL;
    }
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath)
{
    UNICODE_STRING name, link;
    (void)registryPath;
    RtlInitUnicodeString(&name, ORVELIN_RELAY_HOST_DEVICE);
    RtlInitUnicodeString(&link, ORVELIN_RELAY_HOST_LINK);
    /* Without it the emulator cannot tell when plugging is safe; the relay itself works all the same. */
    if (NT_SUCCESS(IoCreateDevice(driver, 0, &name, FILE_DEVICE_UNKNOWN, 0, FALSE, &hostDevice))) {
        if (NT_SUCCESS(IoCreateSymbolicLink(&link, &name)))
            hostDevice->Flags &= ~DO_DEVICE_INITIALIZING;
        else {
            IoDeleteDevice(hostDevice);
            hostDevice = NULL;
        }
    }
    driver->DriverExtension->AddDevice = addDevice;
    driver->DriverUnload = unload;
    driver->MajorFunction[IRP_MJ_CREATE] = dispatchCreateClose;
    driver->MajorFunction[IRP_MJ_CLOSE] = dispatchCreateClose;
    driver->MajorFunction[IRP_MJ_CLEANUP] = dispatchCleanup;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = dispatchControl;
    driver->MajorFunction[IRP_MJ_PNP] = dispatchPnp;
    return STATUS_SUCCESS;
}
