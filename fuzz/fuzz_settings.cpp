// libFuzzer target: any bytes as a settings file; what is read must write back
// and read again to the same record.
#include "app/mSetup.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const SetupRecord first = mSetup::Decode({data, size});
    const std::vector<uint8_t> bytes = mSetup::Encode(first);
    if (!(mSetup::Decode(bytes) == first)) std::abort();
    return 0;
}
