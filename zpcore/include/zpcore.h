/*
 * libzpcore: access to contactless card readers and their converters.
 *
 * Serial readers and converters are reached through tty devices (the system's
 * serial ports, USB adapters and any device path added with
 * ZP_SetSerialPorts, e.g. a pseudo-terminal); network converters over UDP
 * (identification) and TCP (a port named "address:port").
 *
 * Conventions
 * - Every function returns a result code (int32_t) unless stated: negative is a
 *   failure, 0 success, other non-negative values informative successes.
 *   ZP_S_NOTFOUND (0x40202) ends an enumeration. Codes of facility 4
 *   (0x8004xxxx) are the library's own; ZP_FormatMessage gives a Russian text
 *   for them and for the common system codes.
 * - Texts in records are UTF-16 code units (ZP_CHAR), zero-terminated within
 *   their arrays. Records are packed as listed; pointers and handles are of
 *   native width.
 * - Notifications: a "window" is a QObject living on the application's UI
 *   thread, passed as a void *. The library posts it a QEvent of type
 *   QEvent::User + the message number given (1025 by convention). After the
 *   call that removes a window (a notification set with another window or
 *   none, ZP_CloseHandle) returns, that window is never posted to again, so
 *   the caller may destroy it.
 * - I/O runs on the library's own threads; every function may be called from
 *   the UI thread and returns within the wait settings.
 */
#ifndef ZPCORE_H
#define ZPCORE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define ZP_API __attribute__((visibility("default")))
#else
#define ZP_API
#endif

typedef uint16_t ZP_CHAR;

#define ZP_S_NOTFOUND ((int32_t)0x00040202)

/* The library's own failures (facility 4). */
#define ZP_E_NOTINITIALIZED ((int32_t)0x80040201)
#define ZP_E_PORTNOTEXIST ((int32_t)0x80040203)
#define ZP_E_PORTBUSY ((int32_t)0x80040204)
#define ZP_E_PORTOPEN ((int32_t)0x80040205)
#define ZP_E_PORTIO ((int32_t)0x80040206)
#define ZP_E_PORTSETUP ((int32_t)0x80040207)
#define ZP_E_CONNECTTIMEOUT ((int32_t)0x80040208)
#define ZP_E_CONNECTREFUSED ((int32_t)0x80040209)
#define ZP_E_DISCONNECTED ((int32_t)0x8004020A)
#define ZP_E_BADADDRESS ((int32_t)0x8004020B)
#define ZP_E_NETWORK ((int32_t)0x8004020C)
#define ZP_E_WRITETIMEOUT ((int32_t)0x8004020D)

/* System codes the library answers with. */
#define ZP_E_NOTIMPL ((int32_t)0x80004001)
#define ZP_E_NOINTERFACE ((int32_t)0x80004002)
#define ZP_E_POINTER ((int32_t)0x80004003)
#define ZP_E_FAIL ((int32_t)0x80004005)
#define ZP_E_HANDLE ((int32_t)0x80070006)
#define ZP_E_OUTOFMEMORY ((int32_t)0x8007000E)
#define ZP_E_INVALIDARG ((int32_t)0x80070057)
#define ZP_E_ALREADYINITIALIZED ((int32_t)0x800704DF)
#define ZP_E_TIMEOUT ((int32_t)0x800705B4)

typedef enum {
    ZP_PORT_UNDEF = 0,
    ZP_PORT_COM = 1,
    ZP_PORT_FT = 2,
    ZP_PORT_IP = 3,
    ZP_PORT_IPS = 4
} TZP_PORT_TYPE_ENUM;
typedef int32_t TZP_PORT_TYPE;

typedef enum {
    ZP_CS_DISCONNECTED = 0,
    ZP_CS_CONNECTED = 1,
    ZP_CS_CONNECTING = 2,
    ZP_CS_RESTORATION = 3
} TZP_CONNECTION_STATUS_ENUM;
typedef int32_t TZP_CONNECTION_STATUS;

/* Port notification mask and ZP_Port_EnumMessages flags. */
#define ZP_PF_RXCHAR 0x1u
#define ZP_PF_STATUS 0x2u

/* Detector message types (ZP_DD_GetNextMessage). */
#define ZP_N_INSERT 1
#define ZP_N_REMOVE 2
#define ZP_N_CHANGE 3
#define ZP_N_ERROR 4
#define ZP_N_COMPLETED 5
#define ZP_N_DEVINSERT 6
#define ZP_N_DEVREMOVE 7
#define ZP_N_DEVCHANGE 8

/* Detector notification mask bits. */
#define ZP_NF_EXIST 0x1u       /* port insert / remove */
#define ZP_NF_CHANGE 0x2u      /* port change */
#define ZP_NF_DEVEXIST 0x4u    /* device insert / remove */
#define ZP_NF_ERROR 0x8u
#define ZP_NF_SDEVICE 0x10u    /* identify devices on serial ports */
#define ZP_NF_IPDEVICE 0x20u   /* identify devices of network converters */
#define ZP_NF_COMPLETED 0x40u
#define ZP_NF_DEVCHANGE 0x100u
#define ZP_NF_USECOM 0x1000u   /* watch serial ports */
#define ZP_NF_USEIP 0x2000u    /* watch network converters */

/* Search flags (TZP_SEARCH_PARAMS.nFlags). */
#define ZP_SF_BKGND 0x2u   /* take what the detector already knows into account */
#define ZP_SF_UNKNOWN 0x8u /* report ports on which no device was identified */

/* ZP_Initialize flags. */
#define ZP_IF_NO_MSG_LOOP 0x2u

#pragma pack(push, 1)

typedef ZP_CHAR TZP_PORT_NAME[32];

typedef struct {
    TZP_PORT_TYPE nType;
    TZP_PORT_NAME szName;
    uint32_t nFlags;          /* bit 0: busy (held by another client) */
    TZP_PORT_NAME szFriendly;
    uint32_t nDevTypes;       /* bit n: a device of type n found on the port */
    ZP_CHAR szOwner[64];
} TZP_PORT_INFO;

typedef struct {
    uint32_t cbSize;
    uint32_t nTypeId;
    uint32_t nModel;
    uint32_t nSn;
    uint32_t nVersion;        /* one number per byte, first in the lowest */
} TZP_DEVICE_INFO;

/* The form converters fill: the device info and the converter's mode. */
typedef struct {
    TZP_DEVICE_INFO rBase;
    uint8_t nMode;
} TZP_DEVICE_INFO_EX;

typedef struct {
    TZP_PORT_INFO rPort;
    TZP_DEVICE_INFO **aDevs;
    int32_t nDevCount;
    uint32_t nChangeMask;
} TZP_DDN_PORT_INFO;

typedef struct {
    TZP_DEVICE_INFO *pInfo;
    TZP_PORT_INFO *aPorts;
    int32_t nPortCount;
    uint32_t nChangeMask;
} TZP_DDN_DEVICE_INFO;

typedef struct {
    uint32_t nReplyTimeout;   /* ms to wait for a whole reply */
    int32_t nMaxTries;
    void *hAbortEvent;        /* not used: always 0 */
    uint32_t nReplyTimeout0;  /* ms to wait for the first byte of a reply */
    uint32_t nCheckPeriod;
    uint32_t nConnectTimeout; /* ms to wait for a TCP connection */
    uint32_t nRestorePeriod;
} TZP_WAIT_SETTINGS;

typedef struct {
    uint32_t nCheckUsbPeriod; /* ms between two looks at the serial ports */
    uint32_t nCheckIpPeriod;  /* ms between two asks of the network converters */
    uint32_t nScanDevPeriod;
    uint32_t nIpReqTimeout;   /* ms to wait for the answers to a network request */
    int32_t nIpReqMaxTries;
    TZP_WAIT_SETTINGS rScanWS;
} TZP_DD_GLOBAL_SETTINGS;

typedef struct {
    const ZP_CHAR *szName;    /* at most 31 units and a zero */
    TZP_PORT_TYPE nType;
    uint32_t nBaud;           /* 0: leave the line's speed as it is */
    uint8_t nEvChar;
    uint8_t nStopBits;
    uint8_t aReserved[12];
} TZP_PORT_OPEN_PARAMS;

typedef struct {
    uint32_t nDevMask;        /* serial device types searched (bit n = type n) */
    uint32_t nIpDevMask;      /* network device types searched */
    uint32_t aReserved1[2];
    uint32_t nFlags;          /* ZP_SF_* */
    uint32_t aReserved2[3];
} TZP_SEARCH_PARAMS;

typedef struct {
    uint32_t nNMask;          /* ZP_NF_* */
    void *hEvent;             /* not used: always 0 */
    void *hWindow;            /* QObject * posted to */
    uint32_t nWndMsgId;
    uint32_t nSDevTypes;
    uint32_t nIpDevTypes;
    const uint16_t *aIps;     /* network ports to watch */
    int32_t nIpsCount;
} TZP_DD_NOTIFY_SETTINGS;

/*
 * A reply parser of the program: answers non-zero when the reply belongs to
 * its device type (*pPartially non-zero: the reply is not complete yet, call
 * again with more bytes), 0 when not. It fills the device info (cbSize and
 * nTypeId already set) and the port infos (the first one holds the port asked).
 */
typedef int32_t (*ZP_DEVICE_PARSE_PROC)(const uint8_t *pReply, uint32_t nCount,
                                        int32_t *pPartially, TZP_DEVICE_INFO *pInfo,
                                        TZP_PORT_INFO *aPorts, int32_t nArrLen,
                                        int32_t *pPortCount);

/* A serial device type. USB identifiers: product << 16 | vendor; 0xFFFFFFFF
 * stands for any port. A port is asked when its USB identifiers or its
 * description match; a type without request is never asked. */
typedef struct {
    uint32_t nTypeId;
    const uint8_t *pReqData;
    uint32_t nReqSize;
    ZP_DEVICE_PARSE_PROC pfnParse;
    uint32_t nDevInfoSize;
    const uint32_t *pPids;
    uint32_t nPidCount;
    uint32_t nDefBaud;
    uint8_t chEvent;
    uint8_t nStopBits;
    const ZP_CHAR *pszBDesc;
} TZP_S_DEVICE_TYPE;

/* A network device type: the request goes over UDP to nReqPort. */
typedef struct {
    uint32_t nTypeId;
    const uint8_t *pReqData;
    uint32_t nReqSize;
    ZP_DEVICE_PARSE_PROC pfnParse;
    uint32_t nDevInfoSize;
    uint16_t nReqPort;
    uint8_t aReserved[4];
} TZP_IP_DEVICE_TYPE;

#pragma pack(pop)

/* --- the 24 functions --- */

/* Lowest byte the major, next byte the minor version (1.18). */
ZP_API uint32_t ZP_GetVersion(void);
ZP_API int32_t ZP_Initialize(void *pReserved, uint32_t nFlags);
ZP_API int32_t ZP_Finalyze(void);
ZP_API int32_t ZP_RegSerialDevice(const TZP_S_DEVICE_TYPE *pType);
ZP_API int32_t ZP_RegIpDevice(const TZP_IP_DEVICE_TYPE *pType);
ZP_API int32_t ZP_CloseHandle(void *hHandle);

ZP_API int32_t ZP_SearchDevices(void **pHandle, const TZP_SEARCH_PARAMS *pParams);
/* One device and its ports per call; ZP_S_NOTFOUND at the end. A device info
 * whose cbSize comes back as 0: no device identified on those ports.
 * nTimeout in ms, -1 = no limit (the search itself is bounded by the wait
 * settings). */
ZP_API int32_t ZP_FindNextDevice(void *hSearch, TZP_DEVICE_INFO *pInfo, TZP_PORT_INFO *aPorts,
                                 int32_t nArrLen, int32_t *pPortCount, int32_t nTimeout);

ZP_API int32_t ZP_Port_Open(void **pHandle, const TZP_PORT_OPEN_PARAMS *pParams);
ZP_API int32_t ZP_Port_SetNotification(void *hPort, void *hEvent, void *hWindow, uint32_t nMsgId,
                                       uint32_t nMask);
ZP_API int32_t ZP_Port_EnumMessages(void *hPort, uint32_t *pFlags);
ZP_API int32_t ZP_Port_Read(void *hPort, void *pBuf, int32_t nCount, int32_t *pRead);
ZP_API int32_t ZP_Port_Write(void *hPort, const void *pBuf, int32_t nCount);
ZP_API int32_t ZP_Port_GetInCount(void *hPort, int32_t *pCount);
ZP_API int32_t ZP_Port_Clear(void *hPort, int32_t fIn, int32_t fOut);
ZP_API int32_t ZP_Port_GetConnectionStatus(void *hPort, TZP_CONNECTION_STATUS *pStatus);
ZP_API int32_t ZP_Port_SetDtr(void *hPort, int32_t fState);
ZP_API int32_t ZP_Port_SetRts(void *hPort, int32_t fState);
ZP_API int32_t ZP_Port_SetBaudAndEvChar(void *hPort, uint32_t nBaud, uint8_t nEvChar);

ZP_API int32_t ZP_DD_SetNotification(void **pHandle, const TZP_DD_NOTIFY_SETTINGS *pSettings);
/* 0 while a message was taken; its data stay valid until the next call on
 * the handle or its closing. ZP_S_NOTFOUND when the queue is empty. */
ZP_API int32_t ZP_DD_GetNextMessage(void *hNotify, uint32_t *pMsgType, void **pMsgData);
ZP_API int32_t ZP_DD_Refresh(int32_t nTimeout);
ZP_API int32_t ZP_DD_GetGlobalSettings(TZP_DD_GLOBAL_SETTINGS *pSettings);
ZP_API int32_t ZP_DD_SetGlobalSettings(const TZP_DD_GLOBAL_SETTINGS *pSettings);

/* --- additions of this library --- */

/* Device paths searched and watched besides the system's serial ports: a
 * comma-separated UTF-8 list ("/dev/pts/3,/dev/ttyX"); NULL or "" for none. */
ZP_API int32_t ZP_SetSerialPorts(const char *szList);
/* Where network requests go: a comma-separated UTF-8 list of IPv4 addresses,
 * each optionally with ":port" in place of the registered port; broadcast
 * addresses allowed. Nothing is sent while the list is empty (the default). */
ZP_API int32_t ZP_SetNetAddresses(const char *szList);
/* A Russian text for a result code into pBuf (nBufLen units, zero-terminated);
 * returns the number of units written without the zero, 0 when the code has
 * no text. */
ZP_API int32_t ZP_FormatMessage(int32_t nCode, ZP_CHAR *pBuf, int32_t nBufLen);

#ifdef __cplusplus
}
#endif

#endif /* ZPCORE_H */
