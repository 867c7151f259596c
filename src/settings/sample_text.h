// Where the sample text shown at the first interactive start is found.
#pragma once

#include <string>
#include <string_view>

namespace kamvo {

// The sample text for a program in `programFolder` (as "Location" holds
// it, with or without its trailing '/'): "sample.txt" beside the program
// (a build folder), or share/kamvo/sample.txt of the prefix the program is
// installed in (programFolder is then <prefix>/bin). The first that exists;
// the one beside the program when neither does.
std::string SampleTextPath(std::string_view programFolder);

}  // namespace kamvo
