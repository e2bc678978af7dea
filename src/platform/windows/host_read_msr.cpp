#include "platform/platform.h"
#include "platform/windows/host_export.h"

extern "C" ReadMsrFunction PlatformFindHostReadMsr(void) {
    return reinterpret_cast<ReadMsrFunction>(FindHostExport("ReadMSR"));
}

extern "C" MsrReading PlatformReadMsr(ReadMsrFunction read_msr, uint32_t msr) {
    uint32_t second;  // the host's to fill; never read
    uint32_t bits_31_to_0 = 0;
    if (read_msr(msr, &second, &bits_31_to_0) == 0) {
        return MsrReading{0, 0};
    }
    return MsrReading{bits_31_to_0, 1};
}
