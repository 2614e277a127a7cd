// The per-machine settings file that stands in for the registry:
// <dir>/Brackwater/Quilldrive.conf for the first <dir> of $XDG_CONFIG_DIRS
// (default /etc/xdg) that has the file. Read afresh on every call, never
// written. Section and key names compare without regard to ASCII case; a
// section written the way Qt writes it ("Client%20Configuration") matches
// too, and a value in double quotes loses its quotes.
// Thread rules: reads the environment; safe from any thread that does not
// change the environment meanwhile.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qd {

inline constexpr std::string_view kSettingsRelativePath = "Brackwater/Quilldrive.conf";

// The path of the settings file, or nullopt when no directory has one.
std::optional<std::string> FindSettingsFile();

// The value of `key` in `section`, or nullopt when the file, the section or
// the key is missing or the file cannot be read.
std::optional<std::string> ReadSettingsValue(std::string_view section, std::string_view key);

// The same from a given file (tests, the server's own configuration).
std::optional<std::string> ReadSettingsValueFrom(const std::string& path, std::string_view section,
                                                 std::string_view key);

}  // namespace qd
