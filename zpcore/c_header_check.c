/* Compiled as C99 only to prove that zpcore.h needs no C++. */
#include "zpcore.h"

int zpcore_c_header_check(void)
{
    TZP_PORT_INFO info;
    info.nType = ZP_PORT_COM;
    return (int)sizeof(info) + (int)sizeof(TZP_S_DEVICE_TYPE);
}
