// The profile archive's byte layout and the rules both the writer and the
// reader follow. All integers are 32-bit little-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// File layout: magic, records, trailer.
inline constexpr char kMagic[4] = {'I', 'L', '1', '0'};
inline constexpr char kTagFile[4] = {'f', 'i', 'l', 'e'};
inline constexpr char kTagData[4] = {'a', 's', 'l', 'i'};
inline constexpr char kTrailer[4] = {'a', 'b', 'i', 's'};
inline constexpr std::size_t kTagSize = 4;
inline constexpr std::size_t kU32Size = 4;

// Record layout, offsets from the record's tag (N = name length).
inline constexpr std::size_t kRecTagOffset = 0;
inline constexpr std::size_t kRecNameLengthOffset = 4;
inline constexpr std::size_t kRecNameOffset = 8;  // + 0
// The fields after the name, offsets from the name's end.
inline constexpr std::size_t kRecDataLengthAfterName = 0;
inline constexpr std::size_t kRecReservedAfterName = 4;
inline constexpr std::size_t kRecDataTagAfterName = 8;
inline constexpr std::size_t kRecDataAfterName = 12;
inline constexpr std::size_t kRecFixedSize = 20;  // record size = 20 + N + D
inline constexpr std::uint32_t kReservedValue = 0;

inline constexpr char kRootPlaceholder[] = "<akar2>";
inline constexpr char kSettingsName[] = "ilvar6.ini";

void put_u32le(unsigned char* out, std::uint32_t value);
std::uint32_t get_u32le(const unsigned char* in);

std::string parent_path(const std::string& path);
// True when the stored name contains "ilvar6.ini", letters A-Z folded.
bool is_settings_file(const std::string& stored_name);
// Writing: every occurrence of the base path becomes the placeholder.
std::string substitute_on_write(const std::string& data, const std::string& base_path);
// A settings file is substituted only while both its stored and its expanded
// form stay within this many bytes; a larger one is written as stored, so
// that no archive can make the reader hold more than this in memory.
inline constexpr std::size_t kMaxSettingsBytes = std::size_t{64} << 20;

// Reading: every placeholder becomes the reader's base path. When the result
// would pass kMaxSettingsBytes the data come back as stored.
std::string substitute_on_read(const std::string& data, const std::string& base_path);
