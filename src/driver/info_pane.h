// The information pane: one status line (what runs now) above the report
// lines (what the run did). The two are kept apart, so writing the status
// never takes the place of a report line, and a pane with an empty status
// shows its report from the first line.
#pragma once

#include <string>
#include <string_view>

namespace kamvo {

class InfoPane {
 public:
  // Status texts longer than this are kept only in part for LastStatus.
  static constexpr std::size_t kStatusLength = 80;

  void SetStatus(std::string_view text);
  void AddReport(std::string_view line);
  // Empties the status and the report; LastStatus stays.
  void Clear();

  // The lines separated by LF: the status line when there is one, then the
  // report lines.
  std::string Caption() const;
  // The last status text given, at most kStatusLength bytes.
  const std::string& LastStatus() const { return lastStatus_; }

 private:
  std::string status_;
  std::string report_;  // report lines separated by LF
  bool hasReport_ = false;
  std::string lastStatus_;
};

}  // namespace kamvo
