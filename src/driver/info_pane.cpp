#include "driver/info_pane.h"

namespace kamvo {

void InfoPane::SetStatus(std::string_view text) {
  status_.assign(text);
  lastStatus_.assign(text.substr(0, kStatusLength));
}

void InfoPane::AddReport(std::string_view line) {
  if (hasReport_) report_ += '\n';
  report_ += line;
  hasReport_ = true;
}

void InfoPane::Clear() {
  status_.clear();
  report_.clear();
  hasReport_ = false;
}

std::string InfoPane::Caption() const {
  if (status_.empty()) return report_;
  if (!hasReport_) return status_;
  return status_ + '\n' + report_;
}

}  // namespace kamvo
