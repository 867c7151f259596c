// `kamvo --config`: where the settings live and the values in force.
#pragma once

#include <filesystem>
#include <iosfwd>

namespace kamvo {

struct TSettings;

// Prints the settings file's path (and whether it exists), then every value
// as "Name = value" under the name it has in the file.
void PrintConfig(const std::filesystem::path& storeFile, const TSettings& settings, std::ostream& out);

}  // namespace kamvo
