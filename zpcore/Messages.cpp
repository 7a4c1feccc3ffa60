// The message table: a Russian text for every code the library answers with
// and for the common system codes, so every failure can be told in words.

#include "Core.h"

#include <cstring>

namespace {

struct Entry
{
    int32_t code;
    const char *text;
};

const Entry kTable[] = {
    {ZP_S_NOTFOUND, "Устройств больше не найдено."},
    {ZP_E_NOTINITIALIZED, "Библиотека считывателей не инициализирована."},
    {ZP_E_PORTNOTEXIST, "Порт не существует."},
    {ZP_E_PORTBUSY, "Порт занят другой программой или недоступен."},
    {ZP_E_PORTOPEN, "Не удалось открыть порт."},
    {ZP_E_PORTIO, "Ошибка ввода-вывода порта."},
    {ZP_E_PORTSETUP, "Не удалось установить параметры порта (скорость, стоповые биты)."},
    {ZP_E_CONNECTTIMEOUT, "Конвертер не ответил на подключение (истекло время ожидания)."},
    {ZP_E_CONNECTREFUSED, "Конвертер отказал в подключении."},
    {ZP_E_DISCONNECTED, "Связь с устройством потеряна."},
    {ZP_E_BADADDRESS, "Неверный сетевой адрес порта (ожидается адрес:порт)."},
    {ZP_E_NETWORK, "Ошибка сети."},
    {ZP_E_WRITETIMEOUT, "Устройство не принимает данные (истекло время записи)."},
    {ZP_E_NOTIMPL, "Функция не реализована."},
    {ZP_E_NOINTERFACE, "Интерфейс не поддерживается."},
    {ZP_E_POINTER, "Недопустимый указатель."},
    {ZP_E_FAIL, "Неизвестная ошибка."},
    {ZP_E_HANDLE, "Недопустимый дескриптор."},
    {ZP_E_OUTOFMEMORY, "Недостаточно памяти."},
    {ZP_E_INVALIDARG, "Параметр задан неверно."},
    {ZP_E_ALREADYINITIALIZED, "Библиотека считывателей уже инициализирована."},
    {ZP_E_TIMEOUT, "Истекло время ожидания."},
    {int32_t(0x80004004), "Операция прервана."},
    {int32_t(0x80070002), "Не удаётся найти указанный файл."},
    {int32_t(0x80070005), "Отказано в доступе."},
    {int32_t(0x8007001F), "Устройство, подключённое к системе, не работает."},
    {int32_t(0x80070015), "Устройство не готово."},
};

} // namespace

extern "C" ZP_API int32_t ZP_FormatMessage(int32_t nCode, ZP_CHAR *pBuf, int32_t nBufLen)
{
    for (const Entry &e : kTable)
        if (e.code == nCode) {
            if (!pBuf || nBufLen <= 0)
                return 0;
            const QString text = QString::fromUtf8(e.text);
            zp::toUnits(text, pBuf, size_t(nBufLen));
            return int32_t(std::min<qsizetype>(text.size(), nBufLen - 1));
        }
    if (pBuf && nBufLen > 0)
        pBuf[0] = 0;
    return 0;
}
