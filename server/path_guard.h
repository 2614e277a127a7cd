// Confinement of the directories a client may name: every path a client
// sends (open database, add alias) is resolved on this machine, symbolic
// links and ".." included, and accepted only when it lies inside one of the
// server's roots (DataDir and the configured alias directories).
// Thread rules: pure functions over the file system.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qd {

// The canonical absolute form of an existing directory, or nullopt.
std::optional<std::string> CanonicalDirectory(const std::string& path);

// True when `path` is `root` or lies below it (both canonical).
bool IsWithinDirectory(const std::string& root, const std::string& path);

// A client's path in local form: backslashes become slashes. nullopt for
// text no local path can come from (NUL bytes, a drive letter).
std::optional<std::string> LocalFormOfClientPath(std::string_view text);

// Resolves a client's directory: relative paths are taken from `baseDir`;
// the result must exist and lie within one of `roots`.
std::optional<std::string> ResolveConfinedDirectory(std::string_view clientPath,
                                                    const std::string& baseDir,
                                                    const std::vector<std::string>& roots);

// A name joined to a directory: the file part after the last slash or
// backslash, so that a name can never walk out of its directory.
std::string BaseNameOf(std::string_view name);

}  // namespace qd
