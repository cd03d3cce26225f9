// Reading a Windows bitmap file into a surface, through FreeImage.
#include "imaging/cDIB.h"

#include <FreeImage.h>
#include <cstring>
#include <sys/stat.h>

uint8_t cDIB::CreateFromBitmapFile(const std::string& FileName) {
    struct stat st {};
    if (::stat(FileName.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0) return 0;
    FIBITMAP* bitmap = FreeImage_Load(FIF_BMP, FileName.c_str(), 0);
    if (!bitmap) {
        Destroy();
        return 0;
    }
    const int bpp = int(FreeImage_GetBPP(bitmap));
    const int w = int(FreeImage_GetWidth(bitmap)), h = int(FreeImage_GetHeight(bitmap));
    uint8_t result = 0;
    if (Create(w, h, bpp)) {
        // FreeImage keeps rows bottom-up in the file's own layout; so does this
        // surface, as the file did (the one case of a bottom-up surface).
        const std::size_t pitch = FreeImage_GetPitch(bitmap);
        for (int y = 0; y < h; ++y)
            std::memcpy(lpBits() + std::size_t(y) * std::size_t(BytesPerScanline()),
                        FreeImage_GetScanLine(bitmap, y),
                        std::min<std::size_t>(pitch, std::size_t(BytesPerScanline())));
        if (const RGBQUAD* palette = FreeImage_GetPalette(bitmap))
            SetPalette(reinterpret_cast<const uint8_t*>(palette),
                       FreeImage_GetColorsUsed(bitmap) * 4);
        result = uint8_t(bpp);
    }
    FreeImage_Unload(bitmap);
    return result;
}
