// The recorder's transport packets and file names, as plain functions on
// bytes. The recorder writes, on PID 0x1000, packets that carry a PCR in
// their adaptation field and its wall-clock time (local time) at bytes 12 to
// 18; it names each file after the local time its recording starts:
// "YYYYMMDD_HHMMSS" followed by a letter and ".ts".
#pragma once

#include <cstdint>
#include <string>

namespace tsfix {

inline constexpr std::size_t kPacketSize = 188;
inline constexpr std::uint8_t kSyncByte = 0x47;

// The recorder's PID (0x1000), as it appears in bytes 1 and 2 of a packet.
inline constexpr std::uint8_t kRecorderPidHigh = 0x10;
inline constexpr std::uint8_t kRecorderPidLow = 0x00;
inline constexpr std::uint8_t kPidHighMask = 0x1F;
// Byte 1 of a recorder packet that starts a payload unit (flag 0x40).
inline constexpr std::uint8_t kRecorderPidHighWithUnitStart = 0x50;

// A packet belongs to the recording named by its file when its wall-clock
// time lies this many seconds around the name's time (both ends included).
inline constexpr std::int64_t kConsistentFromSeconds = -15;
inline constexpr std::int64_t kConsistentToSeconds = 74;

// True for a packet of the recorder's PID (any flag bits): the repair's test.
// `p` points at kPacketSize bytes.
bool is_pcr_packet(const std::uint8_t* p);

// True for a recorder packet that starts a payload unit: the last-PCR test.
bool is_unit_start_pcr_packet(const std::uint8_t* p);

// PCR of a packet in milliseconds ((base x 300 + extension) / 27000), when
// its adaptation field is present, longer than 6 bytes and flags a PCR.
bool read_pcr_ms(const std::uint8_t* p, std::int64_t& pcr_ms);

// PCR base plus extension as the last-PCR routine reads it (not scaled to
// 27 MHz), or 0 when the packet carries none.
std::int64_t read_pcr_raw(const std::uint8_t* p);

// Wall-clock time of a recorder packet in seconds since 1970, its bytes 12
// to 18 (year / 100, year % 100, month, day, hour, minute, second) taken as
// local time. Any byte values give some time; nothing is validated.
std::int64_t read_packet_time(const std::uint8_t* p);

// Recording start of a file from its name (the part after the last path
// separator) in seconds since 1970, local time; 0 when the name does not
// have the recorder's "YYYYMMDD?HHMMSS" form.
std::int64_t name_time_of(const std::string& path);

bool is_consistent(std::int64_t packet_time, std::int64_t name_time);

// True for a path whose extension (after its last dot) is "ts" or "TS",
// compared case-sensitively: the files the player repairs before opening.
bool is_ts_path(const std::string& path);

}  // namespace tsfix
