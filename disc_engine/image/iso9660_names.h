// Identifiers of the ISO 9660 and Joliet hierarchies, derived from the UTF-8
// names of the project tree.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace zephrel {

enum class Hierarchy { kIso, kJoliet };

// One identifier as a sequence of characters: bytes of the ISO character set,
// or UCS-2 code units for Joliet.
using Identifier = std::u32string;

// Maps a name to its identifier before uniqueness: ISO names get one '_' per
// character outside printable ASCII and are upper-cased; both hierarchies map
// control characters and * / : ; ? \ to '_' (Joliet also characters beyond the
// Basic Multilingual Plane). A name longer than the hierarchy's limit keeps,
// for a file, its first (limit - 4) and last 4 characters, for a folder its
// first limit characters.
Identifier MapIdentifier(std::string_view utf8_name, bool is_file, Hierarchy hierarchy);

// Makes the identifiers of one directory unique. ids are in priority order:
// the first holder of an identifier keeps it; a later one has the tail of its
// name (before a file's extension) replaced by a counter 1, 2, ... so that it
// stays within the limit and matches no other identifier of the directory.
void MakeIdentifiersUnique(std::vector<Identifier>& ids, const std::vector<bool>& is_file,
                           Hierarchy hierarchy);

// Directory record order: name parts compared character by character with the
// shorter padded by spaces, then the extensions (after a file's last '.') the
// same way.
bool IdentifierLess(const Identifier& a, bool a_is_file, const Identifier& b, bool b_is_file);

// The recorded bytes: one byte per character (ISO) or UCS-2 big-endian.
std::string EncodeIdentifier(const Identifier& id, Hierarchy hierarchy);

// Descriptor texts (volume, publisher, preparer): the ISO form with Latin
// letters folded to their base letter (accents dropped), upper-cased, with one
// '_' per remaining character outside printable ASCII, or UCS-2 big-endian for
// Joliet, cut to max_bytes without splitting a character.
std::string DescriptorText(std::string_view utf8, Hierarchy hierarchy, std::size_t max_bytes);

// Tree order of names: the per-byte upper-cased names compared byte by byte,
// unsigned, a proper prefix first.
bool CompareElementNames(std::string_view a, std::string_view b);

std::size_t IdentifierLimit(Hierarchy hierarchy);

}  // namespace zephrel
