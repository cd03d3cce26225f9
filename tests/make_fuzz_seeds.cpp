// Writes the fuzzers' seed corpora: small GIFs that giflib encodes (every
// kind of block) and a few settings files. Run by CTest before the fuzzers.
#include "app/mSetup.h"
#include "tests/GifOracle.h"

#include <filesystem>
#include <fstream>

namespace {
void Put(const std::filesystem::path& dir, const std::string& name, const std::vector<uint8_t>& b) {
    std::filesystem::create_directories(dir);
    std::ofstream(dir / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}
} // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const std::filesystem::path root = argv[1];
    std::mt19937 rng(11);
    for (int i = 0; i < 12; ++i) {
        oracle::GifPlan plan;
        plan.width = 1 + i * 3;
        plan.height = 1 + i * 2;
        plan.global = oracle::GreyRamp(1 << (1 + i % 8));
        if (i % 2) plan.loops = i;
        for (int f = 0; f < 1 + i % 3; ++f) {
            oracle::FramePlan fr;
            fr.width = plan.width;
            fr.height = plan.height;
            fr.interlaced = (i + f) % 2 == 1;
            fr.transparent = f == 1 ? 1 : -1;
            fr.disposal = f % 4;
            if (i % 4 == 3) fr.local = oracle::GreyRamp(4);
            const int colors = int((fr.local.empty() ? plan.global : fr.local).size());
            for (int p = 0; p < fr.width * fr.height; ++p)
                fr.indices.push_back(uint8_t(rng() % unsigned(colors)));
            plan.frames.push_back(fr);
        }
        const std::vector<uint8_t> gif = oracle::Encode(plan);
        Put(root / "fuzz_gif-seeds", "seed" + std::to_string(i) + ".gif", gif);
        Put(root / "fuzz_gif_roundtrip-seeds", "seed" + std::to_string(i) + ".gif", gif);
    }
    SetupRecord r = mSetup::Defaults();
    Put(root / "fuzz_settings-seeds", "defaults.dat", mSetup::Encode(r));
    r.LastPath = "/home/someone/Pictures";
    Put(root / "fuzz_settings-seeds", "path.dat", mSetup::Encode(r));
    Put(root / "fuzz_settings-seeds", "short.dat", {1, 0, 2});
    return 0;
}
