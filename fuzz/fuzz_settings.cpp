// libFuzzer target: any bytes as a settings file, through the real file load
// and save in a scratch folder: what is read must save, and read back as the
// same record; and the record decoded in memory must encode and decode again
// to itself.
#include "app/mSetup.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {
std::filesystem::path folder;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char templ[] = "/tmp/fuzz-settings-XXXXXX";
    if (const char* made = ::mkdtemp(templ)) folder = made;
    std::atexit([] {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const SetupRecord first = mSetup::Decode({data, size});
    const std::vector<uint8_t> bytes = mSetup::Encode(first);
    if (!(mSetup::Decode(bytes) == first)) std::abort();

    if (folder.empty()) return 0;
    const std::filesystem::path file = folder / "ipsetup.dat";
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), std::streamsize(size));
    const SetupRecord loaded = mSetup::LoadSettings(file, [] {});
    if (!mSetup::SaveSettings(loaded, file)) std::abort();
    if (!(mSetup::LoadSettings(file, [] {}) == loaded)) std::abort();
    return 0;
}
