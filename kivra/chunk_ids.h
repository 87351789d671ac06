#pragma once

#include <string_view>

namespace pelorin {

// The four-byte chunk ids of KIVRA files. Some hold bytes that are not printable, so each is
// a view of exactly four bytes.
using ChunkId = std::string_view;

inline constexpr ChunkId kFileChunk{"MMMD", 4};  // the whole file
inline constexpr ChunkId kInfoChunk{"CNTI", 4};  // content information
// Variants 1 and 2: the data chunk with the tags, and variant 2's copy of the play time.
inline constexpr ChunkId kDataChunk{"OPDA", 4};
inline constexpr ChunkId kDataTagsChunk{"Dch\xFF", 4};
inline constexpr ChunkId kProChunk{"Pro\x05", 4};
// Variant 0's audio track and what it holds.
inline constexpr ChunkId kAudioTrackChunk{"ATR\0", 4};
inline constexpr ChunkId kSeekChunk{"AspI", 4};
inline constexpr ChunkId kAudioSequenceChunk{"Atsq", 4};
inline constexpr ChunkId kAudioWaveChunk{"Awa\x01", 4};
// The music track of variants 1 and 2, "MTR" and the track number, and what it holds.
inline constexpr std::string_view kMusicTrackPrefix{"MTR", 3};
inline constexpr char kVariant1Track = 5;
inline constexpr char kVariant2Track = 6;
inline constexpr ChunkId kSetupChunk{"Mtsu", 4};
inline constexpr ChunkId kMusicSequenceChunk{"Mtsq", 4};
inline constexpr ChunkId kStreamChunk{"Mtsp", 4};
inline constexpr ChunkId kMusicWaveChunk{"Mwa\x01", 4};

}  // namespace pelorin
