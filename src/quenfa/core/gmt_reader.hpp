// Reader of GMT gene set files: one pathway per line, tab-separated name,
// description and genes.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "quenfa/core/pathway.hpp"
#include "quenfa/core/result.hpp"

namespace quenfa {

// Reads every pathway of the file in file order. The first failure (open or
// read error, invalid UTF-8, a line with fewer than three fields) ends the
// read; no partial result is returned. `on_bytes`, when given, sees every
// byte read, in order, so that a caller can digest the file without opening
// it again (a pipe can be read only once).
Result<PathwayDb> read_gmt(const std::string& path,
                           const std::function<void(std::string_view)>& on_bytes = {});

// Parses the text of one line (without its line end). `line_number` counts
// from 1 and is used in the message of a malformed line. A blank line yields
// no pathway and no error.
Status parse_gmt_line(std::string_view line, std::size_t line_number, PathwayDb& out);

}  // namespace quenfa
