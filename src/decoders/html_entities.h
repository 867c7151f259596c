// The HTML5 named character references ("amp" of "&amp;"), each with the
// one or two Unicode code points it stands for (the second 0 when there is
// one), sorted by name in byte order; names are case-sensitive. Generated
// by tools/gen_html_entities.py.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace kamvo {

struct HtmlNamedReference {
  std::string_view Name;
  std::uint32_t First;
  std::uint32_t Second;
};

constexpr std::size_t kHtmlNamedReferenceCount = 2125;
extern const std::array<HtmlNamedReference, kHtmlNamedReferenceCount> HtmlNamedReferences;

}  // namespace kamvo
