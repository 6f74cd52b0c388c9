#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace nvx {

// How many levels of arrays and objects a JSON document may nest. Reports,
// drafts and catalogs from any source are refused beyond this before anything
// walks them, so no reader, writer or destructor can exhaust the stack; real
// inventories nest about ten levels.
inline constexpr std::size_t maximumNestingDepth = 512;

// The byte offset of the first '[' or '{' that opens a level deeper than
// `limit`, or nullopt when the text stays within it. Text inside strings is
// skipped. Meant for any text, valid JSON or not: it only counts brackets.
std::optional<std::size_t> firstTooDeepByte(std::string_view text, std::size_t limit = maximumNestingDepth);

// "вложенность массивов и объектов глубже 512 уровней (около байта N)":
// the detail of a refusal, for the reader's own sentence around it.
std::string tooDeepDetail(std::optional<std::size_t> byte);

}  // namespace nvx
