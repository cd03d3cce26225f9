// 64-bit FNV-1a, the hash the probe prints for pixel data.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

struct Fnv1a {
    uint64_t value = 0xcbf29ce484222325ull;
    void Add(const uint8_t* p, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) {
            value ^= p[i];
            value *= 0x100000001b3ull;
        }
    }
    std::string Hex() const {
        char buf[17];
        std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(value));
        return buf;
    }
};
