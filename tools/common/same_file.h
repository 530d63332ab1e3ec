// Whether two names lead to one file, so that an output never overwrites what the
// same run reads or keeps elsewhere.
#pragma once

#include <string>
#include <vector>

namespace tools {

// The first of candidates that is the file at path, followed through links; empty when
// there is none. "-" stands for standard input. Where path does not exist yet, a candidate
// is the same when it names the same entry of the same folder, since opening one creates
// the other.
std::string sameFileAs(const std::string& path, const std::vector<std::string>& candidates);

} // namespace tools
