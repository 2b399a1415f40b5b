#pragma once
// The table of entry decoders: which view shows an entry and which decoder
// turns its bytes into something to show, chosen by the entry's extension
// (case ignored) and, where the extension says nothing, by its first bytes.
// The window's preview, "sga image" and the converting extraction all choose
// here, so a new format is one decoder file plus one row.

#include "core/Status.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sga {

// A decoded picture: top-down rows of red, green, blue, alpha bytes without
// padding, and what the status bar says of it.
struct Picture {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> rgba;        // width * height * 4 bytes
    std::string format;               // "TGA", "BC3", ...
    int32_t mipCount = 1;
};

// A tree drawn from an entry: chunks of a chunked file, keys of an
// attribute file. Texts are UTF-8; offset and size place a node's own bytes
// inside the entry (size 0: none to show).
struct OutlineNode {
    std::vector<std::string> columns;
    uint64_t offset = 0;
    uint64_t size = 0;
    std::vector<OutlineNode> children;
};
struct EntryOutline {
    std::vector<std::string> headers;   // one per column
    std::vector<OutlineNode> roots;
};

// How the window shows an entry.
enum class EntryView {
    Hex,        // a hex dump of the first bytes
    Text,       // the text view
    Picture,    // the picture box
    Chunks,     // a tree of a chunked file beside the selected chunk's bytes
    Attributes, // a tree of attribute keys and values
};

// Where a picture row's pixels come from.
enum class PictureSource {
    None,       // not a picture
    Own,        // decodePicture below
    Platform,   // the platform's picture readers (previewqt)
};

struct EntryDecoder {
    std::string_view kind;               // short lower-case name: "tga", "dds", "text"
    std::string_view description;        // what it is, for messages: "TGA picture"
    std::vector<std::string_view> extensions;   // lower case, without the dot
    // True when the first bytes say the entry is of this kind whatever its
    // name; null when only the extension decides.
    bool (*matchesContent)(std::span<const uint8_t> head) = nullptr;
    EntryView view = EntryView::Hex;
    PictureSource source = PictureSource::None;
    Expected<Picture> (*decodePicture)(std::span<const uint8_t> bytes) = nullptr;
    // For the Chunks and Attributes views.
    Expected<EntryOutline> (*decodeOutline)(std::span<const uint8_t> bytes) = nullptr;
    // For text kinds stored in an encoding of their own (UTF-16): the text as
    // UTF-8; null when the text is in the archive's encoding.
    Expected<std::string> (*decodeText)(std::span<const uint8_t> bytes) = nullptr;
};

// The bytes of an entry's beginning that content matching looks at.
inline constexpr size_t kContentHeadBytes = 64;

// The lower-case part of name's last path component after its last "." (the
// whole component when it has no dot).
std::string lowerExtension(std::string_view name);

// The row for an entry named name whose first bytes are head (may be empty):
// its extension's row, else the first row whose content test matches; null
// when none does (the hex view).
const EntryDecoder* findEntryDecoder(std::string_view name, std::span<const uint8_t> head = {});

// Every row, in the order they are tried.
const std::vector<EntryDecoder>& entryDecoders();

// What the status bar says of a picture: "1024 x 1024, BC3, 11 mips"
// (the mip count only when there is more than one).
std::string describePicture(int64_t width, int64_t height, std::string_view format,
                            int64_t mipCount);

// The extensions of all picture rows ("tga, psd, ..."), for messages.
std::string pictureExtensionList();

} // namespace sga
