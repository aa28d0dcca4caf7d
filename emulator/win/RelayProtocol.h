#pragma once

/* The private interface between the relay driver and the Windows emulator (C, shared with kernel mode).
   The emulator keeps a Wait request pending; the driver completes it with the program's next request
   (a RelayRequest followed by its input bytes). The emulator then sends an Answer (a RelayAnswer followed
   by the output bytes) and the driver completes the program's request with it. */

/* {0C5E1B47-8D2A-4F6E-9B3C-7A1D2E4F5061}: found only by the emulator, never by the control panel. */
#define ORVELIN_RELAY_GUID_INIT                                                                                        \
    {                                                                                                                  \
        0x0C5E1B47, 0x8D2A, 0x4F6E,                                                                                    \
        {                                                                                                              \
            0x9B, 0x3C, 0x7A, 0x1D, 0x2E, 0x4F, 0x50, 0x61                                                             \
        }                                                                                                              \
    }

/* Device type 0xFFDD (the panel's codes use 0xFFDC), METHOD_BUFFERED, FILE_ANY_ACCESS. READY succeeds
   once an emulator has waited for requests, so the emulator knows when the panel may use the device. */
#define ORVELIN_RELAY_WAIT ((0xFFDDu << 16) | (0x900u << 2))
#define ORVELIN_RELAY_ANSWER ((0xFFDDu << 16) | (0x901u << 2))
#define ORVELIN_RELAY_READY ((0xFFDDu << 16) | (0x902u << 2))

/* A device of the driver itself, made when it loads, without any stand-in device: it opens once
   the driver's host process serves requests. Under Wine that host sets up its device manager only
   after it reports the driver started, and a stand-in device enumerated before would crash it; the
   emulator therefore starts the driver first, waits until this opens, and only then plugs. */
#define ORVELIN_RELAY_HOST_DEVICE L"\\Device\\OrvelinRelayHost"
#define ORVELIN_RELAY_HOST_LINK L"\\DosDevices\\OrvelinRelayHost"
#define ORVELIN_RELAY_HOST_PATH L"\\\\.\\OrvelinRelayHost"
/* The relay driver's service, as its INF installs it. */
#define ORVELIN_RELAY_SERVICE L"orvelin_relay"

/* The largest input the panel sends (the mixer block of 66304 bytes) plus room to spare. A larger
   request reaches the emulator as its header alone, its inputLength telling what is missing. */
#define ORVELIN_RELAY_MAX_DATA 70000u

/* Answer flags. CLOSE: the request fails and so does every later one on the same panel handle, as
   over a dropped connection. PARTIAL: the request fails with ERROR_MORE_DATA, the bytes copied all
   the same. */
#define ORVELIN_RELAY_CLOSE 1u
#define ORVELIN_RELAY_PARTIAL 2u

typedef struct RelayRequest
{
    unsigned int id; /* names the request in its answer */
    unsigned int connection; /* the panel handle it came on, numbered from 1 on each device */
    unsigned int code; /* the panel's control code */
    unsigned int inputLength; /* the panel's input; the bytes follow */
    unsigned int outputLength; /* the panel's output buffer */
    unsigned int reserved;
} RelayRequest;

typedef struct RelayAnswer
{
    unsigned int id;
    unsigned int ok; /* 0: the request fails at the panel */
    unsigned int length; /* output bytes that follow (cut to the panel's buffer) */
    unsigned int flags; /* ORVELIN_RELAY_CLOSE, ORVELIN_RELAY_PARTIAL */
} RelayAnswer;
