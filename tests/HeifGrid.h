// HEIC files made of tiles under a `grid` item, as phones write them, for
// tests and benchmarks: libheif encodes each tile (and the thumbnail) as a
// picture of its own, and the file around them is written here, since the
// libheif of Debian 12 writes no grid. The file: ftyp, then meta with the
// grid as its primary item (its descriptor in idat, its tiles by `dimg`
// references, a `thmb` item pointing at it), then mdat with every tile's
// HEVC data. Standard library and libheif only.
#pragma once

#include <algorithm>
#include <cstdint>
#include <libheif/heif.h>
#include <string>
#include <vector>

namespace heifgrid {

// 8-bit red, green, blue, `width` x `height`, rows `width` * 3 bytes apart.
struct Rgb {
    int width = 0, height = 0;
    std::vector<uint8_t> pixels;
};

// The part of `from` at (x, y), `w` x `h`; outside `from`, its nearest edge pixel.
inline Rgb Crop(const Rgb& from, int x, int y, int w, int h) {
    Rgb out{w, h, std::vector<uint8_t>(std::size_t(w) * h * 3)};
    for (int row = 0; row < h; ++row)
        for (int col = 0; col < w; ++col) {
            const int sx = std::min(x + col, from.width - 1),
                      sy = std::min(y + row, from.height - 1);
            const uint8_t* p = &from.pixels[(std::size_t(sy) * from.width + sx) * 3];
            std::copy(p, p + 3, &out.pixels[(std::size_t(row) * w + col) * 3]);
        }
    return out;
}

// `from` shrunk by a whole factor, each block's mean (for a thumbnail).
inline Rgb Shrunk(const Rgb& from, int factor) {
    const int w = from.width / factor, h = from.height / factor;
    Rgb out{w, h, std::vector<uint8_t>(std::size_t(w) * h * 3)};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) {
                unsigned sum = 0;
                for (int dy = 0; dy < factor; ++dy)
                    for (int dx = 0; dx < factor; ++dx)
                        sum += from.pixels[(std::size_t(y * factor + dy) * from.width +
                                            std::size_t(x * factor + dx)) *
                                               3 +
                                           c];
                out.pixels[(std::size_t(y) * w + x) * 3 + c] =
                    uint8_t(sum / unsigned(factor * factor));
            }
    return out;
}

namespace detail {

inline void Put(std::string& out, uint64_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i)
        out.push_back(char((v >> (8 * i)) & 0xFF));
}

inline uint64_t Get(const std::string& in, std::size_t at, int bytes) {
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v = (v << 8) | uint8_t(in.at(at + std::size_t(i)));
    return v;
}

inline std::string Box(const char* type, const std::string& body) {
    std::string out;
    Put(out, 8 + body.size(), 4);
    return out + type + body;
}

inline std::string FullBox(const char* type, int version, uint32_t flags, const std::string& body) {
    std::string head;
    Put(head, (uint32_t(version) << 24) | flags, 4);
    return Box(type, head + body);
}

// The boxes within [begin, end): each one's type, start and end.
struct Span {
    std::string type;
    std::size_t begin = 0, body = 0, end = 0;
};
inline std::vector<Span> Children(const std::string& in, std::size_t begin, std::size_t end) {
    std::vector<Span> out;
    while (begin + 8 <= end) {
        const std::size_t size = std::size_t(Get(in, begin, 4));
        if (size < 8 || begin + size > end) break;
        out.push_back({in.substr(begin + 4, 4), begin, begin + 8, begin + size});
        begin += size;
    }
    return out;
}
inline const Span* Find(const std::vector<Span>& boxes, const char* type) {
    for (const Span& s : boxes)
        if (s.type == type) return &s;
    return nullptr;
}

// What a grid needs of a one-picture HEIC that libheif wrote: its hvcC box
// and its coded data (the only item's extents).
struct Coded {
    std::string hvcC, data;
};

inline Coded TakeApart(const std::string& file) {
    Coded coded;
    const auto top = Children(file, 0, file.size());
    const Span* meta = Find(top, "meta");
    if (!meta) return coded;
    const auto inMeta = Children(file, meta->body + 4, meta->end);
    if (const Span* iprp = Find(inMeta, "iprp"))
        if (const Span* ipco = Find(Children(file, iprp->body, iprp->end), "ipco"))
            if (const Span* hvcC = Find(Children(file, ipco->body, ipco->end), "hvcC"))
                coded.hvcC = file.substr(hvcC->begin, hvcC->end - hvcC->begin);
    const Span* iloc = Find(inMeta, "iloc");
    if (!iloc) return coded;
    std::size_t at = iloc->body;
    const int version = int(Get(file, at, 1));
    at += 4;
    const int sizes = int(Get(file, at, 2));
    at += 2;
    const int offsetSize = sizes >> 12, lengthSize = (sizes >> 8) & 15,
              baseSize = (sizes >> 4) & 15;
    const int indexSize = version >= 1 ? sizes & 15 : 0;
    const int idBytes = version < 2 ? 2 : 4;
    const uint64_t items = Get(file, at, version < 2 ? 2 : 4);
    at += version < 2 ? 2 : 4;
    for (uint64_t i = 0; i < items && i < 1; ++i) { // libheif wrote one item: the picture
        at += std::size_t(idBytes);
        if (version >= 1) at += 2; // construction method: 0, the file
        at += 2;                   // data reference
        const uint64_t base = Get(file, at, baseSize);
        at += std::size_t(baseSize);
        const uint64_t extents = Get(file, at, 2);
        at += 2;
        for (uint64_t e = 0; e < extents; ++e) {
            at += std::size_t(indexSize);
            const uint64_t offset = Get(file, at, offsetSize);
            at += std::size_t(offsetSize);
            const uint64_t length = Get(file, at, lengthSize);
            at += std::size_t(lengthSize);
            coded.data += file.substr(std::size_t(base + offset), std::size_t(length));
        }
    }
    return coded;
}

inline heif_error Append(heif_context*, const void* data, size_t size, void* userdata) {
    static_cast<std::string*>(userdata)->append(static_cast<const char*>(data), size);
    return {heif_error_Ok, heif_suberror_Unspecified, ""};
}

} // namespace detail

// `picture` coded by libheif's HEVC encoder as a one-picture HEIC (x265's
// fastest preset); empty when libheif has no HEVC encoder.
inline std::string EncodeHeic(const Rgb& picture, int quality = 85) {
    heif_context* context = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    heif_image* image = nullptr;
    std::string out;
    bool ok =
        heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder).code ==
            heif_error_Ok &&
        heif_image_create(picture.width, picture.height, heif_colorspace_RGB,
                          heif_chroma_interleaved_RGB, &image)
                .code == heif_error_Ok &&
        heif_image_add_plane(image, heif_channel_interleaved, picture.width, picture.height, 8)
                .code == heif_error_Ok;
    if (ok) {
        int stride = 0;
        uint8_t* p = heif_image_get_plane(image, heif_channel_interleaved, &stride);
        for (int y = 0; y < picture.height; ++y)
            std::copy_n(&picture.pixels[std::size_t(y) * picture.width * 3], picture.width * 3,
                        p + std::size_t(y) * std::size_t(stride));
        heif_encoder_set_lossy_quality(encoder, quality);
        heif_encoder_set_parameter_string(encoder, "preset", "ultrafast");
        heif_encoding_options* options = heif_encoding_options_alloc();
        options->macOS_compatibility_workaround = 0; // no grid of its own around the picture
        heif_writer writer{1, detail::Append};
        ok = heif_context_encode_image(context, image, encoder, options, nullptr).code ==
                 heif_error_Ok &&
             heif_context_write(context, &writer, &out).code == heif_error_Ok;
        heif_encoding_options_free(options);
    }
    if (image) heif_image_release(image);
    if (encoder) heif_encoder_release(encoder);
    heif_context_free(context);
    return ok ? out : std::string();
}

// `picture` as a HEIC of `tile` x `tile` tiles under a grid item of the
// picture's size (the last row and column of tiles reach past it, as a
// phone's do), with a thumbnail item of the picture shrunk by
// `thumbnailFactor` (none for 0). Empty when libheif cannot encode.
inline std::string MakeGridHeic(const Rgb& picture, int tile, int thumbnailFactor) {
    using detail::Put;
    const int columns = (picture.width + tile - 1) / tile,
              rows = (picture.height + tile - 1) / tile;
    std::vector<detail::Coded> tiles;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c) {
            tiles.push_back(
                detail::TakeApart(EncodeHeic(Crop(picture, c * tile, r * tile, tile, tile))));
            if (tiles.back().data.empty() || tiles.back().hvcC.empty()) return {};
        }
    detail::Coded thumb;
    Rgb small;
    if (thumbnailFactor > 0) {
        small = Shrunk(picture, thumbnailFactor);
        thumb = detail::TakeApart(EncodeHeic(small));
        if (thumb.data.empty() || thumb.hvcC.empty()) return {};
    }
    // Items: the grid 1, the tiles from 2, the thumbnail last.
    const uint32_t gridId = 1, firstTile = 2, thumbId = firstTile + uint32_t(tiles.size());
    const uint32_t itemCount = thumbId - (thumb.data.empty() ? 1 : 0);
    // Properties, numbered from 1: each distinct hvcC, then the sizes.
    std::vector<std::string> properties;
    const auto property = [&properties](const std::string& box) {
        const auto at = std::find(properties.begin(), properties.end(), box);
        if (at != properties.end()) return uint32_t(at - properties.begin()) + 1;
        properties.push_back(box);
        return uint32_t(properties.size());
    };
    const auto ispe = [](int w, int h) {
        std::string body;
        Put(body, uint32_t(w), 4);
        Put(body, uint32_t(h), 4);
        return detail::FullBox("ispe", 0, 0, body);
    };
    std::vector<std::vector<std::pair<uint32_t, bool>>> associations(itemCount + 1);
    associations[gridId] = {{property(ispe(picture.width, picture.height)), false}};
    for (std::size_t i = 0; i < tiles.size(); ++i)
        associations[firstTile + i] = {{property(tiles[i].hvcC), true},
                                       {property(ispe(tile, tile)), false}};
    if (!thumb.data.empty())
        associations[thumbId] = {{property(thumb.hvcC), true},
                                 {property(ispe(small.width, small.height)), false}};

    const auto meta = [&](uint64_t mdatData) {
        std::string hdlr(4, '\0');
        hdlr += "pict" + std::string(12, '\0') + std::string(1, '\0');
        std::string pitm;
        Put(pitm, gridId, 2);
        std::string iinf;
        Put(iinf, itemCount, 2);
        for (uint32_t id = 1; id <= itemCount; ++id) {
            std::string infe;
            Put(infe, id, 2);
            Put(infe, 0, 2);
            infe += id == gridId ? "grid" : "hvc1";
            infe.push_back('\0');
            const bool hidden =
                id >= firstTile && id < thumbId; // tiles are no pictures of their own
            iinf += detail::FullBox("infe", 2, hidden ? 1 : 0, infe);
        }
        std::string dimg;
        Put(dimg, gridId, 2);
        Put(dimg, tiles.size(), 2);
        for (std::size_t i = 0; i < tiles.size(); ++i)
            Put(dimg, firstTile + i, 2);
        std::string iref = detail::Box("dimg", dimg);
        if (!thumb.data.empty()) {
            std::string thmb;
            Put(thmb, thumbId, 2);
            Put(thmb, 1, 2);
            Put(thmb, gridId, 2);
            iref += detail::Box("thmb", thmb);
        }
        std::string ipco;
        for (const std::string& p : properties)
            ipco += p;
        std::string ipma;
        Put(ipma, itemCount, 4);
        for (uint32_t id = 1; id <= itemCount; ++id) {
            Put(ipma, id, 2);
            Put(ipma, associations[id].size(), 1);
            for (const auto& [index, essential] : associations[id])
                Put(ipma, (essential ? 0x8000u : 0u) | index, 2); // flags 1: 15-bit indices
        }
        // The grid's descriptor: version 0, 16-bit sizes.
        std::string grid;
        Put(grid, 0, 2);
        Put(grid, uint32_t(rows - 1), 1);
        Put(grid, uint32_t(columns - 1), 1);
        Put(grid, uint32_t(picture.width), 2);
        Put(grid, uint32_t(picture.height), 2);
        // iloc version 1: 4-byte offsets and lengths, no base offset, no index.
        std::string iloc;
        Put(iloc, 0x4400, 2);
        Put(iloc, itemCount, 2);
        uint64_t at = mdatData;
        for (uint32_t id = 1; id <= itemCount; ++id) {
            Put(iloc, id, 2);
            Put(iloc, id == gridId ? 1 : 0, 2); // construction method: idat, or the file
            Put(iloc, 0, 2);
            Put(iloc, 1, 2);
            const std::string& data = id == gridId    ? grid
                                      : id == thumbId ? thumb.data
                                                      : tiles[id - firstTile].data;
            Put(iloc, id == gridId ? 0 : at, 4);
            Put(iloc, data.size(), 4);
            if (id != gridId) at += data.size();
        }
        return detail::FullBox(
            "meta", 0, 0,
            detail::FullBox("hdlr", 0, 0, hdlr) + detail::FullBox("pitm", 0, 0, pitm) +
                detail::FullBox("iloc", 1, 0, iloc) + detail::FullBox("iinf", 0, 0, iinf) +
                detail::FullBox("iref", 0, 0, iref) +
                detail::Box("iprp",
                            detail::Box("ipco", ipco) + detail::FullBox("ipma", 0, 1, ipma)) +
                detail::Box("idat", grid));
    };
    std::string ftyp = "heic";
    Put(ftyp, 0, 4);
    ftyp += "mif1heic";
    const std::string head = detail::Box("ftyp", ftyp);
    const std::size_t metaSize = meta(0).size();
    std::string mdat;
    for (const detail::Coded& t : tiles)
        mdat += t.data;
    mdat += thumb.data;
    return head + meta(head.size() + metaSize + 8) + detail::Box("mdat", mdat);
}

} // namespace heifgrid
