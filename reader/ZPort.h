#pragma once
// The reader library as the program sees it: its records and functions
// (zpcore.h) reached through one table, so that tests can stand in for single
// functions and watch what the program passes.

#include <zpcore.h>

#include <QString>

namespace reader {

constexpr int32_t ZP_MSG_NOTIFY = 1025;     // message number of every notification
constexpr int32_t E_NOINTERFACE_CODE = int32_t(0x80004002);
inline const char *const kZPLibraryFile = "libzpcore.so";

struct TZPApi
{
    decltype(&ZP_GetVersion) GetVersion = &ZP_GetVersion;
    decltype(&ZP_Initialize) Initialize = &ZP_Initialize;
    decltype(&ZP_Finalyze) Finalyze = &ZP_Finalyze;
    decltype(&ZP_RegSerialDevice) RegSerialDevice = &ZP_RegSerialDevice;
    decltype(&ZP_RegIpDevice) RegIpDevice = &ZP_RegIpDevice;
    decltype(&ZP_CloseHandle) CloseHandle = &ZP_CloseHandle;
    decltype(&ZP_SearchDevices) SearchDevices = &ZP_SearchDevices;
    decltype(&ZP_FindNextDevice) FindNextDevice = &ZP_FindNextDevice;
    decltype(&ZP_Port_Open) Port_Open = &ZP_Port_Open;
    decltype(&ZP_Port_SetNotification) Port_SetNotification = &ZP_Port_SetNotification;
    decltype(&ZP_Port_EnumMessages) Port_EnumMessages = &ZP_Port_EnumMessages;
    decltype(&ZP_Port_Read) Port_Read = &ZP_Port_Read;
    decltype(&ZP_Port_Write) Port_Write = &ZP_Port_Write;
    decltype(&ZP_Port_GetInCount) Port_GetInCount = &ZP_Port_GetInCount;
    decltype(&ZP_Port_Clear) Port_Clear = &ZP_Port_Clear;
    decltype(&ZP_Port_GetConnectionStatus) Port_GetConnectionStatus = &ZP_Port_GetConnectionStatus;
    decltype(&ZP_Port_SetDtr) Port_SetDtr = &ZP_Port_SetDtr;
    decltype(&ZP_Port_SetRts) Port_SetRts = &ZP_Port_SetRts;
    decltype(&ZP_Port_SetBaudAndEvChar) Port_SetBaudAndEvChar = &ZP_Port_SetBaudAndEvChar;
    decltype(&ZP_DD_SetNotification) DD_SetNotification = &ZP_DD_SetNotification;
    decltype(&ZP_DD_GetNextMessage) DD_GetNextMessage = &ZP_DD_GetNextMessage;
    decltype(&ZP_DD_Refresh) DD_Refresh = &ZP_DD_Refresh;
    decltype(&ZP_DD_GetGlobalSettings) DD_GetGlobalSettings = &ZP_DD_GetGlobalSettings;
    decltype(&ZP_DD_SetGlobalSettings) DD_SetGlobalSettings = &ZP_DD_SetGlobalSettings;
    decltype(&ZP_SetSerialPorts) SetSerialPorts = &ZP_SetSerialPorts;
    decltype(&ZP_SetNetAddresses) SetNetAddresses = &ZP_SetNetAddresses;
    decltype(&ZP_FormatMessage) FormatMessage = &ZP_FormatMessage;
};

// The table every call goes through; tests replace entries and restore it.
TZPApi &zpApi();

// 0 for version 1.18 (any build), E_NOINTERFACE otherwise.
int32_t CheckZPVersion();

// The text of a result code from the library's message table; empty when
// it has none.
QString ZPErrorText(int32_t code);

// Raises EZPError for a negative result; returns the result otherwise.
int32_t CheckZPRes(int32_t code);

// UTF-16 texts of the records.
QString ZPText(const ZP_CHAR *units, int capacity);
void ZPSetText(ZP_CHAR *units, int capacity, const QString &text);

} // namespace reader
