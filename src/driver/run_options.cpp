#include "driver/run_options.h"

#include "settings/settings.h"

namespace kamvo {

RunOptions RunOptionsFrom(const TCfg& cfg) {
  RunOptions options;
  options.Switches.Base64 = cfg.ConvertBase64;
  options.Switches.QP = cfg.ConvertQP;
  options.Switches.Rtf = cfg.ConvertRTF;
  options.Switches.Html = cfg.ConvertHTML;
  options.Switches.Utf8 = cfg.ConvertUTF8;
  options.Switches.Translit = cfg.TranslitOn;
  options.DetectionLimit = cfg.DetectionLimit;
  options.TranslitTable = cfg.TranslitTable.empty() ? DefaultTranslitTable() : cfg.TranslitTable;
  options.English = cfg.English;
  return options;
}

}  // namespace kamvo
