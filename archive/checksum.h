// The checksum each record carries over its stored data bytes: CRC-32C
// (the Castagnoli polynomial), computed with the processor's CRC32
// instruction where there is one and with tables where there is none. Both
// give the same value for the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>

// The checksum of nothing; also the start of a running checksum.
inline constexpr std::uint32_t kChecksumStart = 0;

// The checksum of the bytes that gave `running`, followed by `data`.
std::uint32_t checksum_update(std::uint32_t running, const void* data, std::size_t size);

// The same with the tables alone, whatever the processor offers.
std::uint32_t checksum_update_tables(std::uint32_t running, const void* data, std::size_t size);
