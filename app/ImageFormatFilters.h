// The rows of the image-format filter above the file list: what each row shows
// and the ";"-separated wildcard patterns it lists. Standard library only.
#pragma once

#include <array>
#include <string>
#include <string_view>

struct ImageFormatFilter {
    std::string_view description;
    std::string_view pattern;
};

// Deliberately not the union of the single-format rows: "*.iff" is only here,
// while "*.jpeg", "*.jfif", "*.gg" and "*.tif" are only in their own rows.
inline constexpr std::string_view AllSupportedPattern =
    "*.bmp;*.cur;*.dib;*.dds;*.emf;*.gif;*.ico;*.iff;*.jif;*.jng;*.jpg;*.koala;*.lbm;*.mng;"
    "*.pbm;*.pcd;*.pcx;*.pgm;*.png;*.ppm;*.psd;*.ras;*.rle;*.tga;*.tiff;*.wbmp;*.wmf;*.xbm;*.xpm";

inline constexpr std::array<ImageFormatFilter, 29> ImageFormatFilters{{
    {"All Supported Formats", AllSupportedPattern},
    {"Windows or OS2 BMP(*.bmp)", "*.bmp"},
    {"Cursors(*.cur)", "*.cur"},
    {"Windows DIB(*.dib)", "*.dib"},
    {"Microsoft DirectDraw Surface(*.dds)", "*.dds"},
    {"Windows Enhanced Metafile(*.emf)", "*.emf"},
    {"Compuserve GIF(*.gif)", "*.gif"},
    {"Icon Files(*.ico)", "*.ico"},
    {"JPEG Network Graphics(*.jng)", "*.jng"},
    {"JPEG - JFIF Compliant(*.jpg,*.jpeg,*.jif,*.jfif)", "*.jpg;*.jpeg;*.jif;*.jfif"},
    {"KOALA Files(*.koala,*.gg)", "*.koala;*.gg"},
    {"Deluxe Paint(*.lbm)", "*.lbm"},
    {"Multiple Network Graphics(*.mng)", "*.mng"},
    {"Portable Bitmap(*.pbm)", "*.pbm"},
    {"Kodak PhotoCD(*.pcd)", "*.pcd"},
    {"Zsoft Paintbrush(*.pcx)", "*.pcx"},
    {"Portable Greymap(*.pgm)", "*.pgm"},
    {"Portable Network Graphics(*.png)", "*.png"},
    {"Portable Pixmap(*.ppm)", "*.ppm"},
    {"Adobe Photoshop Document(*.psd)", "*.psd"},
    {"Sun Raster File(*.ras)", "*.ras"},
    {"Run-Length encoded Bitmap(*.rle)", "*.rle"},
    {"Truevision Targa(*.tga)", "*.tga"},
    {"Tagged Image File Format(*.tif,*.tiff)", "*.tif;*.tiff"},
    {"Wireless Bitmap(*.wbmp)", "*.wbmp"},
    {"Windows Meta File(*.wmf)", "*.wmf"},
    {"X11 Bitmap Format(*.xbm)", "*.xbm"},
    {"X PIxMap Format definition(*.xpm)", "*.xpm"},
    {"All Files(*.*)", "*.*"},
}};
