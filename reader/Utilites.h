#pragma once
// Recognition of readers and converters: the device kinds registered with
// the reader library, the parsers of their replies and the model names.

#include "reader/ZPort.h"

#include <QString>

namespace reader {

// Model numbers of the device list (0 = nothing recognised).
enum TZPModel : uint8_t {
    ZP_MODEL_UNKNOWN = 0,
    ZP_MODEL_RC397 = 1,
    ZP_MODEL_RC397_GUARD = 2,
    ZP_MODEL_RC397_IP = 3,
    ZP_MODEL_RC397_WEB = 4,
    ZP_MODEL_RC5_WEB = 5,
    ZP_MODEL_R2_USB = 6,
    ZP_MODEL_RM3_RDALL = 7,
    ZP_MODEL_R2_USB_MF = 8,
    ZP_MODEL_RM3_NET = 9,
    ZP_MODEL_CP_R2MF = 10,
    ZP_MODEL_R2_EHR = 11,
};
constexpr int kZPModelCount = 12;

// "???" for 0 and for numbers outside the table.
QString ZPModelName(int model);

// Converter modes in byte 20 of the extended device info.
enum TZPConverterMode : uint8_t { ZP_MODE_UNDEF = 0, ZP_MODE_NORMAL = 1, ZP_MODE_ADVANCED = 2,
                                  ZP_MODE_TEST = 3, ZP_MODE_ACCEPT = 4 };

// The reply parsers handed to the library.
extern "C" {
int32_t ParseUsbReaderReply(const uint8_t *pReply, uint32_t nCount, int32_t *pPartially,
                            TZP_DEVICE_INFO *pInfo, TZP_PORT_INFO *aPorts, int32_t nArrLen,
                            int32_t *pPortCount);
int32_t ParseConverterReply(const uint8_t *pReply, uint32_t nCount, int32_t *pPartially,
                            TZP_DEVICE_INFO *pInfo, TZP_PORT_INFO *aPorts, int32_t nArrLen,
                            int32_t *pPortCount);
int32_t ParseIpConverterReply(const uint8_t *pReply, uint32_t nCount, int32_t *pPartially,
                              TZP_DEVICE_INFO *pInfo, TZP_PORT_INFO *aPorts, int32_t nArrLen,
                              int32_t *pPortCount);
}

// The five serial kinds and the network kind, in their order.
void RegisterDeviceTypes();

} // namespace reader
