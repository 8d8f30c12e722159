// OpenPlugin: the module's working entry point.
#include "host/host.h"

SUMBREL_EXPORT void *SUMBREL_WINAPI OpenPlugin(int32_t openFrom, intptr_t item) {
    (void)openFrom;
    (void)item;
    return SUMBREL_NO_PANEL;
}
