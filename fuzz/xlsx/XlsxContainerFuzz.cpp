// Any bytes as a whole .xlsx file: the zip container, then whatever parts it yields.

#include "fuzz/xlsx/XlsxFuzzSupport.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    XlsxFuzz::Read(XlsxFuzz::WriteFile(reinterpret_cast<const char*>(data), size));
    return 0;
}
