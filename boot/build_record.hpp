// What the build recorded of its source: branch, tag, commits after the tag, commit time in
// seconds since 1970, commit id and message; unknown when the tree was not under git.
#pragma once

namespace tav::boot {

extern const bool build_git_known;
extern const char* const build_git[6];

}  // namespace tav::boot
