// A small key store in place of the system registry: the few values the
// program looks up, under the same roots, keys and value names. The one value
// it holds is where the system information tool lives: the first of the known
// tools found on PATH.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace KeyStore {

constexpr uint32_t HKEY_LOCAL_MACHINE = 0x80000002;
constexpr const char* kMsInfoKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
constexpr const char* kMsInfoValue = "PATH";
constexpr const char* kToolsLocationKey = "SOFTWARE\\Microsoft\\Shared Tools Location";
constexpr const char* kToolsLocationValue = "MSINFO";

// System information programs, looked for in this order.
const std::vector<std::string>& SystemInfoTools();

// Reads one value. True with `KeyVal` set when the key and value exist;
// false with `KeyVal` empty otherwise.
bool GetKeyValue(uint32_t KeyRoot, const std::string& KeyName, const std::string& SubKeyRef,
                 std::string& KeyVal);

} // namespace KeyStore
